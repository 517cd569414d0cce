// The requests byte for byte, and the reply checks at their edges.
#include "net/modbus_frames.h"

#include <gtest/gtest.h>

#include <vector>

namespace plinth {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Of(const ModbusFrame& frame) { return {frame.View().begin(), frame.View().end()}; }

// A function-3 reply: header, function, byte count, data.
Bytes ReadReply(int count, uint8_t function = 3) {
  Bytes reply(ReadReplySize(count), 0);
  reply[5] = static_cast<uint8_t>(2 * count + 3);
  reply[6] = 1;
  reply[7] = function;
  reply[8] = static_cast<uint8_t>(2 * count);
  for (int i = 0; i < 2 * count; ++i) reply[9 + static_cast<size_t>(i)] = static_cast<uint8_t>(i + 1);
  return reply;
}

TEST(ModbusFrames, RequestsAreExactBytes) {
  EXPECT_EQ(Of(BuildReadRequest(1, STATUS_BLOCK, 13)), (Bytes{0, 0, 0, 0, 0, 6, 1, 3, 0xF8, 0x00, 0, 13}));
  EXPECT_EQ(Of(BuildReadRequest(200, 0x1234, 125)), (Bytes{0, 0, 0, 0, 0, 6, 200, 3, 0x12, 0x34, 0, 125}));
  EXPECT_EQ(Of(BuildFlashFlagRequest(true)),
            (Bytes{0x00, 0x00, 0x00, 0x00, 0x00, 0x09, 0x00, 0x10, 0xF4, 0x10, 0x00, 0x01, 0x02, 0x00, 0x01}));
  EXPECT_EQ(Of(BuildFlashFlagRequest(false)),
            (Bytes{0x00, 0x00, 0x00, 0x00, 0x00, 0x09, 0x00, 0x10, 0xF4, 0x10, 0x00, 0x01, 0x02, 0x00, 0x00}));
  EXPECT_EQ(Of(BuildStatisticsRequest(0x2A)), (Bytes{0, 0, 0, 0, 0, 6, 0x2A, 8, 0, 0x15, 0, 3}));
}

TEST(ModbusFrames, WriteRequestCarriesWordsUnchangedToUnitZero) {
  Bytes data(16);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(0xA0 + i);
  const Bytes frame = Of(BuildWriteRequest(0x0102, data.data(), 8));
  ASSERT_EQ(frame.size(), 29u);
  EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 13), (Bytes{0, 0, 0, 0, 0, 23, 0, 16, 0x01, 0x02, 0, 8, 16}));
  EXPECT_EQ(Bytes(frame.begin() + 13, frame.end()), data);

  // The largest write still fits the single-byte length and byte count.
  Bytes big(2 * kMaxWriteCount, 0x55);
  const Bytes largest = Of(BuildWriteRequest(0, big.data(), kMaxWriteCount));
  EXPECT_EQ(largest.size(), 13u + 246u);
  EXPECT_EQ(largest[5], 253);
  EXPECT_EQ(largest[11], 123);
  EXPECT_EQ(largest[12], 246);
}

TEST(ModbusFrames, CountLimits) {
  EXPECT_FALSE(ReadCountValid(0));
  EXPECT_TRUE(ReadCountValid(1));
  EXPECT_TRUE(ReadCountValid(125));
  EXPECT_FALSE(ReadCountValid(126));
  EXPECT_FALSE(ReadCountValid(256));  // would go out as its low byte, 0
  EXPECT_FALSE(WriteCountValid(0));
  EXPECT_TRUE(WriteCountValid(123));
  EXPECT_FALSE(WriteCountValid(124));
}

TEST(ModbusFrames, ReadReplyJudgedOnLengthAndFunctionOnly) {
  Bytes good = ReadReply(13);
  ASSERT_EQ(good.size(), 35u);
  EXPECT_TRUE(ReadReplyGood(good, 13));
  EXPECT_FALSE(ReadReplyGood(ReadReply(13, 4), 13));  // function 4
  EXPECT_FALSE(ReadReplyGood({good.data(), 34}, 13));  // one byte short
  Bytes longer = good;
  longer.push_back(0);
  EXPECT_FALSE(ReadReplyGood(longer, 13));
  EXPECT_FALSE(ReadReplyGood(good, 12));

  // Transaction, protocol, length, unit and byte count are not compared.
  Bytes odd = good;
  odd[0] = 0x12, odd[1] = 0x34, odd[2] = 9, odd[4] = 7, odd[5] = 0, odd[6] = 99, odd[8] = 0;
  EXPECT_TRUE(ReadReplyGood(odd, 13));

  // An exception reply is 9 bytes with function 0x83.
  const Bytes exception{0, 0, 0, 0, 0, 3, 1, 0x83, 2};
  EXPECT_FALSE(ReadReplyGood(exception, 13));
  EXPECT_FALSE(ReadReplyGood(exception, 0));
  EXPECT_FALSE(ReadReplyGood({}, 1));
}

TEST(ModbusFrames, WriteAcknowledgement) {
  const Bytes ack{0, 0, 0, 0, 0, 6, 0, 16, 0, 0, 0, 8};
  EXPECT_TRUE(WriteReplyGood(ack));
  EXPECT_FALSE(WriteReplyGood({ack.data(), 11}));
  Bytes wrong = ack;
  wrong[7] = 0x90;
  EXPECT_FALSE(WriteReplyGood(wrong));
  Bytes longer = ack;
  longer.push_back(0);
  EXPECT_FALSE(WriteReplyGood(longer));
}

TEST(ModbusFrames, StatisticsCopyStaysWithinReplyAndDestination) {
  std::array<uint8_t, kStatisticsSize> dest;
  dest.fill(0xEE);

  // No function code: false, destination untouched.
  const Bytes seven{0, 0, 0, 0, 0, 1, 1};
  EXPECT_FALSE(CopyStatistics(seven, dest));
  EXPECT_FALSE(CopyStatistics({}, dest));
  EXPECT_EQ(dest[0], 0xEE);

  // 19 bytes: the MAC address is reply bytes 13..18, destination 6..11.
  Bytes nineteen{0, 0, 0, 0, 0, 13, 1, 8, 0, 0x15, 0, 3, 6, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  ASSERT_TRUE(CopyStatistics(nineteen, dest));
  EXPECT_EQ(dest[0], 8);
  EXPECT_EQ(Bytes(dest.begin() + 6, dest.begin() + 12), (Bytes{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}));
  EXPECT_EQ(dest[12], 0);  // the rest is cleared, not left from before
  EXPECT_EQ(dest[83], 0);

  // A reply of 300 bytes fills the 84 bytes and no more.
  Bytes full(kReplyBufferSize, 0x77);
  ASSERT_TRUE(CopyStatistics(full, dest));
  for (uint8_t b : dest) EXPECT_EQ(b, 0x77);
}

TEST(ModbusFrames, ReadingStopsWhenTheReplyIsWhole) {
  const Bytes reply = ReadReply(13);
  EXPECT_FALSE(ReplyComplete({reply.data(), 20}, 35));
  EXPECT_TRUE(ReplyComplete(reply, 35));
  // The MBAP length ends an exception at once instead of waiting the bound.
  const Bytes exception{0, 0, 0, 0, 0, 3, 1, 0x83, 2};
  EXPECT_TRUE(ReplyComplete(exception, 35));
  EXPECT_FALSE(ReplyComplete({exception.data(), 8}, 35));
  // Unknown length (statistics): only the MBAP length decides.
  EXPECT_FALSE(ReplyComplete({reply.data(), 5}, 0));
  EXPECT_TRUE(ReplyComplete(reply, 0));
  // Lengths below 2 cannot end a frame; a full buffer always does.
  const Bytes zeroLength{0, 0, 0, 0, 0, 0, 1, 3};
  EXPECT_FALSE(ReplyComplete(zeroLength, 0));
  const Bytes full(kReplyBufferSize, 0xFF);
  EXPECT_TRUE(ReplyComplete(full, 0));
}

}  // namespace
}  // namespace plinth
