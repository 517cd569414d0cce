#include "net/module_probe.h"

#include <arpa/inet.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "net/modbus_client.h"
#include "net/tcp_connect.h"

namespace plinth {

ProbeCancel::ProbeCancel() : wakeFd_(::eventfd(0, EFD_CLOEXEC)) {}

ProbeCancel::~ProbeCancel() { CloseSocket(wakeFd_); }

void ProbeCancel::Cancel() {
  std::lock_guard lock(mutex_);
  if (cancelled_) return;
  cancelled_ = true;
  // The counter stays above zero, so every later wait on it ends at once too.
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
  // A read blocked in poll wakes when its connection is shut down; the
  // socket itself is closed by its probe, which alone owns it.
  for (int s : open_) ::shutdown(s, SHUT_RDWR);
}

bool ProbeCancel::Cancelled() const {
  std::lock_guard lock(mutex_);
  return cancelled_;
}

bool ProbeCancel::Enter(int socket) {
  std::lock_guard lock(mutex_);
  if (cancelled_) return false;
  open_.push_back(socket);
  return true;
}

void ProbeCancel::Leave(int socket) {
  std::lock_guard lock(mutex_);
  std::erase(open_, socket);
}

ModuleProbe ProbeModule(uint32_t addressNetworkOrder, uint16_t port, int connectTimeoutMs, ProbeCancel& cancel) {
  ModuleProbe probe;
  const int s = OpenTcpSocket();
  if (s < 0) {
    probe.connect = ConnectFault::kUnreachable;
    probe.connectError = errno;
    return probe;
  }
  if (!cancel.Enter(s)) {
    CloseSocket(s);
    probe.connect = ConnectFault::kCancelled;
    return probe;
  }
  if (!ConnectSocket(s, addressNetworkOrder, port, connectTimeoutMs, cancel.WakeFd())) {
    const int error = errno;
    probe.connect = error == ECONNREFUSED ? ConnectFault::kRefused
                    : error == ETIMEDOUT  ? ConnectFault::kSilent
                    : error == ECANCELED  ? ConnectFault::kCancelled
                                          : ConnectFault::kUnreachable;
    probe.connectError = error;
  } else {
    probe.connect = ConnectFault::kNone;
    std::array<uint16_t, kStatusBlockWords> wire{};
    probe.statusRead = ReadNode(s, kProbeUnit, wire.data(), STATUS_BLOCK, kStatusBlockWords, &probe.statusError);
    if (probe.statusRead)
      std::transform(wire.begin(), wire.end(), probe.words.begin(), [](uint16_t w) { return ntohs(w); });
    // A module that gave no reply at all would only let the statistics wait
    // out the bound once more.
    using Kind = ModbusError::Kind;
    const Kind fault = probe.statusError.kind;
    const bool answered = probe.statusRead || fault == Kind::kException || fault == Kind::kWrongFunction ||
                          fault == Kind::kShortReply || fault == Kind::kLongReply;
    std::array<uint8_t, kStatisticsSize> statistics{};
    if (answered && GetStatistics(s, kProbeUnit, statistics)) {
      probe.statisticsRead = true;
      std::memcpy(probe.mac.data(), statistics.data() + kStatisticsMacOffset, probe.mac.size());
    }
  }
  cancel.Leave(s);
  CloseSocket(s);
  // A probe cut short says so, rather than blaming the module.
  if (cancel.Cancelled() && !(probe.statusRead && probe.statisticsRead)) probe.connect = ConnectFault::kCancelled;
  return probe;
}

std::string DescribeConnectFault(const ModuleProbe& probe, int connectTimeoutMs) {
  switch (probe.connect) {
    case ConnectFault::kNone: return "connected";
    case ConnectFault::kRefused: return "refused";
    case ConnectFault::kSilent: return DescribeConnectError(ETIMEDOUT, connectTimeoutMs);
    case ConnectFault::kUnreachable: return DescribeConnectError(probe.connectError, connectTimeoutMs);
    case ConnectFault::kCancelled: return DescribeConnectError(ECANCELED, connectTimeoutMs);
  }
  return "not connected";
}

}  // namespace plinth
