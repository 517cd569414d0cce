#include "net/read_fault.h"

#include <cstdio>

#include "net/modbus_client.h"
#include "net/modbus_frames.h"

namespace plinth {
namespace {

// The names Modbus gives its exception codes.
const char* ExceptionName(int code) {
  switch (code) {
    case 1: return "illegal function";
    case 2: return "illegal data address";
    case 3: return "illegal data value";
    case 4: return "server device failure";
    case 5: return "acknowledge";
    case 6: return "server device busy";
    case 10: return "gateway path unavailable";
    case 11: return "gateway target device failed to respond";
    default: return nullptr;
  }
}

}  // namespace

ReadResult JudgeReadReply(std::span<const uint8_t> reply, int count, bool closed) {
  if (!ReadCountValid(count)) return {ReadFault::kNotSent, 0};
  if (ReadReplyGood(reply, count)) return {};
  const int size = static_cast<int>(reply.size());
  if (reply.empty()) return {closed ? ReadFault::kClosed : ReadFault::kNoReply, 0};
  if (size > 8 && reply[7] == (kReadHoldingRegisters | 0x80)) return {ReadFault::kException, reply[8]};
  if (size > 7 && reply[7] != kReadHoldingRegisters) return {ReadFault::kOtherFunction, reply[7]};
  if (reply.size() < ReadReplySize(count)) return {ReadFault::kShortReply, size};
  return {ReadFault::kOtherLength, size};
}

std::string DescribeReadResult(const ReadResult& result, int count) {
  const std::string expected = std::to_string(ReadReplySize(count));
  switch (result.fault) {
    case ReadFault::kNone: return "read";
    case ReadFault::kNotSent: return "request not sent";
    case ReadFault::kNoReply: return "no reply within " + std::to_string(kReplyTimeoutMs) + " ms";
    case ReadFault::kClosed: return "connection closed by the module";
    case ReadFault::kException: {
      char code[8];
      std::snprintf(code, sizeof code, "%02X", result.detail & 0xFF);
      const char* name = ExceptionName(result.detail);
      return std::string("exception ") + code + (name ? std::string(" (") + name + ")" : "");
    }
    case ReadFault::kShortReply:
      return "short reply (" + std::to_string(result.detail) + " of " + expected + " bytes)";
    case ReadFault::kOtherFunction: return "reply with function code " + std::to_string(result.detail);
    case ReadFault::kOtherLength:
      return "reply of " + std::to_string(result.detail) + " bytes, expected " + expected;
  }
  return "failed";
}

}  // namespace plinth
