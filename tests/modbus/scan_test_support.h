#pragma once
// Helpers of the scan tests: a loopback /24 of this process's own (127.P.n.0,
// away from the 127.0.0.x of other tests), modules on it at one port, a host
// whose connects never complete, and an observer that records the scan.
#include <sys/socket.h>
#include <unistd.h>

#include <mutex>

#include "config/text_scan.h"
#include "net/net_scanner.h"
#include "running_sim.h"

namespace plinth::test {

inline uint32_t ScanHost(int net, int host) {
  return htonl(0x7F000000u | (100u + static_cast<uint32_t>(getpid()) % 100u) << 16 | uint32_t(net) << 8 | uint32_t(host));
}
inline std::string ScanText(int net, int host) { return FormatIpv4(ScanHost(net, host)); }

inline SimModuleConfig ScanModule(int net, int host, uint16_t port, uint16_t id, FaultMode fault = FaultMode::kNone) {
  SimModuleConfig m;
  m.address = ScanHost(net, host), m.port = port, m.moduleId = id, m.fault = fault;
  m.mac[5] = static_cast<uint8_t>(host);
  return m;
}

// A listener that never accepts, its one queue place taken: further
// connects get no answer at all, as from an address nobody holds.
struct UnansweredHost {
  UnansweredHost(uint32_t address, uint16_t port) {
    sockaddr_in at{};
    at.sin_family = AF_INET, at.sin_port = htons(port), at.sin_addr.s_addr = address;
    ::bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at);
    ::listen(listener, 0);
    filler = ConnectTcp(address, port);
  }
  ~UnansweredHost() { CloseSocket(filler), CloseSocket(listener); }
  int listener = ::socket(AF_INET, SOCK_STREAM, 0), filler = -1;
};

struct ScanRecorder : ScanObserver {
  void ProbeStarted(int host) override {
    std::lock_guard<std::mutex> lock(mutex);
    starts.push_back({host, std::chrono::steady_clock::now()});
  }
  void ModuleFound(const SlaveRecord& r) override {
    std::lock_guard<std::mutex> lock(mutex);
    found.push_back(r.node + " " + r.ipAddress + " " + r.macAddress + " " + r.moduleId + " " + r.inputWords + "/" +
                    r.outputWords);
  }
  template <typename T>
  T Get(T ScanRecorder::*member) {
    std::lock_guard<std::mutex> lock(mutex);
    return this->*member;
  }
  std::mutex mutex;
  std::vector<std::pair<int, std::chrono::steady_clock::time_point>> starts;
  std::vector<std::string> found;
};

}  // namespace plinth::test
