#pragma once
// What the worker threads share with the user interface, once per process.
// Flags are atomics: data is written before its flag and read after it.
#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "base/slave_lock.h"
#include "config/row_changes.h"
#include "net/bootp_tables.h"

namespace plinth {

struct NetState {
  SlaveLock slaveLock;
  std::string hostName;
  std::vector<uint32_t> localAddrs;  // network byte order, in the order found
  BootpTables bootp;
  std::atomic<uint8_t> bootpStop{0};
  std::atomic<uint8_t> bootpRunning{0};
  std::atomic<int32_t> scanCursor{0};
  std::array<uint8_t, 256> usedNodes{};
  // Row changes handed from workers to the user-interface thread.
  RowChangeQueue rowChanges;

  int LocalAddrCount() const { return static_cast<int>(localAddrs.size()); }
  // The BOOTP server runs and has not been switched off (never switched on,
  // or ended on "bind failed!", it is not).
  bool BootpServing() const {
    return bootpRunning.load(std::memory_order_acquire) && !bootpStop.load(std::memory_order_acquire);
  }
};

}  // namespace plinth
