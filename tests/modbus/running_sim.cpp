#include "running_sim.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace plinth::test {

uint16_t UnusedPort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at);
  socklen_t len = sizeof at;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&at), &len);
  ::close(s);
  return ntohs(at.sin_port);
}

}  // namespace plinth::test
