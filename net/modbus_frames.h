#pragma once
// Modbus/TCP requests of the configurator and the checks of their replies,
// without a socket: the client sends and receives, these build and judge.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "net/modbus_registers.h"

namespace plinth {

inline constexpr size_t kMbapSize = 7;          // MBAP header incl. unit identifier
inline constexpr size_t kReplyBufferSize = 300;  // replies are received into this much
inline constexpr int kMaxReadCount = 125;
inline constexpr int kMaxWriteCount = 123;      // single-byte length and byte count

inline constexpr uint8_t kReadHoldingRegisters = 3;
inline constexpr uint8_t kDiagnostics = 8;
inline constexpr uint8_t kWriteMultipleRegisters = 16;

// A request ready to send: the bytes and how many of them count.
struct ModbusFrame {
  std::array<uint8_t, 13 + 2 * kMaxWriteCount> bytes{};
  size_t size = 0;
  std::span<const uint8_t> View() const { return {bytes.data(), size}; }
};

// Every request carries a transaction identifier of its own (bytes 0-1),
// never 0; the builders leave it 0 and the client stamps it.
void StampTransaction(ModbusFrame& frame, uint16_t transaction);

// Size of a frame at the front of received that answers an earlier request:
// its transaction identifier is neither 0 (a module that does not echo it)
// nor transaction. 0 when the front is not such a frame or fewer than 2
// bytes are there; kLateSizeUnknown while its length field has not arrived;
// else 6 + its length field.
inline constexpr size_t kLateSizeUnknown = SIZE_MAX;
size_t LateFrameSize(std::span<const uint8_t> received, uint16_t transaction);

// Function 3: 12 bytes. count must be 1..125.
ModbusFrame BuildReadRequest(uint8_t unit, uint16_t start, int count);
// Function 16 to unit 0: 13 + 2n bytes carrying data (2n bytes) unchanged.
// count must be 1..123.
ModbusFrame BuildWriteRequest(uint16_t start, const uint8_t* data, int count);
// Function 16 of one register, the IP flash flag: 15 bytes.
ModbusFrame BuildFlashFlagRequest(bool keepAddress);
// Function 8, sub-function 0x0015, data 0x0003: 12 bytes.
ModbusFrame BuildStatisticsRequest(uint8_t unit);

// Whether a read count may be sent (1..125) and a write count (1..123).
constexpr bool ReadCountValid(int count) { return count >= 1 && count <= kMaxReadCount; }
constexpr bool WriteCountValid(int count) { return count >= 1 && count <= kMaxWriteCount; }

// Size of a good function-3 reply for count registers.
constexpr size_t ReadReplySize(int count) { return 2 * static_cast<size_t>(count) + 9; }
inline constexpr size_t kWriteReplySize = 12;

// Whether reading on can stop. With an expected size: those bytes are there,
// or byte 7 already differs from function (no further byte can make the
// reply good, so an exception ends the wait at once); the length field is
// not looked at. With expected 0 (statistics): the MBAP length field says
// the frame is whole. Always: the buffer is full.
bool ReplyComplete(std::span<const uint8_t> received, size_t expected, uint8_t function = 0);

// A reply of a read is good when it is exactly 2n + 9 bytes with function
// code 3; no other field is compared.
bool ReadReplyGood(std::span<const uint8_t> reply, int count);
// A write is acknowledged by exactly 12 bytes with function code 16.
bool WriteReplyGood(std::span<const uint8_t> reply);
// Copies a statistics reply from its function code on into dest, within
// both the frame and dest, and zeroes the rest of dest. Only a whole frame
// (as its length field says) with function code 8 and the sub-function
// 0x0015 echoed is a statistics reply: anything else (an exception, a frame
// cut short) gives false and leaves dest untouched.
bool CopyStatistics(std::span<const uint8_t> reply, std::span<uint8_t, kStatisticsSize> dest);

// Why a request got no good reply, so that a message can name the reason.
struct ModbusError {
  enum class Kind : uint8_t {
    kNone,
    kBadCount,       // the count cannot be sent (count)
    kSendFailed,     // the send failed (systemError)
    kNoReply,        // nothing arrived within the bound
    kClosed,         // the module closed the connection before replying
    kReceiveFailed,  // the receive failed (systemError)
    kException,      // an exception reply (code)
    kWrongFunction,  // a reply with another function code (code)
    kShortReply,     // fewer bytes than a good reply has (received, expected)
    kLongReply,      // more bytes than a good reply has (received, expected)
    kNotStatistics,  // a diagnostics reply to another sub-function
  };
  Kind kind = Kind::kNone;
  int systemError = 0;
  uint8_t code = 0;
  size_t received = 0;
  size_t expected = 0;  // 0: not known
  int count = 0;
  int waitedMs = 0;     // the bound of kNoReply
};

// How the receive of a reply ended when the reply was not good.
struct ReceiveEnd {
  bool closed = false;  // the module closed its side
  int error = 0;        // errno of a failed receive, else 0
  int waitedMs = 0;     // the bound the wait had
};

// Why reply (as received, late replies taken off) is not the good reply of
// a request for function with expected bytes (0: a statistics reply, whose
// length field says how many).
ModbusError JudgeFailedReply(std::span<const uint8_t> reply, size_t expected, uint8_t function, const ReceiveEnd& end);

// The name Modbus gives an exception code ("illegal data address" for 2),
// or nullptr for a code it names not.
const char* ModbusExceptionName(uint8_t code);

// The reason in words, such as "no answer within 2000 ms" or "exception
// code 02 (illegal data address)".
std::string DescribeModbusError(const ModbusError& error);

}  // namespace plinth
