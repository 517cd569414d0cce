#pragma once
// Helpers shared by the BOOTP tests: everything stays on 127.0.0.1.
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/messages.h"
#include "net/bootp_server.h"
#include "net/bootp_socket.h"

namespace plinth::test {

inline uint32_t Ip(const char* text) { return inet_addr(text); }
inline MacAddress Mac(uint8_t last) { return MacAddress{0x00, 0x0a, 0x1b, 0x2c, 0x3d, last}; }

inline std::vector<std::string> Texts(const RecordedMessages& messages) {
  std::vector<std::string> texts;
  for (const auto& e : messages.entries) texts.push_back(e.text);
  return texts;
}

// The server on a free loopback port, replying to 127.0.0.1:clientPort.
inline BootpServerOptions LoopbackOptions(uint16_t clientPort) {
  return BootpServerOptions{0, clientPort, Ip("127.0.0.1"), Ip("127.0.0.1"), 0};
}

inline bool WaitUntil(const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return done();
}

// A module on loopback: sends to the server and reads what comes back.
class LoopbackModule {
 public:
  LoopbackModule() {
    sockaddr_in local = SocketAddress(Ip("127.0.0.1"), 0);
    socklen_t length = sizeof local;
    bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local);
    getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length);
    port = ntohs(local.sin_port);
  }
  ~LoopbackModule() { close(fd_); }
  bool Send(uint16_t serverPort, const BootpMessage& m) {
    const sockaddr_in to = SocketAddress(Ip("127.0.0.1"), serverPort);
    return sendto(fd_, m.data(), m.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) == ssize_t(m.size());
  }
  std::optional<std::vector<uint8_t>> Receive(std::chrono::milliseconds wait) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(wait.count())) != 1) return std::nullopt;
    std::vector<uint8_t> bytes(1500);
    bytes.resize(static_cast<size_t>(std::max<ssize_t>(0, recv(fd_, bytes.data(), bytes.size(), 0))));
    return bytes;
  }
  uint16_t port = 0;

 private:
  int fd_ = socket(AF_INET, SOCK_DGRAM, 0);
};

// A server switched on and bound, MAC 1 registered at 10.0.0.21, replying to the module (or to clientPort).
struct RunningServer {
  explicit RunningServer(int clientPort = -1)
      : server(net, messages, LoopbackOptions(clientPort < 0 ? module.port : static_cast<uint16_t>(clientPort))) {
    AddBootpEntry(net.bootp, Mac(1), "10.0.0.21", messages);
    started = server.SwitchOn() && server.WaitUntilBound(std::chrono::seconds(2));
  }
  NetState net;
  RecordedMessages messages;
  LoopbackModule module;
  UdpThread server;
  bool started = false;
};

// The descriptor of the server's socket, found by its port.
inline int ServerSocket(uint16_t port) {
  sockaddr_in local{};
  for (int fd = 0; fd < 1024; ++fd)
    if (socklen_t length = sizeof local; getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0 &&
                                         local.sin_family == AF_INET && ntohs(local.sin_port) == port)
      return fd;
  return -1;
}

}  // namespace plinth::test
