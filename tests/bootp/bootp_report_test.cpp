#include "net/bootp_report.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "bootp_test_support.h"
#include "net/bootp_request.h"
#include "net/bootp_rows.h"
#include "net/bootp_server.h"

namespace plinth {
namespace {

using test::Ip;
using test::Mac;

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
    record->macAddress = macText;
    record->ipAddress = ipText;
    dataList.Append(std::move(record));
    rows.RenderAll();
  }
  // One datagram as the server handles it, the reply counted as sent.
  BootpVerdict Request(const MacAddress& mac, uint32_t ciaddr, uint32_t testAddress = 0) {
    const BootpHandling h = HandleBootpRequest(MakeBootpRequest(mac, 1, ciaddr), net.bootp, "host", testAddress);
    if (h.verdict == BootpVerdict::kReply) MarkBootpAssigned(net.bootp, h.entry);
    return h.verdict;
  }
};

TEST(ReportAssignments, RoadOfOneUnknownModule) {
  Window w;
  // 1: unknown module asks with a client address.
  EXPECT_EQ(w.Request(Mac(7), Ip("192.168.1.7")), BootpVerdict::kRecorded);
  // 2: the next tick makes a "bootp" row, and showing it registers the module.
  BootpReportResult r = w.Tick();
  ASSERT_EQ(r.appendedRows, std::vector<int>{0});
  ASSERT_EQ(w.dataList.Count(), 1);
  EXPECT_EQ(w.rows.Texts()[0][1], "bootp");
  EXPECT_EQ(w.rows.Texts()[0][2], "192.168.1.7");
  EXPECT_EQ(w.rows.Texts()[0][3], "000a1b2c3d07");
  EXPECT_EQ(w.net.bootp.table[0].ipAddress.load(), Ip("192.168.1.7"));
  EXPECT_FALSE(w.dataList.At(0)->bootpAssigned);
  // Nothing new: nothing changes.
  r = w.Tick();
  EXPECT_TRUE(r.appendedRows.empty());
  EXPECT_TRUE(r.assignedRows.empty());
  // 5: it asks again, is answered, and the row turns "assigned", once.
  EXPECT_EQ(w.Request(Mac(7), 0), BootpVerdict::kReply);
  r = w.Tick();
  EXPECT_EQ(r.assignedRows, std::vector<int>{0});
  EXPECT_EQ(w.rows.Texts()[0][1], "assigned");
  EXPECT_TRUE(w.dataList.At(0)->bootpAssigned);
  EXPECT_TRUE(w.Tick().assignedRows.empty());
  EXPECT_EQ(w.dataList.Count(), 1);
  EXPECT_TRUE(w.messages.entries.empty());
}

TEST(ReportAssignments, RequesterWithoutAddressGetsARowButNoRegistration) {
  Window w;
  w.Request(Mac(3), 0);
  w.Tick();
  ASSERT_EQ(w.dataList.Count(), 1);
  EXPECT_EQ(w.rows.Texts()[0][2], "");
  EXPECT_EQ(w.net.bootp.table[0].valid.load(), 0);
  EXPECT_EQ(w.Request(Mac(3), 0), BootpVerdict::kAlreadyRecorded);
  w.Tick();
  EXPECT_EQ(w.dataList.Count(), 1);
}

TEST(ReportAssignments, TestAddressFromTheEnvironmentGoesToEveryUnknownRow) {
  setenv("VARNEL_TESTIPADDR", "10.20.30.40", 1);
  const uint32_t testAddress = ProgramBootpOptions().testAddress;
  setenv("VARNEL_TESTIPADDR", "not an address", 1);
  EXPECT_EQ(ProgramBootpOptions().testAddress, 0u);
  unsetenv("VARNEL_TESTIPADDR");
  EXPECT_EQ(ProgramBootpOptions().testAddress, 0u);
  ASSERT_EQ(testAddress, Ip("10.20.30.40"));

  Window w;
  w.Request(Mac(1), Ip("192.168.1.7"), testAddress);
  w.Request(Mac(2), 0, testAddress);
  w.Tick();
  ASSERT_EQ(w.rows.Texts().size(), 2u);
  EXPECT_EQ(w.rows.Texts()[0][2], "10.20.30.40");
  EXPECT_EQ(w.rows.Texts()[1][2], "10.20.30.40");
}

TEST(ReportAssignments, RegisteredSlaveTurnsAssignedAndMissingRowIsReportedOnce) {
  Window w;
  w.AddRow("000a1b2c3d01", "10.0.0.5");
  AddBootpEntry(w.net.bootp, Mac(9), "10.0.0.9", w.messages);  // connect flow, no row yet
  EXPECT_EQ(w.Request(Mac(1), 0), BootpVerdict::kReply);
  EXPECT_EQ(w.Request(Mac(9), 0), BootpVerdict::kReply);
  BootpReportResult r = w.Tick();
  EXPECT_EQ(r.assignedRows, std::vector<int>{0});
  EXPECT_EQ(w.rows.Texts()[0][1], "assigned");
  ASSERT_EQ(w.messages.entries.size(), 1u);
  EXPECT_EQ(w.messages.entries[0].text, "internal error: listEntry not found!");
  w.Tick();
  EXPECT_EQ(w.messages.entries.size(), 1u);
  // Once the row exists, the mark lands there.
  w.AddRow("000a1b2c3d09", "");
  r = w.Tick();
  EXPECT_EQ(r.assignedRows, std::vector<int>{1});
  w.Tick();
  EXPECT_EQ(w.messages.entries.size(), 1u);
}

TEST(ReportAssignments, AppendsWaitWhileACommandHoldsTheLockButMarksDoNot) {
  Window w;
  w.AddRow("000a1b2c3d01", "10.0.0.5");
  w.Request(Mac(1), 0);
  w.Request(Mac(20), 0);
  w.Request(Mac(21), 0);
  ASSERT_TRUE(w.net.slaveLock.Acquire());  // a modal Edit dialog is open
  BootpReportResult r = w.Tick();
  EXPECT_TRUE(r.appendsDeferred);
  EXPECT_TRUE(r.appendedRows.empty());
  EXPECT_EQ(r.assignedRows, std::vector<int>{0});
  EXPECT_EQ(w.dataList.Count(), 1);
  w.net.slaveLock.Release();
  r = w.Tick();
  EXPECT_EQ(r.appendedRows, (std::vector<int>{1, 2}));
  EXPECT_EQ(w.dataList.At(1)->mac, Mac(20));
  EXPECT_EQ(w.dataList.At(2)->mac, Mac(21));
  EXPECT_TRUE(w.net.slaveLock.IsFree());
  EXPECT_TRUE(w.Tick().appendedRows.empty());
}

TEST(ReportAssignments, FullListRefusesOncePerRunAndKeepsTheRequest) {
  Window w;
  for (int i = 0; i < DataList::kCapacity; ++i) w.dataList.Append(std::make_unique<SlaveRecord>());
  w.rows.RenderAll();
  w.Request(Mac(1), 0);
  w.Request(Mac(2), 0);
  w.Tick();
  w.Tick();
  ASSERT_EQ(w.messages.entries.size(), 1u);
  EXPECT_EQ(w.messages.entries[0].text, "dataList full");
  w.reporter.NewServerRun();
  w.Tick();
  EXPECT_EQ(w.messages.entries.size(), 2u);
  // A freed slot takes the waiting request.
  w.dataList.TakeLast();
  BootpReportResult r = w.Tick();
  EXPECT_EQ(w.dataList.At(DataList::kCapacity - 1)->mac, Mac(1));
  EXPECT_EQ(w.dataList.Count(), DataList::kCapacity);
  EXPECT_EQ(w.messages.entries.size(), 2u);
}

TEST(ReportAssignments, IndicatorStepsOncePerSecondAndScanAddressFollowsTheCursor) {
  Window w;
  w.fields.bootpStartTime = 1000;
  w.Tick();
  EXPECT_EQ(w.fields.bootpIndicatorText, "");
  w.fields.bootpButtonChecked = true;
  w.now = 1010;
  w.Tick();
  EXPECT_EQ(w.fields.bootpIndicatorText, "< ? >");
  w.now = 1012;
  w.Tick();
  EXPECT_EQ(w.fields.bootpIndicatorText, "<<< ? >>>");
  w.now = 1014;
  w.Tick();
  EXPECT_EQ(w.fields.bootpIndicatorText, "<<<<< ? >>>>>");
  EXPECT_EQ(BootpIndicator(true, 998, 1000), "<<<< ? >>>>");  // clock set back
  w.fields.bootpButtonChecked = false;
  w.Tick();
  EXPECT_EQ(w.fields.bootpIndicatorText, "");

  w.fields.scanAddressText = "192.168.1.1";
  w.Tick();
  EXPECT_EQ(w.fields.scanAddressText, "192.168.1.1");  // scan off: untouched
  w.fields.scanButtonChecked = true;
  w.net.scanCursor = 0;
  w.Tick();
  EXPECT_EQ(w.fields.scanAddressText, "192.168.1.1");
  w.net.scanCursor = 77;
  w.Tick();
  EXPECT_EQ(w.fields.scanAddressText, "192.168.1.77");
  w.fields.scanAddressText = "junk";
  w.Tick();
  EXPECT_EQ(w.fields.scanAddressText, "0.0.0.77");
}

}  // namespace
}  // namespace plinth
