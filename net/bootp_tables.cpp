#include "net/bootp_tables.h"

#include "base/text_scan.h"

namespace plinth {

uint64_t PackMac(const MacAddress& mac) {
  uint64_t v = 0;
  for (uint8_t b : mac) v = (v << 8) | b;
  return v;
}

MacAddress UnpackMac(uint64_t packed) {
  MacAddress mac{};
  for (int i = 5; i >= 0; --i) {
    mac[static_cast<size_t>(i)] = static_cast<uint8_t>(packed & 0xFF);
    packed >>= 8;
  }
  return mac;
}

void BootpTables::Clear() {
  for (BootpEntry& e : table) {
    e.valid.store(0, std::memory_order_relaxed);
    e.assigned.store(0, std::memory_order_relaxed);
    e.reported.store(0, std::memory_order_relaxed);
    e.mac.store(0, std::memory_order_relaxed);
    e.ipAddress.store(0, std::memory_order_relaxed);
  }
  for (BootpRequestEntry& e : requests) {
    e.used.store(0, std::memory_order_relaxed);
    e.reported.store(0, std::memory_order_relaxed);
    e.mac.store(0, std::memory_order_relaxed);
    e.ipAddress.store(0, std::memory_order_relaxed);
  }
  std::atomic_thread_fence(std::memory_order_release);
}

void AddBootpEntry(BootpTables& tables, const MacAddress& mac, const std::string& ipText,
                   Messages& messages) {
  const uint32_t ip = ParseIpv4(ipText);
  if (ip == 0) return;
  const uint64_t packed = PackMac(mac);
  for (const BootpEntry& e : tables.table)
    if (e.mac.load(std::memory_order_acquire) == packed) return;
  for (BootpEntry& e : tables.table) {
    if (!e.valid.load(std::memory_order_acquire)) {
      e.mac.store(packed, std::memory_order_relaxed);
      e.ipAddress.store(ip, std::memory_order_relaxed);
      e.valid.store(1, std::memory_order_release);
      return;
    }
    if (e.mac.load(std::memory_order_acquire) != 0 || e.ipAddress.load(std::memory_order_acquire) != 0) continue;
    // A withdrawn entry: its marks go first, then the address, and the MAC
    // last, since the server reads the MAC first: whoever sees the new MAC
    // sees the new address too, and an answer to the entry's earlier module
    // cannot mark the new one (MarkBootpAssigned checks the MAC).
    e.assigned.store(0, std::memory_order_relaxed);
    e.reported.store(0, std::memory_order_relaxed);
    e.ipAddress.store(ip, std::memory_order_release);
    e.mac.store(packed, std::memory_order_release);
    return;
  }
  messages.Show("Hw for IP not set!");
}

void RemoveBootpEntry(BootpTables& tables, const std::string& ipText) {
  const uint32_t ip = ParseIpv4(ipText);
  if (ip == 0) return;
  for (BootpEntry& e : tables.table) {
    if (e.ipAddress.load(std::memory_order_acquire) == ip) {
      // Address first, MAC second: the server reads them the other way
      // round, so it never pairs the old address with the blanked MAC.
      e.ipAddress.store(0, std::memory_order_release);
      e.mac.store(0, std::memory_order_release);
      return;
    }
  }
}

}  // namespace plinth
