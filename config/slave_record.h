#pragma once
// One slave of the configuration and the fixed list of 300 slots that holds
// the configuration's slaves. Almost everything in a record is the text the
// user typed; numbers are read from it where they are used.
#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/generic_bus_table.h"

namespace plinth {

struct ModuleCatalogEntry;

// The bytes of the configuration file last read. Records read from it keep
// a reference, so their cursors stay valid as long as the record lives.
using ConfigImage = std::vector<uint8_t>;
using ConfigImagePtr = std::shared_ptr<const ConfigImage>;

using MacAddress = std::array<uint8_t, 6>;

inline bool IsZeroMac(const MacAddress& mac) {
  for (uint8_t b : mac)
    if (b) return false;
  return true;
}

struct SlaveRecord {
  const ModuleCatalogEntry* catalogEntry = nullptr;
  // Where the record was read from: the loaded image and cursors into it.
  ConfigImagePtr sourceImage;
  std::optional<NodeCursor> sourceEntry;
  std::optional<NodeCursor> sourceGroup;
  std::optional<NodeCursor> sourceInput;
  std::optional<NodeCursor> sourceOutput;
  std::optional<NodeCursor> sourceParam;
  MacAddress mac{};
  uint32_t bootpAddress = 0;  // network byte order; 0: none
  bool bootpAssigned = false;
  // The address "Reset to BOOTP" withdrew: the module is not registered
  // with it again until the user gives it an address anew.
  std::string bootpWithdrawn;
  std::string node;
  std::string status = "unknown";
  std::string ipAddress;
  std::string macAddress;
  std::string moduleId;
  std::string name;
  std::string inputWords = "0";
  std::string outputWords = "0";
  std::string paramWords = "0";
  std::string description;
};

// Copies every field; catalogue reference, image and cursors are shared.
inline void CopyRecord(SlaveRecord& target, const SlaveRecord& source) { target = source; }

// Formats mac as twelve lower-case hex digits.
std::string FormatMac(const MacAddress& mac);

class DataList {
 public:
  static constexpr int kCapacity = 300;

  DataList();
  DataList(const DataList&) = delete;
  DataList& operator=(const DataList&) = delete;

  int Count() const { return count_; }
  bool Full() const { return count_ >= kCapacity; }
  SlaveRecord* At(int slot);
  const SlaveRecord* At(int slot) const;

  // Index of the first empty slot, or -1 when all are taken.
  int FirstEmptySlot() const { return Full() ? -1 : count_; }

  // Places a record in the first empty slot; returns its slot, -1 if full.
  int Append(std::unique_ptr<SlaveRecord> record);
  // Destroys the record in slot and moves the ones after it down by one.
  // False when the slot is empty.
  bool Remove(int slot);
  // Takes the last record out (used to undo an Add that was cancelled).
  std::unique_ptr<SlaveRecord> TakeLast();
  void Clear();

  int FindByMac(const MacAddress& mac) const;
  int FindByIpText(const std::string& ip) const;

  // Reorders slots 0..Count()-1; less(a, b) is a strict weak order.
  template <class Less>
  void Sort(Less less);

 private:
  std::vector<std::unique_ptr<SlaveRecord>> slots_;
  int count_ = 0;
};

template <class Less>
void DataList::Sort(Less less) {
  std::stable_sort(slots_.begin(), slots_.begin() + count_,
                   [&](const std::unique_ptr<SlaveRecord>& a, const std::unique_ptr<SlaveRecord>& b) {
                     return less(*a, *b);
                   });
}

}  // namespace plinth
