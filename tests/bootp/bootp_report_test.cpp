#include "net/bootp_report.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "bootp_test_support.h"
#include "net/bootp_request.h"
#include "net/bootp_rows.h"

namespace plinth {
namespace {

using test::Ip;
using test::Mac;
using test::Texts;
using Rows = std::vector<int>;

struct Window {
  NetState net;
  DataList dataList;
  RecordedMessages messages;
  RenderedRows rows{dataList, net.bootp, messages};
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
    if (h.verdict == BootpVerdict::kReply) MarkBootpAssigned(net.bootp, h.entry);
    return h.verdict;
  }
  std::string Text(int row, int column) const { return rows.Texts().at(size_t(row)).at(size_t(column)); }
};

TEST(ReportAssignments, RegisteredSlaveTurnsAssignedAndMissingRowIsReportedOnce) {
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
  EXPECT_EQ(w.Text(1, 1), "assigned");
  EXPECT_TRUE(w.Tick().assignedRows.empty());
  EXPECT_EQ(w.messages.entries.size(), 1u);

  // Unknown requesters are appended, given the test address from the
  // environment; appends wait while a command holds the lock, marks do not.
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
  EXPECT_EQ(w.Text(3, 2) + " " + w.Text(4, 2), "10.20.30.40 10.20.30.40");
  EXPECT_TRUE(w.net.slaveLock.IsFree());
  EXPECT_TRUE(w.Tick().appendedRows.empty());
}

TEST(ReportAssignments, FullListRefusesOncePerRunAndKeepsTheRequest) {
  Window w;
  for (int i = 0; i < DataList::kCapacity; ++i) w.dataList.Append(std::make_unique<SlaveRecord>());
  w.rows.RenderAll();
  w.Request(Mac(1), 0);
  w.Tick();
  w.Tick();
  EXPECT_EQ(Texts(w.messages), std::vector<std::string>{"dataList full"});
  w.reporter.NewServerRun();
  w.Tick();
  EXPECT_EQ(w.messages.entries.size(), 2u);
  w.dataList.TakeLast();  // a freed slot takes the waiting request
  w.Tick();
  EXPECT_EQ(w.dataList.At(DataList::kCapacity - 1)->mac, Mac(1));
}

TEST(ReportAssignments, ScanAddressFollowsTheCursorAndTheIndicatorTheClock) {
  Window w;
  // {scan on, cursor, text before, text after}
  for (auto [on, cursor, before, after] : {std::tuple{false, 77, "192.168.1.1", "192.168.1.1"},
                                           {true, 77, "192.168.1.1", "192.168.1.77"}, {true, 0, "10.0.0.5", "10.0.0.5"}}) {
    w.fields.scanButtonChecked = on, w.net.scanCursor = cursor, w.fields.scanAddressText = before;
    w.Tick();
    EXPECT_EQ(w.fields.scanAddressText, after);
  }
  // The window test steps the indicator; here the edges of its arithmetic.
  EXPECT_EQ(BootpIndicator(true, 1014, 1000), "<<<<< ? >>>>>");
  EXPECT_EQ(BootpIndicator(true, 998, 1000), "<<<< ? >>>>");  // clock set back
  EXPECT_EQ(BootpIndicator(false, 1014, 1000), "");
}

}  // namespace
}  // namespace plinth
