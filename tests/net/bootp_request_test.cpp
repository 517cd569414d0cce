// One datagram as the server handles it, without sockets, and the report
// that brings what the server did into the list once a second.
#include <gtest/gtest.h>

#include <cstdlib>

#include "logic/bootp_report.h"
#include "logic/list_rows.h"
#include "net/bootp_request.h"
#include "tests/support/bootp_test_support.h"

namespace plinth {
namespace {

using namespace test;
BootpVerdict Verdict(BootpTables& tables, const MacAddress& mac, uint32_t ciaddr = 0) {
  return HandleBootpRequest(MakeBootpRequest(mac, 1, ciaddr), tables, "h", 0).verdict;
}

TEST(BootpRequest, ReplyIsTheRequestWithOpYiaddrSiaddrAndSnameMalformedOnesIgnoredUnknownOnesRecorded) {
  RecordedMessages messages;
  BootpTables tables;
  AddBootpEntry(tables, Mac(1), "10.0.0.9", messages);
  AddBootpEntry(tables, Mac(2), "10.0.0.20", messages);
  // Every byte differs, so that a field copied or moved shows.
  BootpMessage request;
  for (size_t i = 0; i < request.size(); ++i) request[i] = static_cast<uint8_t>(i * 7 + 3);
  request[0] = request[1] = 1, request[2] = 6;
  std::ranges::copy(Mac(2), request.begin() + kBootpChaddr);

  for (const std::string& host : {std::string("plinth-host"), std::string(80, 'h')}) {
    BootpMessage expected = request;
    std::fill(expected.begin() + 16, expected.begin() + 24, 0);  // op 2, yiaddr 10.0.0.20, siaddr 0
    expected[0] = 2, expected[16] = 10, expected[19] = 20;
    std::fill(expected.begin() + 44, expected.begin() + 108, 0);
    std::copy_n(host.begin(), std::min<size_t>(host.size(), 63), expected.begin() + 44);
    const BootpHandling h = HandleBootpRequest(request, tables, host, 0);
    EXPECT_TRUE(h.verdict == BootpVerdict::kReply && h.entry == 1);
    for (size_t i = 0; i < kBootpMessageSize; ++i) EXPECT_EQ(h.reply[i], expected[i]) << "byte " << i;
  }
  // Malformed datagrams are ignored, from registered and unknown modules.
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
  // Handling sends nothing: the assigned flag waits for the send.
  EXPECT_EQ(tables.table[0].assigned.load() + tables.table[1].assigned.load() + tables.requests[0].used.load(), 0);
  EXPECT_TRUE(messages.entries.empty());

  // Unknown requesters are recorded once, until the table is full.
  RemoveBootpEntry(tables, "10.0.0.9");
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
  // The walk compares each entry's MAC address first: an all-zero one matches
  // the first free entry and is never recorded; a withdrawn entry answers it not.
  EXPECT_EQ(Verdict(tables, MacAddress{}), BootpVerdict::kAlreadyRecorded);
  EXPECT_EQ(tables.requests[3].used.load(), 0);

  for (int i = 3; i < BootpTables::kSize; ++i)
    ASSERT_EQ(Verdict(tables, MacAddress{2, 0, 0, 0, 0, static_cast<uint8_t>(i)}), BootpVerdict::kRecorded);
  EXPECT_EQ(Verdict(tables, Mac(1)), BootpVerdict::kDropped);
  EXPECT_EQ(Verdict(tables, MacAddress{2, 0, 0, 0, 0, 255}), BootpVerdict::kAlreadyRecorded);
}

using Rows = std::vector<int>;

struct Window {
  NetState net;
  DataList dataList;
  RecordedMessages messages;
  ListRows rows{dataList, messages, &net.bootp};
  std::time_t now = 1000;
  AssignmentReporter reporter{net, dataList, rows, messages, [this] { return now; }};
  BootpReportFields fields;

  BootpReportResult Tick() { return reporter.Tick(fields); }
  // A slave added by the user, shown (and so registered when it has an address).
  void AddRow(const char* macText, const char* ipText) {
    auto record = std::make_unique<SlaveRecord>();
    record->macAddress = macText, record->ipAddress = ipText;
    dataList.Append(std::move(record));
    rows.RenderAll();
  }
  // One datagram as the server handles it, the reply counted as sent.
  BootpVerdict Request(const MacAddress& mac, uint32_t ciaddr, uint32_t testAddress = 0) {
    const BootpHandling h = HandleBootpRequest(MakeBootpRequest(mac, 1, ciaddr), net.bootp, "host", testAddress);
    if (h.verdict == BootpVerdict::kReply) MarkBootpAssigned(net.bootp, h.entry, h.mac);
    return h.verdict;
  }
};

TEST(ReportAssignments, AssignedAppendedRefusedWhenFullAndTheFieldsThatFollow) {
  Window w;
  w.AddRow("000a1b2c3d01", "10.0.0.5");
  AddBootpEntry(w.net.bootp, Mac(9), "10.0.0.9", w.messages);  // connect flow, no row yet
  EXPECT_EQ(w.Request(Mac(1), 0), BootpVerdict::kReply);
  EXPECT_EQ(w.Request(Mac(9), 0), BootpVerdict::kReply);
  EXPECT_EQ(w.Tick().assignedRows, Rows{0});
  w.Tick();
  EXPECT_EQ(Texts(w.messages), std::vector<std::string>{"internal error: listEntry not found!"});
  // Once the row exists, the mark lands there, once.
  w.AddRow("000a1b2c3d09", "");
  EXPECT_EQ(w.Tick().assignedRows, Rows{1});
  EXPECT_EQ(w.rows.Texts().at(1).at(1), "assigned");
  EXPECT_TRUE(w.Tick().assignedRows.empty());
  EXPECT_EQ(w.messages.entries.size(), 1u);

  // Unknown requesters are appended with the test address from the environment; appends wait for the lock, marks not.
  setenv("VARNEL_TESTIPADDR", "not an address", 1);
  EXPECT_EQ(ProgramBootpOptions().testAddress, 0u);
  setenv("VARNEL_TESTIPADDR", "10.20.30.40", 1);
  const uint32_t testAddress = ProgramBootpOptions().testAddress;
  unsetenv("VARNEL_TESTIPADDR");
  w.Request(Mac(20), Ip("192.168.1.7"), testAddress);
  w.Request(Mac(21), 0, testAddress);
  w.AddRow("000a1b2c3d02", "10.0.0.6");
  w.Request(Mac(2), 0);
  ASSERT_TRUE(w.net.slaveLock.Acquire());  // a modal Edit dialog is open
  BootpReportResult r = w.Tick();
  EXPECT_TRUE(r.appendsDeferred && r.appendedRows.empty());
  EXPECT_EQ(r.assignedRows, Rows{2});
  w.net.slaveLock.Release();
  EXPECT_EQ(w.Tick().appendedRows, (Rows{3, 4}));
  EXPECT_EQ(w.dataList.At(4)->mac, Mac(21));
  EXPECT_EQ(w.rows.Texts().at(3).at(2) + " " + w.rows.Texts().at(4).at(2), "10.20.30.40 10.20.30.40");
  EXPECT_TRUE(w.net.slaveLock.IsFree());
  EXPECT_TRUE(w.Tick().appendedRows.empty());

  // A full list refuses a newcomer once per server run; a freed slot takes it.
  for (int i = w.dataList.Count(); i < DataList::kCapacity; ++i) w.dataList.Append(std::make_unique<SlaveRecord>());
  w.rows.RenderAll();
  w.Request(Mac(30), 0);
  w.Tick();
  w.Tick();
  EXPECT_EQ(Texts(w.messages).back() + " " + std::to_string(w.messages.entries.size()), "dataList full 2");
  w.reporter.NewServerRun();
  w.Tick();
  EXPECT_EQ(w.messages.entries.size(), 3u);
  w.dataList.TakeLast();
  w.Tick();
  EXPECT_EQ(w.dataList.At(DataList::kCapacity - 1)->mac, Mac(30));

  // The scan's address field follows the cursor while the scan is on. {scan on, cursor, text before, text after}
  for (auto [on, cursor, before, after] : {std::tuple{false, 77, "192.168.1.1", "192.168.1.1"},
                                           {true, 77, "192.168.1.1", "192.168.1.77"}, {true, 0, "10.0.0.5", "10.0.0.5"}}) {
    w.fields.scanButtonChecked = on, w.net.scanCursor = cursor, w.fields.scanAddressText = before;
    w.Tick();
    EXPECT_EQ(w.fields.scanAddressText, after);
  }
  // The window test steps the indicator and sees it go; a clock set back still steps it.
  EXPECT_EQ(BootpIndicator(true, 998, 1000), "<<<< ? >>>>");
}

}  // namespace
}  // namespace plinth
