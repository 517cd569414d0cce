#pragma once
// A connected socket pair: the client's end and a scripted peer's end. The
// peer writes replies before or while the client waits for them.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

namespace plinth::test {

using Bytes = std::vector<uint8_t>;

struct SocketPair {
  SocketPair() {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0) client = fds[0], peer = fds[1];
  }
  ~SocketPair() { ::close(client), ::close(peer); }
  SocketPair(const SocketPair&) = delete;
  int client = -1, peer = -1;
};

inline void Put(int fd, const Bytes& bytes) {
  if (!bytes.empty()) (void)::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

// Everything waiting on fd right now.
inline Bytes Drain(int fd) {
  Bytes all;
  uint8_t chunk[512];
  for (ssize_t got; (got = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT)) > 0;)
    all.insert(all.end(), chunk, chunk + got);
  return all;
}

}  // namespace plinth::test
