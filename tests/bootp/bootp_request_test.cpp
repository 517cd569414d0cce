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
    const uint8_t addresses[8] = {10, 0, 0, 20, 0, 0, 0, 0};  // yiaddr, siaddr
    std::copy(addresses, addresses + 8, expected.begin() + 16);
    std::fill(expected.begin() + 44, expected.begin() + 108, 0);
    std::copy_n(host.begin(), std::min<size_t>(host.size(), 63), expected.begin() + 44);

    const BootpHandling h = HandleBootpRequest(request, tables, host, 0);
    ASSERT_EQ(h.verdict, BootpVerdict::kReply);
    EXPECT_EQ(h.entry, 1);
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
  for (const MacAddress& mac : {Mac(1), Mac(0x99)}) {  // a registered and an unknown module
    const BootpMessage good = MakeBootpRequest(mac, 7, 0);
    std::vector<std::pair<std::vector<uint8_t>, BootpIgnoreReason>> cases = {
        {std::vector<uint8_t>(good.begin(), good.end() - 1), BootpIgnoreReason::kSize},
        {std::vector<uint8_t>(kBootpMessageSize + 1, 1), BootpIgnoreReason::kSize},
        {{}, BootpIgnoreReason::kSize}};
    for (auto [offset, value, reason] : {std::tuple{0, 2, BootpIgnoreReason::kOp}, {0, 0, BootpIgnoreReason::kOp},
                                         {1, 6, BootpIgnoreReason::kHtype}, {2, 8, BootpIgnoreReason::kHlen}}) {
      cases.emplace_back(std::vector<uint8_t>(good.begin(), good.end()), reason);
      cases.back().first[static_cast<size_t>(offset)] = static_cast<uint8_t>(value);
    }
    for (const auto& [bytes, reason] : cases) {
      const BootpHandling h = HandleBootpRequest(bytes, tables, "host", Ip("10.1.1.1"));
      EXPECT_EQ(h.verdict, BootpVerdict::kIgnored);
      EXPECT_EQ(h.reason, reason) << bytes.size();
    }
  }
  EXPECT_EQ(tables.table[0].assigned.load() + tables.requests[0].used.load(), 0);
}

TEST(BootpRequest, UnknownRequestersAreRecordedOnceUntilTheTableIsFull) {
  BootpTables tables;
  EXPECT_EQ(Verdict(tables, Mac(5), Ip("192.168.1.7")), BootpVerdict::kRecorded);
  EXPECT_EQ(Verdict(tables, Mac(6)), BootpVerdict::kRecorded);
  // Asking again, even with another client address, changes nothing.
  EXPECT_EQ(Verdict(tables, Mac(5), Ip("10.9.9.9")), BootpVerdict::kAlreadyRecorded);
  EXPECT_EQ(tables.requests[0].mac.load(), PackMac(Mac(5)));
  EXPECT_EQ(tables.requests[0].ipAddress.load(), Ip("192.168.1.7"));
  EXPECT_EQ(tables.requests[1].mac.load(), PackMac(Mac(6)));
  // The walk compares each entry's MAC address first: an all-zero one
  // matches the first free entry and is never recorded.
  EXPECT_EQ(Verdict(tables, MacAddress{}), BootpVerdict::kAlreadyRecorded);
  EXPECT_EQ(tables.requests[2].used.load(), 0);

  for (int i = 2; i < BootpTables::kSize; ++i)
    ASSERT_EQ(Verdict(tables, MacAddress{2, 0, 0, 0, 0, static_cast<uint8_t>(i)}), BootpVerdict::kRecorded);
  EXPECT_EQ(Verdict(tables, Mac(1)), BootpVerdict::kDropped);
  EXPECT_EQ(Verdict(tables, MacAddress{2, 0, 0, 0, 0, 255}), BootpVerdict::kAlreadyRecorded);
}

TEST(BootpRequest, TableSearchStopsAtTheFirstInvalidEntryAndSkipsWithdrawnOnes) {
  RecordedMessages messages;
  BootpTables tables;
  AddBootpEntry(tables, Mac(1), "10.0.0.1", messages);
  AddBootpEntry(tables, Mac(2), "10.0.0.2", messages);
  RemoveBootpEntry(tables, "10.0.0.1");
  // A withdrawn entry answers no one, not even a module whose MAC is all zero.
  EXPECT_EQ(Verdict(tables, MacAddress{}), BootpVerdict::kAlreadyRecorded);
  EXPECT_EQ(Verdict(tables, Mac(2)), BootpVerdict::kReply);
  // An entry beyond the valid prefix is not looked at.
  tables.table[5].mac.store(PackMac(Mac(9)));
  tables.table[5].ipAddress.store(Ip("10.0.0.5"));
  EXPECT_EQ(Verdict(tables, Mac(9)), BootpVerdict::kRecorded);
}

}  // namespace
}  // namespace plinth
