#include "net/bootp_request.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bootp_test_support.h"

namespace plinth {
namespace {

using test::Ip;
using test::Mac;

// A request whose every byte differs, so that a copied or moved field shows.
BootpMessage PatternedRequest(const MacAddress& mac) {
  BootpMessage m;
  for (size_t i = 0; i < m.size(); ++i) m[i] = static_cast<uint8_t>(i * 7 + 3);
  m[kBootpOp] = 1;
  m[kBootpHtype] = 1;
  m[kBootpHlen] = 6;
  std::copy(mac.begin(), mac.end(), m.begin() + kBootpChaddr);
  return m;
}

TEST(BootpRequest, ReplyEqualsRequestButForTheAnsweredFields) {
  RecordedMessages messages;
  BootpTables tables;
  AddBootpEntry(tables, Mac(1), "10.0.0.9", messages);
  AddBootpEntry(tables, Mac(2), "10.0.0.20", messages);
  const BootpMessage request = PatternedRequest(Mac(2));

  const BootpHandling h = HandleBootpRequest(request, tables, "plinth-host", 0);
  ASSERT_EQ(h.verdict, BootpVerdict::kReply);
  EXPECT_EQ(h.entry, 1);
  EXPECT_EQ(h.address, Ip("10.0.0.20"));
  const uint8_t yiaddr[4] = {10, 0, 0, 20};
  for (size_t i = 0; i < kBootpMessageSize; ++i) {
    if (i == 0) EXPECT_EQ(h.reply[i], 2);
    else if (i >= 16 && i < 20) EXPECT_EQ(h.reply[i], yiaddr[i - 16]);
    else if (i >= 20 && i < 24) EXPECT_EQ(h.reply[i], 0) << i;
    else if (i >= 44 && i < 108) {
      const std::string host = "plinth-host";
      EXPECT_EQ(h.reply[i], i - 44 < host.size() ? static_cast<uint8_t>(host[i - 44]) : 0) << i;
    } else EXPECT_EQ(h.reply[i], request[i]) << "byte " << i;
  }
  // Handling sends nothing: the assigned flag waits for the send.
  EXPECT_EQ(tables.table[1].assigned.load(), 0);
  MarkBootpAssigned(tables, h.entry);
  EXPECT_EQ(tables.table[1].assigned.load(), 1);
  EXPECT_FALSE(tables.requests[0].used.load());
  EXPECT_TRUE(messages.entries.empty());
}

TEST(BootpRequest, LongHostNameIsCutTo63CharactersAndTerminated) {
  RecordedMessages messages;
  BootpTables tables;
  AddBootpEntry(tables, Mac(1), "10.0.0.9", messages);
  const std::string host(80, 'h');
  const BootpHandling h = HandleBootpRequest(PatternedRequest(Mac(1)), tables, host, 0);
  ASSERT_EQ(h.verdict, BootpVerdict::kReply);
  for (size_t i = 44; i < 107; ++i) EXPECT_EQ(h.reply[i], 'h');
  EXPECT_EQ(h.reply[107], 0);
  EXPECT_EQ(h.reply[108], PatternedRequest(Mac(1))[108]);
}

TEST(BootpRequest, MalformedDatagramsAreIgnoredAndRecordNothing) {
  RecordedMessages messages;
  BootpTables tables;
  AddBootpEntry(tables, Mac(1), "10.0.0.9", messages);
  const BootpMessage good = MakeBootpRequest(Mac(1), 7, 0);
  struct Case {
    std::vector<uint8_t> bytes;
    BootpIgnoreReason reason;
  };
  std::vector<Case> cases;
  cases.push_back({std::vector<uint8_t>(good.begin(), good.end() - 1), BootpIgnoreReason::kSize});
  std::vector<uint8_t> longer(good.begin(), good.end());
  longer.push_back(0);
  cases.push_back({longer, BootpIgnoreReason::kSize});
  cases.push_back({{}, BootpIgnoreReason::kSize});
  for (auto [offset, value, reason] : {std::tuple{0, 2, BootpIgnoreReason::kOp},
                                       std::tuple{0, 0, BootpIgnoreReason::kOp},
                                       std::tuple{1, 6, BootpIgnoreReason::kHtype},
                                       std::tuple{2, 8, BootpIgnoreReason::kHlen}}) {
    std::vector<uint8_t> bytes(good.begin(), good.end());
    bytes[static_cast<size_t>(offset)] = static_cast<uint8_t>(value);
    cases.push_back({bytes, reason});
  }
  // The same faults from an unknown MAC address must not be recorded either.
  for (size_t n = 0, count = cases.size(); n < count; ++n) {
    Case c = cases[n];
    if (c.bytes.size() > kBootpChaddr + 6) c.bytes[kBootpChaddr + 5] = 0x99;
    cases.push_back(c);
  }
  for (const Case& c : cases) {
    const BootpHandling h = HandleBootpRequest(c.bytes, tables, "host", Ip("10.1.1.1"));
    EXPECT_EQ(h.verdict, BootpVerdict::kIgnored);
    EXPECT_EQ(h.reason, c.reason) << c.bytes.size();
  }
  EXPECT_EQ(tables.table[0].assigned.load(), 0);
  EXPECT_EQ(tables.requests[0].used.load(), 0);
}

TEST(BootpRequest, UnknownRequestersAreRecordedOnceWithTheirClientAddress) {
  BootpTables tables;
  const BootpHandling first = HandleBootpRequest(MakeBootpRequest(Mac(5), 1, Ip("192.168.1.7")), tables, "h", 0);
  EXPECT_EQ(first.verdict, BootpVerdict::kRecorded);
  EXPECT_EQ(first.entry, 0);
  const BootpHandling other = HandleBootpRequest(MakeBootpRequest(Mac(6), 2, 0), tables, "h", 0);
  EXPECT_EQ(other.verdict, BootpVerdict::kRecorded);
  EXPECT_EQ(other.entry, 1);
  // Asking again, even with another client address, changes nothing.
  const BootpHandling again = HandleBootpRequest(MakeBootpRequest(Mac(5), 3, Ip("10.9.9.9")), tables, "h", 0);
  EXPECT_EQ(again.verdict, BootpVerdict::kAlreadyRecorded);
  EXPECT_EQ(again.entry, 0);
  EXPECT_EQ(tables.requests[0].ipAddress.load(), Ip("192.168.1.7"));
  EXPECT_EQ(tables.requests[0].mac.load(), PackMac(Mac(5)));
  EXPECT_EQ(tables.requests[1].ipAddress.load(), 0u);
  EXPECT_EQ(tables.requests[2].used.load(), 0);
}

TEST(BootpRequest, TestAddressReplacesTheClientAddress) {
  BootpTables tables;
  HandleBootpRequest(MakeBootpRequest(Mac(5), 1, Ip("192.168.1.7")), tables, "h", Ip("172.16.0.3"));
  HandleBootpRequest(MakeBootpRequest(Mac(6), 1, 0), tables, "h", Ip("172.16.0.3"));
  EXPECT_EQ(tables.requests[0].ipAddress.load(), Ip("172.16.0.3"));
  EXPECT_EQ(tables.requests[1].ipAddress.load(), Ip("172.16.0.3"));
}

TEST(BootpRequest, FullRequestTableDropsNewRequestersButKnowsOldOnes) {
  BootpTables tables;
  for (int i = 0; i < BootpTables::kSize; ++i) {
    MacAddress mac{0x02, 0, 0, 0, static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)};
    ASSERT_EQ(HandleBootpRequest(MakeBootpRequest(mac, 1, 0), tables, "h", 0).verdict, BootpVerdict::kRecorded);
  }
  EXPECT_EQ(HandleBootpRequest(MakeBootpRequest(Mac(1), 1, 0), tables, "h", 0).verdict, BootpVerdict::kDropped);
  MacAddress last{0x02, 0, 0, 0, 0, 255};
  EXPECT_EQ(HandleBootpRequest(MakeBootpRequest(last, 1, 0), tables, "h", 0).verdict,
            BootpVerdict::kAlreadyRecorded);
}

TEST(BootpRequest, TableSearchStopsAtTheFirstInvalidEntryAndSkipsWithdrawnOnes) {
  RecordedMessages messages;
  BootpTables tables;
  AddBootpEntry(tables, Mac(1), "10.0.0.1", messages);
  AddBootpEntry(tables, Mac(2), "10.0.0.2", messages);
  RemoveBootpEntry(tables, "10.0.0.1");
  // A withdrawn entry answers no one, not even a module whose MAC is all zero.
  EXPECT_EQ(HandleBootpRequest(MakeBootpRequest(MacAddress{}, 1, 0), tables, "h", 0).verdict,
            BootpVerdict::kRecorded);
  EXPECT_EQ(HandleBootpRequest(MakeBootpRequest(Mac(2), 1, 0), tables, "h", 0).verdict, BootpVerdict::kReply);
  // An entry beyond the valid prefix is not looked at.
  tables.table[5].mac.store(PackMac(Mac(9)));
  tables.table[5].ipAddress.store(Ip("10.0.0.5"));
  EXPECT_EQ(HandleBootpRequest(MakeBootpRequest(Mac(9), 1, 0), tables, "h", 0).verdict, BootpVerdict::kRecorded);
}

}  // namespace
}  // namespace plinth
