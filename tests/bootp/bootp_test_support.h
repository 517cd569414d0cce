#pragma once
// Helpers shared by the BOOTP tests.
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/slave_record.h"
#include "net/bootp_socket.h"

namespace plinth::test {

inline uint32_t Ip(const char* text) { return inet_addr(text); }

inline MacAddress Mac(uint8_t last) { return MacAddress{0x00, 0x0a, 0x1b, 0x2c, 0x3d, last}; }

// A module on loopback: sends requests to the server and reads its replies.
class LoopbackModule {
 public:
  LoopbackModule() {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in local = SocketAddress(Ip("127.0.0.1"), 0);
    bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local);
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&bound), &length);
    port = ntohs(bound.sin_port);
  }
  ~LoopbackModule() { close(fd_); }
  LoopbackModule(const LoopbackModule&) = delete;
  LoopbackModule& operator=(const LoopbackModule&) = delete;

  bool Send(uint16_t serverPort, const uint8_t* bytes, size_t size) {
    const sockaddr_in to = SocketAddress(Ip("127.0.0.1"), serverPort);
    return sendto(fd_, bytes, size, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) ==
           static_cast<ssize_t>(size);
  }
  std::optional<std::vector<uint8_t>> Receive(std::chrono::milliseconds wait) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(wait.count())) != 1) return std::nullopt;
    std::vector<uint8_t> bytes(1500);
    const ssize_t n = recv(fd_, bytes.data(), bytes.size(), 0);
    bytes.resize(static_cast<size_t>(n < 0 ? 0 : n));
    return bytes;
  }

  uint16_t port = 0;

 private:
  int fd_ = -1;
};

}  // namespace plinth::test
