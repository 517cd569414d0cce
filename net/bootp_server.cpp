#include "net/bootp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "base/text_scan.h"
#include "base/thread_priority.h"
#include "net/bootp_socket.h"
#include "net/traffic_log.h"

namespace plinth {
namespace {

// Errors that leave the socket usable: a lack of memory, or a report of
// an earlier datagram. The server goes on after them.
bool PassingReceiveError(int error) {
  switch (error) {
    case EINTR: case EAGAIN: case ENOMEM: case ENOBUFS: case ECONNREFUSED: case EHOSTUNREACH: case ENETUNREACH:
      return true;
    default:
      return false;
  }
}

// The request and the reply (if any) of one datagram, to the traffic log.
template <class In>
void LogExchange(TrafficLog& log, const In& request, const BootpEvent& event, int sendError, uint16_t port,
                 const BootpServerOptions& options) {
  TrafficRecord r;
  r.timeUs = TrafficNow();
  r.kind = TrafficKind::kBootp;
  r.direction = TrafficDirection::kReceived;
  r.local = {request.to, port};
  r.remote = {request.from.sin_addr.s_addr, ntohs(request.from.sin_port)};
  r.size = static_cast<uint16_t>(std::min<size_t>(event.size, UINT16_MAX));
  r.error = event.handling.verdict == BootpVerdict::kIgnored ? EBADMSG : 0;
  log.Add(r, std::span<const uint8_t>(request.buffer, std::min<size_t>(event.size, sizeof request.buffer)));
  if (event.handling.verdict != BootpVerdict::kReply) return;
  r.timeUs = TrafficNow();
  r.direction = TrafficDirection::kSent;
  r.local = {request.local, port};
  r.remote = {options.replyAddress, options.clientPort};
  r.size = 0;
  r.error = event.sendFailed ? (sendError ? sendError : EIO) : 0;
  log.Add(r, event.handling.reply);
}

}  // namespace

uint32_t ReadTestAddressFromEnvironment() {
  const char* text = std::getenv("VARNEL_TESTIPADDR");
  return text ? ParseIpv4(text) : 0;
}

BootpServerOptions ProgramBootpOptions() {
  BootpServerOptions options;
  options.testAddress = ReadTestAddressFromEnvironment();
  return options;
}

UdpThread::UdpThread(NetState& net, Messages& messages, BootpServerOptions options,
                     BootpEventSink* events)
    : net_(net), messages_(messages), options_(options), events_(events) {}

UdpThread::~UdpThread() {
  if (!thread_.joinable()) return;
  net_.bootpStop.store(1, std::memory_order_release);
  {
    // On Linux closing a socket does not wake a blocked receive; shutdown does.
    std::lock_guard<std::mutex> lock(socketMutex_);
    if (fd_ >= 0) shutdown(fd_, SHUT_RDWR);
  }
  thread_.join();
}

bool UdpThread::SwitchOn() {
  {
    // The thread decides to end under the same lock (EndsNow): either it has
    // not yet and sees bootpStop cleared, or bootpRunning is already clear.
    std::lock_guard<std::mutex> lock(stateMutex_);
    net_.bootpStop.store(0, std::memory_order_release);
    failed_.store(false, std::memory_order_release);
    if (net_.bootpRunning.load(std::memory_order_acquire)) return true;  // keeps serving
  }
  if (thread_.joinable()) thread_.join();  // the last run has cleared bootpRunning: it is ending
  net_.bootpRunning.store(1, std::memory_order_release);
  try {
    runs_.fetch_add(1, std::memory_order_acq_rel);
    thread_ = std::thread(&UdpThread::Run, this);
  } catch (const std::system_error&) {
    gaveUp_.fetch_add(1, std::memory_order_acq_rel);
    net_.bootpRunning.store(0, std::memory_order_release);
    messages_.Show("UdpThread failed!");
    return false;
  }
  return true;
}

void UdpThread::SwitchOff() { net_.bootpStop.store(1, std::memory_order_release); }

bool UdpThread::EndsNow() {
  std::lock_guard<std::mutex> lock(stateMutex_);
  if (!net_.bootpStop.load(std::memory_order_acquire)) return false;
  net_.bootpRunning.store(0, std::memory_order_release);
  return true;
}

void UdpThread::EndWithError(const char* message) {
  messages_.Show(message);
  std::lock_guard<std::mutex> lock(stateMutex_);
  failed_.store(true, std::memory_order_release);
  net_.bootpRunning.store(0, std::memory_order_release);
}

bool UdpThread::WaitUntilBound(std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (BoundPort() != 0) return true;
    if (gaveUp_.load(std::memory_order_acquire) >= runs_.load(std::memory_order_acquire)) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return BoundPort() != 0;
}

void UdpThread::Run() {
  net_.bootpRunning.store(1, std::memory_order_release);
  RaiseThreadPriority();
  if (OpenSocket()) Serve();
  else gaveUp_.fetch_add(1, std::memory_order_acq_rel);
  CloseSocket();
  net_.bootpRunning.store(0, std::memory_order_release);
}

bool UdpThread::OpenSocket() {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    messages_.Show("socket() failed!");
    messages_.Show("bind failed!");  // the bind of the failed socket fails in turn
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(socketMutex_);
    fd_ = fd;
  }
  const sockaddr_in local = SocketAddress(options_.bindAddress, options_.serverPort);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    bindError_.store(errno, std::memory_order_release);
    messages_.Show("bind failed!");
    return false;
  }
  bindError_.store(0, std::memory_order_release);
  const int on = 1;
  if (setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
    messages_.Show("could not get authority to BROADCAST messages!");
    return false;
  }
  // The arriving interface tells where the reply goes out.
  setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
  EnlargeReceiveBuffer(fd);
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
  boundPort_.store(ntohs(bound.sin_port), std::memory_order_release);
  return true;
}

// Datagrams taken and replies sent per system call: a burst of requests
// (many modules powered on at once) costs two calls per batch, one request
// alone two calls.
constexpr int kBatch = 32;

// Receive and send areas of one batch, kept across batches.
struct UdpThread::Batch {
  struct In {
    uint8_t buffer[kBootpMessageSize + 1];
    sockaddr_in from;
    uint32_t to, local;  // the datagram's destination, the arriving interface's address
    alignas(cmsghdr) uint8_t control[CMSG_SPACE(sizeof(in_pktinfo))];
    iovec io;
  };
  struct Out {
    sockaddr_in to;
    alignas(cmsghdr) uint8_t control[CMSG_SPACE(sizeof(in_pktinfo))];
    iovec io;
  };
  std::array<In, kBatch> in;
  std::array<mmsghdr, kBatch> received;
  std::array<BootpEvent, kBatch> events;
  std::array<Out, kBatch> out;
  std::array<mmsghdr, kBatch> replies;
  std::array<int, kBatch> replyOf;  // the event each reply belongs to

  // One datagram's header: its address and its one buffer, no control data yet.
  static msghdr& Header(mmsghdr& message, sockaddr_in& address, iovec& io) {
    msghdr& h = message.msg_hdr;
    h = {};
    h.msg_name = &address;
    h.msg_namelen = sizeof address;
    h.msg_iov = &io;
    h.msg_iovlen = 1;
    return h;
  }

  // Areas for the next receive (the kernel shortens the lengths).
  void ArmReceive() {
    for (int i = 0; i < kBatch; ++i) {
      In& m = in[static_cast<size_t>(i)];
      m.io = {m.buffer, sizeof m.buffer};
      msghdr& h = Header(received[static_cast<size_t>(i)], m.from, m.io);
      h.msg_control = m.control;
      h.msg_controllen = sizeof m.control;
    }
  }

  // Reply k: event's reply to the reply address, out of the interface the
  // request came in on.
  void ArmReply(int k, int event, const BootpServerOptions& options) {
    Out& o = out[static_cast<size_t>(k)];
    BootpEvent& e = events[static_cast<size_t>(event)];
    o.to = SocketAddress(options.replyAddress, options.clientPort);
    o.io = {e.handling.reply.data(), e.handling.reply.size()};
    msghdr& h = Header(replies[static_cast<size_t>(k)], o.to, o.io);
    if (e.interfaceIndex != 0) {
      std::memset(o.control, 0, sizeof o.control);
      h.msg_control = o.control;
      h.msg_controllen = sizeof o.control;
      cmsghdr* c = CMSG_FIRSTHDR(&h);
      c->cmsg_level = IPPROTO_IP;
      c->cmsg_type = IP_PKTINFO;
      c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
      in_pktinfo info{};
      info.ipi_ifindex = e.interfaceIndex;
      std::memcpy(CMSG_DATA(c), &info, sizeof info);
    }
    replyOf[static_cast<size_t>(k)] = event;
  }
};

void UdpThread::Serve() {
  const int fd = fd_;  // only this thread changes it
  auto batch = std::make_unique<Batch>();
  for (;;) {
    if (net_.bootpStop.load(std::memory_order_acquire) && EndsNow()) return;

    batch->ArmReceive();
    // MSG_TRUNC gives each datagram's true size, so a longer one reads as
    // the wrong size.
    const int count = recvmmsg(fd, batch->received.data(), kBatch, MSG_WAITFORONE | MSG_TRUNC, nullptr);
    if (count < 0) {
      const int error = errno;
      if (net_.bootpStop.load(std::memory_order_acquire)) continue;  // shut down to end it
      if (!PassingReceiveError(error)) return EndWithError("recvfrom() failed!");
      if (error == ENOMEM || error == ENOBUFS) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    if (net_.bootpStop.load(std::memory_order_acquire)) continue;  // the wake-up, or late

    int replies = 0;
    for (int i = 0; i < count; ++i) {
      const size_t at = static_cast<size_t>(i);
      Batch::In& m = batch->in[at];
      msghdr& h = batch->received[at].msg_hdr;
      BootpEvent& event = batch->events[at];
      event = BootpEvent{};
      event.size = batch->received[at].msg_len;
      event.from = m.from.sin_addr.s_addr;
      m.to = m.local = options_.bindAddress;
      for (cmsghdr* c = CMSG_FIRSTHDR(&h); c; c = CMSG_NXTHDR(&h, c))
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
          in_pktinfo info;
          std::memcpy(&info, CMSG_DATA(c), sizeof info);
          event.interfaceIndex = info.ipi_ifindex;
          m.to = info.ipi_addr.s_addr;
          m.local = info.ipi_spec_dst.s_addr;
        }
      const size_t kept = std::min<size_t>(event.size, sizeof m.buffer);
      event.handling = HandleBootpRequest(std::span<const uint8_t>(m.buffer, kept), net_.bootp, net_.hostName,
                                          options_.testAddress);
      if (event.handling.verdict == BootpVerdict::kReply) batch->ArmReply(replies++, i, options_);
    }
    int sendError = 0;
    for (int done = 0; done < replies;) {
      const int sent = sendmmsg(fd, batch->replies.data() + done, static_cast<unsigned>(replies - done), 0);
      if (sent < 0) sendError = errno;
      for (int k = done; k < done + std::max(sent, 0); ++k)
        if (batch->replies[static_cast<size_t>(k)].msg_len != kBootpMessageSize)
          batch->events[static_cast<size_t>(batch->replyOf[static_cast<size_t>(k)])].sendFailed = true;
      if (sent > 0) {
        done += sent;
        continue;
      }
      batch->events[static_cast<size_t>(batch->replyOf[static_cast<size_t>(done++)])].sendFailed = true;
    }
    for (int i = 0; i < count; ++i) {
      const BootpEvent& event = batch->events[static_cast<size_t>(i)];
      const bool reply = event.handling.verdict == BootpVerdict::kReply;
      if (reply && event.sendFailed) messages_.Show("sendto() failed!");
      if (TrafficLog* log = ActiveTrafficLog())
        LogExchange(*log, batch->in[static_cast<size_t>(i)], event, sendError, BoundPort(), options_);
      // The event goes out before the entry is marked, so that whoever sees
      // the mark can already see the event.
      if (events_) events_->OnBootpEvent(event);
      if (reply && !event.sendFailed) MarkBootpAssigned(net_.bootp, event.handling.entry, event.handling.mac);
    }
  }
}


void UdpThread::CloseSocket() {
  boundPort_.store(0, std::memory_order_release);
  std::lock_guard<std::mutex> lock(socketMutex_);
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

void StopBootpServer(NetState& net, Messages& messages, uint32_t address, uint16_t port) {
  net.bootpStop.store(1, std::memory_order_release);
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    // Each later step on the failed socket fails in turn, with its message.
    messages.Show("socket() failed!");
    messages.Show("could not get authority to BROADCAST messages!");
    messages.Show("sendto() failed for killing udp!");
    return;
  }
  const int on = 1;
  if (setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0)
    messages.Show("could not get authority to BROADCAST messages!");
  const uint8_t zeros[kBootpMessageSize] = {};
  const sockaddr_in to = SocketAddress(address, port);
  if (sendto(fd, zeros, sizeof zeros, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) !=
      static_cast<ssize_t>(sizeof zeros))
    messages.Show("sendto() failed for killing udp!");
  close(fd);
}

void StopBootpServer(UdpThread& server, Messages& messages) {
  const uint16_t bound = server.BoundPort();
  StopBootpServer(server.Net(), messages, server.Options().bindAddress,
                  bound != 0 ? bound : server.Options().serverPort);
}

bool WaitForBootpServer(NetState& net) {
  for (int i = 0; i < 500 && net.bootpRunning.load(std::memory_order_acquire); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return !net.bootpRunning.load(std::memory_order_acquire);
}

bool ShutdownBootpServer(UdpThread& server, Messages& messages) {
  StopBootpServer(server, messages);
  return WaitForBootpServer(server.Net());
}

}  // namespace plinth
