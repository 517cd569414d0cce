#pragma once
// plinth-sim's server running in-process on loopback addresses, for tests.
#include <arpa/inet.h>
#include <sys/socket.h>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>
#include "net/tcp_connect.h"
#include "sim/sim_server.h"

namespace plinth::test {

// A module on 127.0.0.host at a free port (or the given one).
inline SimModuleConfig OnLoopback(uint8_t host, uint16_t port = 0) {
  SimModuleConfig config;
  config.address = htonl(0x7F000000u | host);
  config.port = port;
  return config;
}

class RunningSim {
 public:
  explicit RunningSim(const std::vector<SimModuleConfig>& configs) {
    for (const auto& config : configs) server_.AddModule(std::make_shared<SimModule>(config));
    opened_ = server_.Open(error_);
    if (opened_) thread_ = std::thread([this] { server_.Run(); });
  }
  ~RunningSim() { server_.RequestStop(); if (thread_.joinable()) thread_.join(); }
  bool Opened() const { return opened_; }
  const std::string& Error() const { return error_; }
  SimModule& Module(size_t i = 0) { return *server_.Modules().at(i); }
  int Connect(size_t i = 0) { return ConnectTcp(Module(i).Address(), Module(i).Port()); }  // -1: refused

 private:
  SimServer server_;
  bool opened_ = false;
  std::string error_;
  std::thread thread_;
};

struct SocketGuard {  // closes a socket at the end of a scope
  explicit SocketGuard(int s) : fd(s) {}
  ~SocketGuard() { CloseSocket(fd); }
  SocketGuard(const SocketGuard&) = delete;
  int fd;
};
template <typename Cond>  // tries cond every 20 ms for at most 10 s; true as soon as it holds
bool WaitUntil(Cond cond) {
  for (int i = 0; i < 500; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(20)))
    if (cond()) return true;
  return false;
}
// A listener at address:port that never accepts, its queue full: a connect to it hangs, as at a silent host.
class FullListener {
 public:
  FullListener(uint32_t address, uint16_t port) {
    sockaddr_in at{AF_INET, htons(port), {address}, {}};
    ::bind(listener_.fd, reinterpret_cast<sockaddr*>(&at), sizeof at);
    ::listen(listener_.fd, 0);
    for (SocketGuard& s : queued_) ConnectSocket(s.fd, address, port, 0);
  }

 private:
  SocketGuard listener_{::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)};
  SocketGuard queued_[2] = {SocketGuard(OpenTcpSocket()), SocketGuard(OpenTcpSocket())};
};
inline uint16_t UnusedPort() {  // a port on 127.0.0.1 that nothing listens on right now
  const SocketGuard s(::socket(AF_INET, SOCK_STREAM, 0));
  sockaddr_in at{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t len = sizeof at;
  ::bind(s.fd, reinterpret_cast<sockaddr*>(&at), sizeof at);
  ::getsockname(s.fd, reinterpret_cast<sockaddr*>(&at), &len);
  return ntohs(at.sin_port);
}

}  // namespace plinth::test
