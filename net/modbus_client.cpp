#include "net/modbus_client.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "net/modbus_frames.h"
#include "net/modbus_trace.h"

namespace plinth {
namespace {

using Clock = std::chrono::steady_clock;

// Each request's own transaction identifier, never 0, shared by all threads.
std::atomic<uint16_t> lastTransaction{0};

uint16_t NextTransaction() {
  uint16_t id;
  do id = static_cast<uint16_t>(lastTransaction.fetch_add(1, std::memory_order_relaxed) + 1);
  while (id == 0);
  return id;
}

// One send call; MSG_NOSIGNAL so that a closed peer gives false, not SIGPIPE.
bool SendFrame(int socket, ModbusFrame frame, uint16_t transaction, ModbusTrace& trace, ModbusError* error) {
  StampTransaction(frame, transaction);
  ssize_t sent;
  do {
    sent = ::send(socket, frame.bytes.data(), frame.size, MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  const bool whole = sent == static_cast<ssize_t>(frame.size);
  if (trace.On()) trace.Sent(frame.View(), whole ? 0 : sent < 0 ? errno : EMSGSIZE);
  if (whole) return true;
  if (error) {
    *error = {};
    error->kind = ModbusError::Kind::kSendFailed;
    error->systemError = sent < 0 ? errno : EMSGSIZE;
  }
  return false;
}

// A count the request cannot carry: nothing is sent.
bool CountRefused(int count, bool valid, ModbusError* error) {
  if (valid) return false;
  if (error) {
    *error = {};
    error->kind = ModbusError::Kind::kBadCount;
    error->count = count;
  }
  return true;
}

// A module on a fast link answers within tens of microseconds: looking for
// the reply without sleeping first saves the thread a sleep and a wake-up
// per exchange. After this long the wait sleeps in poll.
constexpr auto kEagerWait = std::chrono::microseconds(50);

// What a request waits for: its transaction identifier, and for ReplyComplete
// the expected size and function code (0, 0: a statistics reply).
struct Awaited {
  uint16_t transaction;
  size_t expected;
  uint8_t function;
};

// The received bytes with late replies to earlier requests taken off their
// front, so that only this request's reply is judged.
class Received {
 public:
  explicit Received(const Awaited& awaited) : awaited_(awaited) {}
  uint8_t* End() { return buffer_.data() + size_; }
  size_t Room() const { return buffer_.size() - size_; }
  void Add(size_t n) { size_ += n; }

  // Whether the front is this request's reply and it needs no more bytes.
  bool Complete() {
    for (;;) {
      if (const size_t n = std::min(skip_, size_)) {
        std::memmove(buffer_.data(), buffer_.data() + n, size_ - n);
        size_ -= n;
        skip_ -= n;
      }
      if (skip_) return false;
      skip_ = LateFrameSize(Bytes(), awaited_.transaction);
      if (skip_ == kLateSizeUnknown) {
        skip_ = 0;
        return false;
      }
      if (!skip_) return ReplyComplete(Bytes(), awaited_.expected, awaited_.function);
    }
  }
  // This request's reply as received so far; empty while a late one is in front.
  std::span<const uint8_t> Reply() {
    Complete();
    return skip_ || LateFrameSize(Bytes(), awaited_.transaction) ? std::span<const uint8_t>() : Bytes();
  }

 private:
  std::span<const uint8_t> Bytes() const { return {buffer_.data(), size_}; }
  const Awaited awaited_;
  std::array<uint8_t, kReplyBufferSize> buffer_;
  size_t size_ = 0;
  size_t skip_ = 0;  // bytes of a late reply still to drop
};

// Receives one reply: reads on until it is complete, the connection closes,
// an error or the time bound. Late replies to earlier requests that arrive
// first are read past. Returns how the receive ended.
ReceiveEnd ReceiveReply(int socket, Received& received) {
  ReceiveEnd end;
  end.waitedMs = kReplyTimeoutMs;
  // A failed or empty receive: the connection is closed or broken.
  const auto ended = [&end](ssize_t got) {
    if (got == 0) end.closed = true;
    else end.error = errno;
    return end;
  };
  const auto start = Clock::now();
  const auto deadline = start + std::chrono::milliseconds(kReplyTimeoutMs);
  bool any = false;
  while (!any && Clock::now() - start < kEagerWait) {
    const ssize_t got = ::recv(socket, received.End(), received.Room(), MSG_DONTWAIT);
    if (got > 0) received.Add(static_cast<size_t>(got)), any = true;
    else if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) return ended(got);
    else sched_yield();  // a busy processor goes to whoever has work, the peer perhaps
  }
  while (!received.Complete()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    pollfd p{socket, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return ended(ready);
    if (ready == 0) break;
    const ssize_t got = ::recv(socket, received.End(), received.Room(), MSG_DONTWAIT);
    if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
    if (got <= 0) return ended(got);
    received.Add(static_cast<size_t>(got));
  }
  return end;
}

// Fills error (if asked for) with why reply is not the good one.
void Judge(ModbusError* error, std::span<const uint8_t> reply, size_t expected, uint8_t function,
           const ReceiveEnd& end) {
  if (error) *error = JudgeFailedReply(reply, expected, function, end);
}

// The traffic log's word for how a receive ended: 0 for a reply received
// whole, else the connection's error, ECONNRESET when it closed, ETIMEDOUT
// at the bound.
int StopReason(const ReceiveEnd& end, bool whole) {
  if (whole) return 0;
  if (end.error) return end.error;
  return end.closed ? ECONNRESET : ETIMEDOUT;
}

}  // namespace

bool ReadNode(int socket, uint8_t unit, void* dest, uint16_t start, int count, ModbusError* error) {
  const uint16_t transaction = NextTransaction();
  ModbusTrace trace(socket);
  if (CountRefused(count, ReadCountValid(count), error) ||
      !SendFrame(socket, BuildReadRequest(unit, start, count), transaction, trace, error))
    return false;
  Received received({transaction, ReadReplySize(count), kReadHoldingRegisters});
  const ReceiveEnd end = ReceiveReply(socket, received);
  const std::span<const uint8_t> reply = received.Reply();
  if (trace.On()) trace.Received(reply, StopReason(end, received.Complete()));
  if (!ReadReplyGood(reply, count)) {
    Judge(error, reply, ReadReplySize(count), kReadHoldingRegisters, end);
    return false;
  }
  std::memcpy(dest, reply.data() + 9, 2 * static_cast<size_t>(count));
  return true;
}

bool WriteNode(int socket, uint8_t /*unit: every write goes to unit 0*/, const void* source, uint16_t start,
               int count, ModbusError* error) {
  const uint16_t transaction = NextTransaction();
  ModbusTrace trace(socket);
  if (CountRefused(count, WriteCountValid(count), error) ||
      !SendFrame(socket, BuildWriteRequest(start, static_cast<const uint8_t*>(source), count), transaction, trace,
                 error))
    return false;
  Received received({transaction, kWriteReplySize, kWriteMultipleRegisters});
  const ReceiveEnd end = ReceiveReply(socket, received);
  const std::span<const uint8_t> reply = received.Reply();
  if (trace.On()) trace.Received(reply, StopReason(end, received.Complete()));
  if (WriteReplyGood(reply)) return true;
  Judge(error, reply, kWriteReplySize, kWriteMultipleRegisters, end);
  return false;
}

void WriteFlashFlag(int socket, bool keepAddress) {
  ModbusTrace trace(socket);
  SendFrame(socket, BuildFlashFlagRequest(keepAddress), NextTransaction(), trace, nullptr);
}

bool WriteFlashFlagAcknowledged(int socket, bool keepAddress, ModbusError* error) {
  const uint16_t value = htons(keepAddress ? 1 : 0);
  return WriteNode(socket, 0, &value, kIpFlashFlagRegister, 1, error);
}

bool GetStatistics(int socket, uint8_t unit, std::span<uint8_t, kStatisticsSize> dest, ModbusError* error) {
  const uint16_t transaction = NextTransaction();
  ModbusTrace trace(socket);
  if (!SendFrame(socket, BuildStatisticsRequest(unit), transaction, trace, error)) return false;
  Received received({transaction, 0, 0});
  const ReceiveEnd end = ReceiveReply(socket, received);
  const std::span<const uint8_t> reply = received.Reply();
  if (trace.On()) trace.Received(reply, StopReason(end, received.Complete()));
  if (CopyStatistics(reply, dest)) return true;
  Judge(error, reply, 0, kDiagnostics, end);
  return false;
}

}  // namespace plinth
