#include "net/modbus_frames.h"

#include <algorithm>
#include <cstring>

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

}  // namespace plinth
