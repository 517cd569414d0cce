#pragma once
// Scan tests: simulated modules at one port on this process's own loopback /24s (127.P.n.0, not 127.0.0.x).
#include "base/text_scan.h"
#include "net/scan_log.h"
#include "tests/support/running_sim.h"

namespace plinth::test {

inline uint32_t ScanHost(int net, int host) {
  return htonl(0x7F000000u | (100u + uint32_t(getpid()) % 100u) << 16 | uint32_t(net) << 8 | uint32_t(host));
}
inline std::string ScanText(int net, int host) { return FormatIpv4(ScanHost(net, host)); }

inline SimModuleConfig ScanModule(int net, int host, uint16_t port, uint16_t id = 1217, FaultMode fault = FaultMode::kNone) {
  SimModuleConfig m;
  m.address = ScanHost(net, host), m.port = port, m.moduleId = id, m.fault = fault, m.changingInputs = false;
  m.mac[5] = static_cast<uint8_t>(host);
  return m;
}

}  // namespace plinth::test
