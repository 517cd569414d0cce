#include "net/modbus_frames.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace plinth {
namespace {

// The protocol identifier is 0 in every request, and so is the length
// field's high byte; the transaction identifier is stamped by the client.
ModbusFrame Header(uint8_t length, uint8_t unit, uint8_t function) {
  ModbusFrame frame;
  frame.bytes[5] = length;
  frame.bytes[6] = unit;
  frame.bytes[7] = function;
  return frame;
}

size_t FrameLength(std::span<const uint8_t> received) { return (size_t{received[4]} << 8) | received[5]; }

}  // namespace

void StampTransaction(ModbusFrame& frame, uint16_t transaction) {
  frame.bytes[0] = static_cast<uint8_t>(transaction >> 8);
  frame.bytes[1] = static_cast<uint8_t>(transaction);
}

size_t LateFrameSize(std::span<const uint8_t> received, uint16_t transaction) {
  if (received.size() < 2) return 0;
  const uint16_t got = static_cast<uint16_t>((received[0] << 8) | received[1]);
  if (got == 0 || got == transaction) return 0;
  return received.size() < 6 ? kLateSizeUnknown : 6 + FrameLength(received);
}

ModbusFrame BuildReadRequest(uint8_t unit, uint16_t start, int count) {
  ModbusFrame frame = Header(6, unit, kReadHoldingRegisters);
  frame.bytes[8] = static_cast<uint8_t>(start >> 8);
  frame.bytes[9] = static_cast<uint8_t>(start);
  frame.bytes[10] = 0;
  frame.bytes[11] = static_cast<uint8_t>(count);
  frame.size = 12;
  return frame;
}

ModbusFrame BuildWriteRequest(uint16_t start, const uint8_t* data, int count) {
  const auto n = static_cast<size_t>(std::clamp(count, 0, kMaxWriteCount));
  ModbusFrame frame = Header(static_cast<uint8_t>(2 * n + 7), 0, kWriteMultipleRegisters);
  frame.bytes[8] = static_cast<uint8_t>(start >> 8);
  frame.bytes[9] = static_cast<uint8_t>(start);
  frame.bytes[10] = static_cast<uint8_t>(n >> 8);
  frame.bytes[11] = static_cast<uint8_t>(n);
  frame.bytes[12] = static_cast<uint8_t>(2 * n);
  if (n) std::memcpy(&frame.bytes[13], data, 2 * n);
  frame.size = 13 + 2 * n;
  return frame;
}

ModbusFrame BuildFlashFlagRequest(bool keepAddress) {
  const uint8_t value[2] = {0, static_cast<uint8_t>(keepAddress ? 1 : 0)};
  return BuildWriteRequest(kIpFlashFlagRegister, value, 1);
}

ModbusFrame BuildStatisticsRequest(uint8_t unit) {
  ModbusFrame frame = Header(6, unit, kDiagnostics);
  frame.bytes[8] = static_cast<uint8_t>(kStatisticsSubFunction >> 8);
  frame.bytes[9] = static_cast<uint8_t>(kStatisticsSubFunction);
  frame.bytes[10] = static_cast<uint8_t>(kStatisticsData >> 8);
  frame.bytes[11] = static_cast<uint8_t>(kStatisticsData);
  frame.size = 12;
  return frame;
}

bool ReplyComplete(std::span<const uint8_t> received, size_t expected, uint8_t function) {
  if (received.size() >= kReplyBufferSize) return true;
  if (expected) return received.size() >= expected || (function && received.size() > 7 && received[7] != function);
  if (received.size() < 6) return false;
  const size_t length = FrameLength(received);
  // A length below 2 (unit and function code) cannot end a frame.
  return length >= 2 && received.size() >= 6 + length;
}

bool ReadReplyGood(std::span<const uint8_t> reply, int count) {
  return ReadCountValid(count) && reply.size() == ReadReplySize(count) && reply[7] == kReadHoldingRegisters;
}

bool WriteReplyGood(std::span<const uint8_t> reply) {
  return reply.size() == kWriteReplySize && reply[7] == kWriteMultipleRegisters;
}

bool CopyStatistics(std::span<const uint8_t> reply, std::span<uint8_t, kStatisticsSize> dest) {
  constexpr size_t kEchoEnd = kMbapSize + 3;  // function code and sub-function
  if (reply.size() < kEchoEnd) return false;
  const size_t frame = 6 + FrameLength(reply);
  if (frame < kEchoEnd || reply.size() < frame || reply[7] != kDiagnostics ||
      reply[8] != (kStatisticsSubFunction >> 8) || reply[9] != (kStatisticsSubFunction & 0xFF))
    return false;
  const size_t n = std::min(frame - kMbapSize, dest.size());
  std::copy_n(reply.begin() + kMbapSize, n, dest.begin());
  std::fill(dest.begin() + static_cast<std::ptrdiff_t>(n), dest.end(), uint8_t{0});
  return true;
}

ModbusError JudgeFailedReply(std::span<const uint8_t> reply, size_t expected, uint8_t function, const ReceiveEnd& end) {
  using Kind = ModbusError::Kind;
  ModbusError error;
  error.received = reply.size();
  error.expected = expected;
  if (reply.size() <= kMbapSize) {
    if (reply.empty() && end.error) error.kind = Kind::kReceiveFailed, error.systemError = end.error;
    else if (reply.empty() && end.closed) error.kind = Kind::kClosed;
    else if (reply.empty()) error.kind = Kind::kNoReply, error.waitedMs = end.waitedMs;
    else error.kind = Kind::kShortReply;
    return error;
  }
  const uint8_t got = reply[kMbapSize];
  if (got == (function | 0x80)) {
    error.kind = reply.size() > kMbapSize + 1 ? Kind::kException : Kind::kShortReply;
    if (reply.size() > kMbapSize + 1) error.code = reply[kMbapSize + 1];
    return error;
  }
  if (got != function) {
    error.kind = Kind::kWrongFunction, error.code = got;
    return error;
  }
  if (!expected && reply.size() >= 6) error.expected = 6 + FrameLength(reply);
  if (error.expected && reply.size() < error.expected) error.kind = Kind::kShortReply;
  else if (error.expected && reply.size() > error.expected && expected) error.kind = Kind::kLongReply;
  else error.kind = Kind::kNotStatistics;  // a whole function-8 frame that does not echo 0x0015
  return error;
}

const char* ModbusExceptionName(uint8_t code) {
  switch (code) {
    case 1: return "illegal function";
    case 2: return "illegal data address";
    case 3: return "illegal data value";
    case 4: return "server device failure";
    case 5: return "acknowledge";
    case 6: return "server device busy";
    case 8: return "memory parity error";
    case 10: return "gateway path unavailable";
    case 11: return "gateway target device failed to respond";
    default: return nullptr;
  }
}

std::string DescribeModbusError(const ModbusError& e) {
  using Kind = ModbusError::Kind;
  char text[160];
  switch (e.kind) {
    case Kind::kNone:
      return "no error";
    case Kind::kBadCount:
      std::snprintf(text, sizeof text, "%d registers do not fit one request", e.count);
      return text;
    case Kind::kSendFailed:
      return std::string("send failed: ") + std::strerror(e.systemError);
    case Kind::kNoReply:
      return "no answer within " + std::to_string(e.waitedMs) + " ms";
    case Kind::kClosed:
      return "the module closed the connection";
    case Kind::kReceiveFailed:
      return std::string("receive failed: ") + std::strerror(e.systemError);
    case Kind::kException: {
      const char* name = ModbusExceptionName(e.code);
      std::snprintf(text, sizeof text, "exception code %02X%s%s%s", e.code, name ? " (" : "", name ? name : "",
                    name ? ")" : "");
      return text;
    }
    case Kind::kWrongFunction:
      std::snprintf(text, sizeof text, "a reply with function code %u", e.code);
      return text;
    case Kind::kShortReply:
      if (e.expected) std::snprintf(text, sizeof text, "short reply: %zu of %zu bytes", e.received, e.expected);
      else std::snprintf(text, sizeof text, "short reply: %zu bytes", e.received);
      return text;
    case Kind::kLongReply:
      std::snprintf(text, sizeof text, "reply of %zu bytes instead of %zu", e.received, e.expected);
      return text;
    case Kind::kNotStatistics:
      return "a diagnostics reply that is not the statistics";
  }
  return "unknown error";
}

}  // namespace plinth
