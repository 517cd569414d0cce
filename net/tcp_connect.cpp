#include "net/tcp_connect.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>

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

bool ConnectSocket(int s, uint32_t addressNetworkOrder, uint16_t port, int timeoutMs, int cancelFd, int* error) {
  NoteSocketChange();
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = addressNetworkOrder;
  int rc = ::connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  int why = rc != 0 ? errno : 0;
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
    const int pollError = rc < 0 ? errno : 0;
    int soError = 0;
    socklen_t len = sizeof soError;
    if (rc == 0) why = ETIMEDOUT;
    else if (rc < 0) why = pollError;
    else if (p[1].revents != 0) why = ECANCELED;
    else if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &soError, &len) != 0) why = errno;
    else why = soError;
    rc = why == 0 ? 0 : -1;
  }
  LogConnect(s, to, why);
  if (rc != 0) {
    if (error) *error = why;
    errno = why;
    return false;
  }
  const int flags = ::fcntl(s, F_GETFL);
  ::fcntl(s, F_SETFL, flags & ~O_NONBLOCK);
  // Each request goes out in one send and waits for its reply: no batching.
  const int one = 1;
  ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return true;
}

int ConnectTcp(uint32_t addressNetworkOrder, uint16_t port, int timeoutMs, int* error) {
  const int s = OpenTcpSocket();
  if (s < 0) {
    if (error) *error = errno;
    return -1;
  }
  if (!ConnectSocket(s, addressNetworkOrder, port, timeoutMs, -1, error)) {
    const int reason = errno;
    ::close(s);
    errno = reason;
    return -1;
  }
  return s;
}

std::string DescribeConnectError(int error, int timeoutMs) {
  if (error == ECONNREFUSED) return "connection refused";
  if (error == ETIMEDOUT) return "no answer within " + std::to_string(timeoutMs) + " ms";
  if (error == ECANCELED) return "cancelled";
  std::string text = std::strerror(error);
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

void WakeSocket(int socket) {
  if (socket >= 0) ::shutdown(socket, SHUT_RDWR);
}

void CloseSocket(int socket) {
  NoteSocketChange();
  if (socket >= 0) ::close(socket);
}

}  // namespace plinth
