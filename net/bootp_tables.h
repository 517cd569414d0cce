#pragma once
// The BOOTP server's two tables: modules to answer (MAC -> IP) and requests
// from modules that are not registered. Shared without a lock between the
// user-interface thread and the server thread: data is written first and the
// valid/used flag last (release), and read after the flag (acquire).
#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "base/messages.h"
#include "config/slave_record.h"

namespace plinth {

// MAC addresses packed into one word so they can be read and written whole.
uint64_t PackMac(const MacAddress& mac);
MacAddress UnpackMac(uint64_t packed);

struct BootpEntry {
  std::atomic<uint8_t> reported{0};
  std::atomic<uint64_t> mac{0};
  std::atomic<uint32_t> ipAddress{0};  // network byte order
  std::atomic<uint8_t> valid{0};
  std::atomic<uint8_t> assigned{0};
};

struct BootpRequestEntry {
  std::atomic<uint8_t> reported{0};
  std::atomic<uint64_t> mac{0};
  std::atomic<uint8_t> used{0};
  std::atomic<uint32_t> ipAddress{0};  // network byte order
};

struct BootpTables {
  static constexpr int kSize = 256;
  std::array<BootpEntry, kSize> table;
  std::array<BootpRequestEntry, kSize> requests;

  // Zeroes every entry of both tables.
  void Clear();
};

// Registers mac to get the address ipText, in the first entry never used
// or withdrawn. Nothing happens when the text does not read as an address
// (or is 0.0.0.0) or when mac is already listed; a full table gives "Hw for
// IP not set!".
void AddBootpEntry(BootpTables& tables, const MacAddress& mac, const std::string& ipText,
                   Messages& messages);

// Withdraws the first entry holding ipText: its MAC and IP address are
// blanked, so it answers no one. It stays valid (the entries in use remain
// one run from the first) and the next registration may take it again.
void RemoveBootpEntry(BootpTables& tables, const std::string& ipText);

}  // namespace plinth
