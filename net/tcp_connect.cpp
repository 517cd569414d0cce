#include "net/tcp_connect.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "net/traffic_log.h"

namespace plinth {
namespace {

// A connect attempt and its outcome, for the traffic log.
void LogConnect(int socket, const sockaddr_in& to, int error) {
  TrafficLog* log = ActiveTrafficLog();
  if (!log) return;
  const int saved = errno;
  TrafficRecord r;
  r.timeUs = TrafficNow();
  r.kind = TrafficKind::kConnect;
  r.direction = TrafficDirection::kSent;
  r.remote = {to.sin_addr.s_addr, ntohs(to.sin_port)};
  TrafficEndpoint unusedRemote;
  SocketEndpoints(socket, r.local, unusedRemote);
  r.error = error;
  log->Add(r, {});
  errno = saved;
}

}  // namespace

int OpenTcpSocket() { return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0); }

bool ConnectSocket(int s, uint32_t addressNetworkOrder, uint16_t port, int timeoutMs, int cancelFd) {
  NoteSocketChange();
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = addressNetworkOrder;
  int rc = ::connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  if (rc != 0 && errno == EINPROGRESS) {
    // An interrupted wait goes on for what is left of the bound, not anew.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    pollfd p[2] = {{s, POLLOUT, 0}, {cancelFd, POLLIN, 0}};  // a negative fd is not polled
    for (;;) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
      rc = ::poll(p, 2, static_cast<int>(std::max<decltype(left)>(left, 0)));
      if (rc >= 0 || errno != EINTR) break;
    }
    int error = 0;
    socklen_t len = sizeof error;
    const int waited = rc < 0 ? errno : 0;
    rc = (rc >= 1 && p[0].revents != 0 && p[1].revents == 0 &&
          ::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0)
             ? 0
             : -1;
    if (rc != 0) errno = waited ? waited : error ? error : p[1].revents ? ECANCELED : ETIMEDOUT;
  }
  LogConnect(s, to, rc == 0 ? 0 : errno);
  if (rc != 0) return false;
  const int flags = ::fcntl(s, F_GETFL);
  ::fcntl(s, F_SETFL, flags & ~O_NONBLOCK);
  // Each request goes out in one send and waits for its reply: no batching.
  const int one = 1;
  ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return true;
}

int ConnectTcp(uint32_t addressNetworkOrder, uint16_t port, int timeoutMs) {
  const int s = OpenTcpSocket();
  if (s < 0) return -1;
  if (!ConnectSocket(s, addressNetworkOrder, port, timeoutMs)) {
    const int reason = errno;
    ::close(s);
    errno = reason;
    return -1;
  }
  return s;
}

void CloseSocket(int socket) {
  NoteSocketChange();
  if (socket >= 0) ::close(socket);
}

}  // namespace plinth
