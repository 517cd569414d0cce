#pragma once
// Why a register read gave nothing, for callers that tell the user: the
// client's plain ReadNode answers only true or false.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace plinth {

enum class ReadFault {
  kNone,           // a good reply
  kNotSent,        // a count out of range, or the request did not go out whole
  kNoReply,        // not one byte within the client's bound
  kClosed,         // the module closed the connection before replying
  kException,      // an exception reply; detail: its code
  kShortReply,     // fewer bytes than a good reply; detail: how many came
  kOtherFunction,  // a reply of another function code; detail: that code
  kOtherLength,    // function code 3, but not 2n + 9 bytes; detail: how many
};

struct ReadResult {
  ReadFault fault = ReadFault::kNone;
  int detail = 0;
  bool Ok() const { return fault == ReadFault::kNone; }
};

// Judges what a read of count registers received; closed: the wait ended
// because the module closed the connection (else by the bound, or whole).
ReadResult JudgeReadReply(std::span<const uint8_t> reply, int count, bool closed);

// "no reply within 2000 ms", "exception 02 (illegal data address)",
// "short reply (34 of 35 bytes)", ...
std::string DescribeReadResult(const ReadResult& result, int count);

}  // namespace plinth
