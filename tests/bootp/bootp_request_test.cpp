#include "net/bootp_request.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bootp_test_support.h"

namespace plinth {
namespace {

using test::Ip;
using test::Mac;

BootpVerdict Verdict(BootpTables& tables, const MacAddress& mac, uint32_t ciaddr = 0) {
  return HandleBootpRequest(MakeBootpRequest(mac, 1, ciaddr), tables, "h", 0).verdict;
}

TEST(BootpRequest, ReplyIsTheRequestWithOpYiaddrSiaddrAndSname) {
  RecordedMessages messages;
  BootpTables tables;
  AddBootpEntry(tables, Mac(1), "10.0.0.9", messages);
  AddBootpEntry(tables, Mac(2), "10.0.0.20", messages);
  // Every byte differs, so that a field copied or moved shows.
  BootpMessage request;
  for (size_t i = 0; i < request.size(); ++i) request[i] = static_cast<uint8_t>(i * 7 + 3);
  request[0] = request[1] = 1;
  request[2] = 6;
  const MacAddress mac = Mac(2);
  std::copy(mac.begin(), mac.end(), request.begin() + kBootpChaddr);

  for (const std::string& host : {std::string("plinth-host"), std::string(80, 'h')}) {
    BootpMessage expected = request;
    expected[0] = 2;
    std::fill(expected.begin() + 16, expected.begin() + 24, 0);  // yiaddr 10.0.0.20, siaddr 0
    expected[16] = 10, expected[19] = 20;
    std::fill(expected.begin() + 44, expected.begin() + 108, 0);
    std::copy_n(host.begin(), std::min<size_t>(host.size(), 63), expected.begin() + 44);
    const BootpHandling h = HandleBootpRequest(request, tables, host, 0);
    EXPECT_TRUE(h.verdict == BootpVerdict::kReply && h.entry == 1);
    for (size_t i = 0; i < kBootpMessageSize; ++i) EXPECT_EQ(h.reply[i], expected[i]) << "byte " << i;
  }
  // Handling sends nothing: the assigned flag waits for the send.
  EXPECT_EQ(tables.table[1].assigned.load() + tables.requests[0].used.load(), 0);
  EXPECT_TRUE(messages.entries.empty());
}

TEST(BootpRequest, MalformedDatagramsAreIgnoredAndRecordNothing) {
  RecordedMessages messages;
  BootpTables tables;
  AddBootpEntry(tables, Mac(1), "10.0.0.9", messages);
  using R = BootpIgnoreReason;
  for (const MacAddress& mac : {Mac(1), Mac(0x99)}) {  // a registered and an unknown module
    const BootpMessage good = MakeBootpRequest(mac, 7, 0);
    // {size, byte changed, its value, reason}
    for (auto [size, at, value, reason] : {std::tuple{299, 0, 1, R::kSize}, {301, 0, 1, R::kSize}, {0, 0, 1, R::kSize},
                                           {300, 0, 2, R::kOp}, {300, 0, 0, R::kOp}, {300, 1, 6, R::kHtype},
                                           {300, 2, 8, R::kHlen}}) {
      std::vector<uint8_t> bytes(good.begin(), good.end());
      bytes.resize(static_cast<size_t>(size));
      if (size == 300) bytes[static_cast<size_t>(at)] = static_cast<uint8_t>(value);
      const BootpHandling h = HandleBootpRequest(bytes, tables, "host", Ip("10.1.1.1"));
      EXPECT_TRUE(h.verdict == BootpVerdict::kIgnored && h.reason == reason) << size << " " << at << " " << value;
    }
  }
  EXPECT_EQ(tables.table[0].assigned.load() + tables.requests[0].used.load(), 0);
}

TEST(BootpRequest, UnknownRequestersAreRecordedOnceUntilTheTableIsFull) {
  RecordedMessages messages;
  BootpTables tables;
  AddBootpEntry(tables, Mac(1), "10.0.0.1", messages);
  AddBootpEntry(tables, Mac(2), "10.0.0.2", messages);
  RemoveBootpEntry(tables, "10.0.0.1");
  EXPECT_EQ(Verdict(tables, Mac(2)), BootpVerdict::kReply);
  // An entry beyond the valid prefix is not looked at.
  tables.table[5].mac.store(PackMac(Mac(9)));
  tables.table[5].ipAddress.store(Ip("10.0.0.5"));
  EXPECT_EQ(Verdict(tables, Mac(9)), BootpVerdict::kRecorded);
  EXPECT_EQ(Verdict(tables, Mac(5), Ip("192.168.1.7")), BootpVerdict::kRecorded);
  EXPECT_EQ(Verdict(tables, Mac(6)), BootpVerdict::kRecorded);
  // Asking again, even with another client address, changes nothing.
  EXPECT_EQ(Verdict(tables, Mac(5), Ip("10.9.9.9")), BootpVerdict::kAlreadyRecorded);
  EXPECT_EQ(std::pair(tables.requests[1].mac.load(), tables.requests[1].ipAddress.load()),
            std::pair(PackMac(Mac(5)), Ip("192.168.1.7")));
  EXPECT_EQ(tables.requests[2].mac.load(), PackMac(Mac(6)));
  // The walk compares each entry's MAC address first: an all-zero one matches
  // the first free entry and is never recorded; a withdrawn entry answers it not.
  EXPECT_EQ(Verdict(tables, MacAddress{}), BootpVerdict::kAlreadyRecorded);
  EXPECT_EQ(tables.requests[3].used.load(), 0);

  for (int i = 3; i < BootpTables::kSize; ++i)
    ASSERT_EQ(Verdict(tables, MacAddress{2, 0, 0, 0, 0, static_cast<uint8_t>(i)}), BootpVerdict::kRecorded);
  EXPECT_EQ(Verdict(tables, Mac(1)), BootpVerdict::kDropped);
  EXPECT_EQ(Verdict(tables, MacAddress{2, 0, 0, 0, 0, 255}), BootpVerdict::kAlreadyRecorded);
}

}  // namespace
}  // namespace plinth
