// Why a read failed, judged from the bytes that came and how the wait ended.
#include "net/read_fault.h"

#include <gtest/gtest.h>

#include <vector>

namespace plinth {
namespace {

TEST(ReadFault, NamesEachWayAReadOfThirteenRegistersFails) {
  std::vector<uint8_t> good(35, 0);
  good[7] = 3;
  auto with = [](std::vector<uint8_t> bytes, size_t at, uint8_t value) { return bytes[at] = value, bytes; };
  const struct {
    std::vector<uint8_t> reply;
    bool closed;
    std::string text;
  } cases[] = {
      {good, false, "read"},
      {{}, false, "no reply within 2000 ms"},
      {{}, true, "connection closed by the module"},
      {{0, 1, 0, 0, 0, 3, 1, 0x83, 2}, false, "exception 02 (illegal data address)"},
      {{0, 1, 0, 0, 0, 3, 1, 0x83, 0x41}, false, "exception 41"},
      {std::vector<uint8_t>(good.begin(), good.end() - 1), true, "short reply (34 of 35 bytes)"},
      {{0, 1, 0}, false, "short reply (3 of 35 bytes)"},
      {with(good, 7, 4), false, "reply with function code 4"},
      {with(std::vector<uint8_t>(37, 0), 7, 3), false, "reply of 37 bytes, expected 35"},
  };
  for (const auto& c : cases) EXPECT_EQ(DescribeReadResult(JudgeReadReply(c.reply, 13, c.closed), 13), c.text);
  EXPECT_EQ(DescribeReadResult(JudgeReadReply(good, 126, false), 126), "request not sent");
}

}  // namespace
}  // namespace plinth
