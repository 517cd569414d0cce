#include "sim/sim_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <chrono>
#include <cstdarg>
#include <cstring>

#include "base/text_scan.h"
#include "net/tcp_connect.h"

namespace plinth {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kSplitPause = std::chrono::milliseconds(20);
constexpr int kIdlePollMs = 100;
// Out of descriptors, accepting waits for a connection to close, or this long.
constexpr auto kAcceptRetry = std::chrono::milliseconds(1000);

std::string Endpoint(uint32_t address, uint16_t port) { return FormatIpv4(address) + ":" + std::to_string(port); }

}  // namespace

struct SimServer::Listener {
  std::shared_ptr<SimModule> module;
  int fd = -1;
  int filler = -1;  // no-accept: the connection that fills the listen queue
  uint32_t address = 0;  // bound address, network byte order
  uint32_t failedAddress = 0;  // last address that could not be bound
  std::string name;
};

struct SimServer::Connection {
  std::shared_ptr<SimModule> module;
  std::string name;  // module endpoint and peer, for the log
  int fd = -1;
  std::vector<uint8_t> input;
  std::vector<uint8_t> tail;  // rest of a split reply
  Clock::time_point tailAt;
};

SimServer::SimServer() : wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

SimServer::~SimServer() {
  for (auto& c : connections_) CloseConnection(*c);
  for (auto& l : listeners_) CloseListener(*l);
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

void SimServer::AddModule(std::shared_ptr<SimModule> module) {
  auto listener = std::make_unique<Listener>();
  listener->module = module;
  listeners_.push_back(std::move(listener));
  modules_.push_back(std::move(module));
}

void SimServer::Log(const char* format, ...) {
  if (!log_) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(log_, format, args);
  va_end(args);
  std::fputc('\n', log_);
  std::fflush(log_);
}

bool SimServer::Listen(Listener& listener, std::string& error) {
  const uint32_t address = listener.module->Address();
  const uint16_t port = listener.module->Port();
  const std::string name = Endpoint(address, port);
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = name + ": socket: " + std::strerror(errno);
    return false;
  }
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(port);
  at.sin_addr.s_addr = address;
  // The kernel cuts the backlog to its maximum (net.core.somaxconn), so a
  // burst of connects waits in the queue instead of retrying its SYN. A
  // module that accepts nothing has a queue of one place, taken below.
  const bool accepting = listener.module->Fault() != FaultMode::kNoAccept;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || ::listen(fd, accepting ? INT_MAX : 0) != 0) {
    error = name + ": " + std::strerror(errno);
    ::close(fd);
    listener.failedAddress = address;
    return false;
  }
  socklen_t len = sizeof at;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &len);
  listener.module->SetBoundPort(ntohs(at.sin_port));
  listener.fd = fd;
  listener.address = address;
  listener.failedAddress = 0;
  listener.name = Endpoint(address, ntohs(at.sin_port));
  if (!accepting) {
    // Once the queue is full the kernel drops further SYNs: a connect then
    // waits for an answer that never comes, as at a host that is not there.
    listener.filler = ConnectTcp(address, ntohs(at.sin_port));
    Log("%s: module %u listening, accepting nothing", listener.name.c_str(), listener.module->ModuleId());
    return true;
  }
  Log("%s: module %u listening", listener.name.c_str(), listener.module->ModuleId());
  return true;
}

bool SimServer::Open(std::string& error) {
  for (auto& listener : listeners_)
    if (listener->module->State() == AddressState::kHasAddress && !Listen(*listener, error)) return false;
  return true;
}

void SimServer::SyncListeners() {
  for (auto& listener : listeners_) {
    const bool wanted = listener->module->State() == AddressState::kHasAddress;
    const uint32_t address = listener->module->Address();
    if (listener->fd >= 0 && (!wanted || address != listener->address)) {
      Log("%s: address given up, no longer serving", listener->name.c_str());
      CloseListener(*listener);
      for (auto& c : connections_)
        if (c->module == listener->module) CloseConnection(*c);
    }
    if (wanted && listener->fd < 0 && address != listener->failedAddress) {
      std::string error;
      if (!Listen(*listener, error)) Log("%s", error.c_str());
    }
  }
  if (std::erase_if(connections_, [](const auto& c) { return c->fd < 0; }) > 0) acceptPaused_ = false;
}

void SimServer::Accept(Listener& listener) {
  for (;;) {
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    const int fd = ::accept4(listener.fd, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO) continue;
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) PauseAccepting(errno);
      return;  // EAGAIN: the queue is empty
    }
    const std::string name = listener.name + " <- " + Endpoint(peer.sin_addr.s_addr, ntohs(peer.sin_port));
    if (listener.module->Fault() == FaultMode::kCloseOnAccept) {
      Log("%s: accepted and closed (fault mode)", name.c_str());
      listener.module->ConnectionOpened();
      listener.module->ConnectionClosed();
      ::close(fd);
      continue;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    auto connection = std::make_unique<Connection>();
    connection->module = listener.module;
    connection->name = name;
    connection->fd = fd;
    listener.module->ConnectionOpened();
    Log("%s: connected", name.c_str());
    connections_.push_back(std::move(connection));
  }
}

void SimServer::PauseAccepting(int error) {
  // The pending connection stays queued and the listener stays readable:
  // polling it now would spin. Wait for a close (or retry after a while).
  acceptPaused_ = true;
  acceptRetryAt_ = Clock::now() + kAcceptRetry;
  const std::string text = "out of descriptors (" + std::string(std::strerror(error)) + ") with " +
                           std::to_string(connections_.size()) +
                           " connections open; new connections wait until one closes";
  if (!descriptorsWarned_) std::fprintf(stderr, "plinth-sim: %s\n", text.c_str());
  else Log("%s", text.c_str());
  descriptorsWarned_ = true;
}

void SimServer::Send(Connection& connection, const std::vector<uint8_t>& reply) {
  if (reply.empty()) return;
  const ssize_t sent = ::send(connection.fd, reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  if (sent != static_cast<ssize_t>(reply.size())) Log("%s: reply not sent whole", connection.name.c_str());
}

bool SimServer::Receive(Connection& connection) {
  uint8_t chunk[1024];
  const ssize_t got = ::recv(connection.fd, chunk, sizeof chunk, 0);
  if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return true;
  if (got <= 0) {
    Log("%s: closed", connection.name.c_str());
    return false;
  }
  connection.input.insert(connection.input.end(), chunk, chunk + got);
  for (;;) {
    const int length = RequestFrameLength(connection.input);
    if (length < 0) {
      Log("%s: not Modbus/TCP, closing", connection.name.c_str());
      return false;
    }
    if (length == 0) return true;
    SimAnswer answer = connection.module->Answer({connection.input.data(), static_cast<size_t>(length)});
    connection.input.erase(connection.input.begin(), connection.input.begin() + length);
    std::vector<uint8_t>& reply = answer.reply;
    switch (connection.module->Fault()) {
      case FaultMode::kNeverAnswer: reply.clear(); break;
      case FaultMode::kWrongFunction:
        if (reply.size() > 7) ++reply[7];
        break;
      case FaultMode::kShortReply:
        if (!reply.empty()) reply.pop_back();
        break;
      default: break;
    }
    Log("%s: %s%s", connection.name.c_str(), answer.summary.c_str(), reply.empty() ? " (no answer)" : "");
    if (!connection.tail.empty()) {
      connection.tail.insert(connection.tail.end(), reply.begin(), reply.end());
    } else if (connection.module->Fault() == FaultMode::kSplitReply && reply.size() > 1) {
      const auto half = static_cast<std::ptrdiff_t>(reply.size() / 2);
      Send(connection, {reply.begin(), reply.begin() + half});
      connection.tail.assign(reply.begin() + half, reply.end());
      connection.tailAt = Clock::now() + kSplitPause;
    } else {
      Send(connection, reply);
    }
  }
}

void SimServer::Run() {
  std::vector<pollfd> fds;
  while (!stop_.load()) {
    SyncListeners();
    fds.clear();
    fds.push_back({wakeFd_, POLLIN, 0});
    const auto now = Clock::now();
    if (acceptPaused_ && now >= acceptRetryAt_) acceptPaused_ = false;
    for (auto& l : listeners_)  // -1 is ignored by poll
      fds.push_back({acceptPaused_ || l->filler >= 0 ? -1 : l->fd, POLLIN, 0});
    int timeout = kIdlePollMs;
    if (acceptPaused_) {
      const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(acceptRetryAt_ - now).count();
      timeout = std::clamp(static_cast<int>(wait) + 1, 0, timeout);
    }
    for (auto& c : connections_) {
      fds.push_back({c->fd, POLLIN, 0});
      if (!c->tail.empty()) {
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(c->tailAt - now).count();
        timeout = std::clamp(static_cast<int>(wait), 0, timeout);
      }
    }
    if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) break;
    if (fds[0].revents) {
      uint64_t count;
      while (::read(wakeFd_, &count, sizeof count) > 0) {
      }
    }
    size_t at = 1;
    for (auto& l : listeners_) {
      if (l->fd >= 0 && (fds[at].revents & POLLIN)) Accept(*l);
      ++at;
    }
    const size_t firstConnection = at;
    const size_t connectionCount = fds.size() - firstConnection;  // new ones wait for the next turn
    for (size_t i = 0; i < connectionCount; ++i) {
      Connection& c = *connections_[i];
      if (!c.tail.empty() && Clock::now() >= c.tailAt) {
        Send(c, c.tail);
        c.tail.clear();
      }
      if (fds[firstConnection + i].revents && !Receive(c)) CloseConnection(c);
    }
    // A closed connection gave back its descriptor: accept again.
    if (std::erase_if(connections_, [](const auto& c) { return c->fd < 0; }) > 0) acceptPaused_ = false;
  }
  for (auto& c : connections_) CloseConnection(*c);
  connections_.clear();
}

void SimServer::CloseConnection(Connection& connection) {
  if (connection.fd < 0) return;
  ::close(connection.fd);
  connection.fd = -1;
  connection.module->ConnectionClosed();
}

void SimServer::CloseListener(Listener& listener) {
  CloseSocket(listener.filler);
  listener.filler = -1;
  if (listener.fd >= 0) ::close(listener.fd);
  listener.fd = -1;
}

void SimServer::RequestStop() {
  stop_.store(true);
  Wake();
}

void SimServer::Wake() {
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

}  // namespace plinth
