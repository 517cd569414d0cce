// Feeds arbitrary bytes to the Modbus client as a module's reply: the pure
// checks and the judgement of why a read failed, and ReadNode (with its
// reason), WriteNode and GetStatistics reading them from a socket. Nothing
// may read or write outside its buffers, and a true result must only come
// from a reply that passes the checks.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "net/modbus_client.h"
#include "net/modbus_frames.h"

namespace {

// A socket whose peer has sent reply and closed its sending side, so the
// client reads exactly these bytes and then the end of the stream.
struct ReplySocket {
  explicit ReplySocket(std::span<const uint8_t> reply) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) std::abort();
    client = fds[0], peer = fds[1];
    if (!reply.empty() && ::send(peer, reply.data(), reply.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(reply.size()))
      std::abort();
    ::shutdown(peer, SHUT_WR);
  }
  ~ReplySocket() {
    ::close(client);
    ::close(peer);
  }
  int client, peer;
};

void Require(bool condition) {
  if (!condition) std::abort();
}

// Whether data is the data of a read reply at the start of one of reply's
// frames: the client reads past frames that answer earlier requests (their
// length field gives their end) and the first frame whose transaction
// identifier is 0 ends the walk.
bool DataOfSomeFrame(std::span<const uint8_t> reply, const uint8_t* data, size_t size) {
  for (size_t at = 0; at + 9 + size <= reply.size();) {
    if (std::memcmp(data, reply.data() + at + 9, size) == 0) return true;
    if (reply[at] == 0 && reply[at + 1] == 0) return false;
    at += 6 + ((size_t{reply[at + 4]} << 8) | reply[at + 5]);
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // First byte: the register count, 0..126 so both invalid ends occur.
  const int count = data[0] % 127;
  const std::span<const uint8_t> reply(data + 1, size - 1);
  // What one receive into the 300-byte buffer can hold.
  const std::span<const uint8_t> received = reply.first(std::min(reply.size(), plinth::kReplyBufferSize));

  std::array<uint8_t, plinth::kStatisticsSize> statistics;
  plinth::ReplyComplete(received, plinth::ReadReplySize(count), plinth::kReadHoldingRegisters);
  plinth::ReplyComplete(received, 0);
  const size_t late = plinth::LateFrameSize(received, 1);
  if (late != 0 && late != plinth::kLateSizeUnknown) Require(late >= 6 && received.size() >= 6);
  if (plinth::ReadReplyGood(received, count)) Require(received.size() == plinth::ReadReplySize(count) && received[7] == 3);
  if (plinth::WriteReplyGood(received)) Require(received.size() == 12 && received[7] == 16);
  if (plinth::CopyStatistics(received, statistics)) Require(statistics[0] == received[7]);
  // Any reply can be described, whatever the request it failed.
  plinth::ReceiveEnd end;
  end.closed = true;
  for (const uint8_t function : {plinth::kReadHoldingRegisters, plinth::kDiagnostics})
    Require(!plinth::DescribeModbusError(
                 plinth::JudgeFailedReply(received, function == plinth::kDiagnostics ? 0 : plinth::ReadReplySize(count),
                                          function, end))
                 .empty());

  {
    ReplySocket socket(reply);
    std::array<uint8_t, 2 * plinth::kMaxReadCount> dest;
    dest.fill(0xA5);
    plinth::ModbusError error;
    if (plinth::ReadNode(socket.client, 1, dest.data(), plinth::STATUS_BLOCK, count, &error)) {
      Require(plinth::ReadCountValid(count));
      Require(DataOfSomeFrame(reply, dest.data(), 2 * static_cast<size_t>(count)));
    } else {
      Require(std::all_of(dest.begin(), dest.end(), [](uint8_t b) { return b == 0xA5; }));
      Require(error.kind != plinth::ModbusError::Kind::kNone);
    }
  }
  {
    ReplySocket socket(reply);
    std::array<uint8_t, 2 * plinth::kMaxWriteCount> source{};
    const bool acknowledged = plinth::WriteNode(socket.client, 1, source.data(), 0, count);
    if (acknowledged) Require(plinth::WriteCountValid(count));
  }
  {
    ReplySocket socket(reply);
    plinth::ModbusError error;
    if (plinth::GetStatistics(socket.client, static_cast<uint8_t>(count), statistics, &error)) {
      Require(reply.size() > plinth::kMbapSize);
      Require(statistics[0] == plinth::kDiagnostics);
    } else {
      Require(error.kind != plinth::ModbusError::Kind::kNone);
    }
  }
  return 0;
}
