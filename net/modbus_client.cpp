#include "net/modbus_client.h"

#include <poll.h>
#include <sched.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "net/modbus_frames.h"

namespace plinth {
namespace {

using Clock = std::chrono::steady_clock;
using ReplyBuffer = std::array<uint8_t, kReplyBufferSize>;

// One send call; MSG_NOSIGNAL so that a closed peer gives false, not SIGPIPE.
bool SendFrame(int socket, const ModbusFrame& frame) {
  ssize_t sent;
  do {
    sent = ::send(socket, frame.bytes.data(), frame.size, MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return sent == static_cast<ssize_t>(frame.size);
}

// A module on a fast link answers within tens of microseconds: looking for
// the reply without sleeping first saves the thread a sleep and a wake-up
// per exchange. After this long the wait sleeps in poll.
constexpr auto kEagerWait = std::chrono::microseconds(50);

// Receives one reply into buffer: reads on until ReplyComplete, a closed
// connection, an error or the time bound. Returns the bytes received.
size_t ReceiveReply(int socket, ReplyBuffer& buffer, size_t expected, uint8_t function) {
  const auto start = Clock::now();
  const auto deadline = start + std::chrono::milliseconds(kReplyTimeoutMs);
  size_t received = 0;
  while (received == 0 && Clock::now() - start < kEagerWait) {
    const ssize_t got = ::recv(socket, buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (got > 0) received = static_cast<size_t>(got);
    else if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) return 0;
    else sched_yield();  // a busy processor goes to whoever has work, the peer perhaps
  }
  while (!ReplyComplete({buffer.data(), received}, expected, function)) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    pollfd p{socket, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    const ssize_t got = ::recv(socket, buffer.data() + received, buffer.size() - received, MSG_DONTWAIT);
    if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
    if (got <= 0) break;
    received += static_cast<size_t>(got);
  }
  return received;
}

}  // namespace

bool ReadNode(int socket, uint8_t unit, void* dest, uint16_t start, int count) {
  if (!ReadCountValid(count) || !SendFrame(socket, BuildReadRequest(unit, start, count))) return false;
  ReplyBuffer reply;
  const size_t got = ReceiveReply(socket, reply, ReadReplySize(count), kReadHoldingRegisters);
  if (!ReadReplyGood({reply.data(), got}, count)) return false;
  std::memcpy(dest, reply.data() + 9, 2 * static_cast<size_t>(count));
  return true;
}

bool WriteNode(int socket, uint8_t /*unit: every write goes to unit 0*/, const void* source, uint16_t start,
               int count) {
  if (!WriteCountValid(count) ||
      !SendFrame(socket, BuildWriteRequest(start, static_cast<const uint8_t*>(source), count)))
    return false;
  ReplyBuffer reply;
  const size_t got = ReceiveReply(socket, reply, kWriteReplySize, kWriteMultipleRegisters);
  return WriteReplyGood({reply.data(), got});
}

void WriteFlashFlag(int socket, bool keepAddress) { SendFrame(socket, BuildFlashFlagRequest(keepAddress)); }

bool GetStatistics(int socket, uint8_t unit, std::span<uint8_t, kStatisticsSize> dest) {
  if (!SendFrame(socket, BuildStatisticsRequest(unit))) return false;
  ReplyBuffer reply;
  const size_t got = ReceiveReply(socket, reply, 0, 0);
  return CopyStatistics({reply.data(), got}, dest);
}

}  // namespace plinth
