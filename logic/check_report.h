#pragma once
// The record of one plant check: what was checked, when, where and by whom,
// and for every slave of the list what the module at its address reported
// and how that differs from the list. The command line prints and writes
// it; the check window shows it and writes it.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/slave_record.h"
#include "net/module_probe.h"

namespace plinth {

// What can be wrong with a slave; a slave can have several.
enum class FindingKind {
  kMissing,          // no connection within the bound
  kNoStatus,         // connected, but the status block (or the MAC address) could not be read
  kOtherModule,      // the module ID differs
  kOtherWordCounts,  // input or output words differ
  kOtherUnit,        // the MAC address differs: another unit has the address
  kUnhealthy,        // health not 8000, or I/O errors reported
  kNotCheckable,     // no IP address to connect to
};
inline constexpr int kFindingKinds = 7;

// "other module" for people, "otherModule" for machines.
const char* FindingName(FindingKind kind);
const char* FindingKey(FindingKind kind);

struct Finding {
  FindingKind kind;
  std::string expected;  // as the list has it (empty when it does not apply)
  std::string found;     // as the module reports it
  std::string reason;    // why, for not checkable, missing and no status

  // "other module (expected 1217, found 1218)", "missing (refused)".
  std::string Text() const;
};

// What the module reported, as texts in the slave vocabulary.
struct FoundValues {
  bool statusRead = false;
  std::string statusFault;  // why not, when not read
  std::string moduleId, inputWords, outputWords;
  std::string health, lastError, errorCount;  // "%04X", "%04X", "%d"
  std::string macAddress;                     // empty when not read
};

struct CheckEntry {
  int row = -1;        // slot of the list; -1: a module the sweep found in no row
  SlaveRecord slave;   // the row as checked; for a swept module, the row a scan would make of it
  std::optional<FoundValues> found;  // none: no connection
  std::vector<Finding> findings;

  bool Checkable() const;
  bool Matches() const { return row >= 0 && findings.empty(); }
  // "match", the findings joined by "; ", or "not in the list (...)".
  std::string ResultText() const;
};

// Classifies one slave against what its module reported.
std::vector<Finding> ClassifySlave(const SlaveRecord& expected, const ModuleProbe& probe, int connectTimeoutMs);
FoundValues FoundFrom(const ModuleProbe& probe);
// The row a scan makes of a module at address: node = host number, status "ok".
SlaveRecord SweptRecord(uint32_t addressNetworkOrder, const ModuleProbe& probe);

// The check as a whole, for the report's head.
struct CheckRecord {
  std::string checkedAt;  // local time, ISO 8601 with offset
  long long durationMs = 0;
  std::string host, user, version;
  std::string filePath;  // empty: a configuration never saved
  std::string fileChecksum;  // the file's CRC-16/MODBUS, four hex digits; empty without bytes
  size_t fileSize = 0;
  bool unsavedChanges = false;  // the list checked is not what the file holds
  std::string master;   // the master's address text
  std::string network;  // "192.168.1.0/24", or empty when the master's address cannot be read
  uint16_t port = 0;
  bool sweep = false;
  int parallel = 0;
};

// Fills the current time, host, user and Plinth's version.
void StampCheckRecord(CheckRecord& record);
// Fills path, size and checksum from a configuration file's bytes.
void DescribeCheckedFile(CheckRecord& record, const std::string& path, const std::vector<uint8_t>& bytes);

struct CheckReport {
  CheckRecord record;
  std::vector<CheckEntry> slaves;     // one per row, in list order
  std::vector<CheckEntry> notInList;  // modules the sweep found, by address

  int Count(FindingKind kind) const;  // slaves with that finding
  int Matching() const;
  // 0 when every checkable slave matches, else 1.
  int ExitStatus() const;
  // "252 match, 1 missing, 1 other module".
  std::string SummaryLine() const;
};

}  // namespace plinth
