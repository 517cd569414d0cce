// The network scan against simulated modules on loopback.
#include "net/net_scanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>

#include "../bootp/bootp_test_support.h"
#include "app/list_rows.h"
#include "net/bootp_report.h"
#include "scan_test_support.h"

namespace plinth {
namespace {

using namespace std::chrono_literals;
using test::ScanModule;

// Scans as the window's thread sees it, until the scan has stopped itself;
// returns how often "dataList full" was due.
int ScanToTheEnd(NetScanner& scanner, NetState& net, SlaveRows& rows, const std::function<void()>& tick = {}) {
  int fullNotices = 0;
  for (bool idle = false; !idle;) {
    idle = scanner.WaitUntilIdle(20ms);
    if (tick) tick();
    net.rowChanges.Apply(rows, true);
    fullNotices += scanner.TakeFullNotice();
  }
  return fullNotices;
}

struct BootpRowsOf : BootpRows {
  explicit BootpRowsOf(ListRows& r) : rows(r) {}
  void RenderRow(int row) override { rows.RenderRow(row, nullptr); }
  ListRows& rows;
};

// One round at the real pace, beside a BOOTP burst served into the same list
// and a row edited under slaveLock (the ThreadSanitizer run looks at this).
TEST(NetScanner, OneRoundInOrderAtThePaceBesideBootp) {
  const uint16_t port = test::UnusedPort();
  test::RunningSim sim({ScanModule(1, 10, port, 1217), ScanModule(1, 3, port, 4578), ScanModule(1, 11, port, 1218),
                        [&] { auto m = ScanModule(1, 200, port, 777); m.inputWords = 5, m.outputWords = 7; return m; }(),
                        ScanModule(1, 20, port, 1217, FaultMode::kNeverAnswer),
                        ScanModule(1, 21, port, 1217, FaultMode::kCloseOnAccept)});
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  test::UnansweredHost silent(test::ScanHost(1, 30), port);
  NetState net;
  RecordedMessages messages;
  test::ScanRecorder seen;
  NetScanner scanner(net, messages, {port, kConnectTimeoutMs, 50ms, 1}, &seen);
  test::LoopbackModule requester;
  UdpThread bootp(net, messages, test::LoopbackOptions(requester.port));
  ASSERT_TRUE(bootp.SwitchOn() && bootp.WaitUntilBound(2s));
  DataList list;
  ListRows rows(list, messages);
  BootpRowsOf bootpRows(rows);
  AssignmentReporter reporter(net, list, bootpRows, messages);
  BootpReportFields fields;

  scanner.Start(test::ScanText(1, 10));
  std::thread burst([&] {
    for (uint8_t i = 0; i < 200; ++i) {
      const BootpMessage request = MakeBootpRequest(test::Mac(i), i, 0);
      requester.Send(bootp.BoundPort(), request.data(), request.size());
    }
  });
  EXPECT_EQ(ScanToTheEnd(scanner, net, rows, [&] {
              reporter.Tick(fields);
              ASSERT_TRUE(net.slaveLock.Acquire());
              if (list.Count() > 0) list.At(list.Count() - 1)->name = "edited";
              net.slaveLock.Release();
            }),
            0);
  burst.join();
  ASSERT_TRUE(test::WaitUntil([&] { return net.bootp.requests[199].used.load() == 1; }));
  reporter.Tick(fields);
  ShutdownBootpServer(bootp, messages);

  // Hosts 10 to 254, then 1 to 9, each once, no two starts closer than 50 ms.
  std::vector<int> hosts, expected;
  const auto starts = seen.Get(&test::ScanRecorder::starts);
  for (size_t i = 0; i < starts.size(); ++i) {
    hosts.push_back(starts[i].first);
    if (i > 0) {
      EXPECT_GE(starts[i].second - starts[i - 1].second, 50ms) << "before host " << starts[i].first;
    }
  }
  for (int h = 0; h < 254; ++h) expected.push_back((h + 9) % 254 + 1);
  EXPECT_EQ(hosts, expected);
  // The modules that answer, with what their status block and statistics
  // say; the one that never answers, the one that closes and the host that
  // never accepts make no row. One row each, among the 200 "bootp" rows.
  auto found = seen.Get(&test::ScanRecorder::found);
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::string>{"10 " + test::ScanText(1, 10) + " 0050c200000a 1217 16/4",
                                             "11 " + test::ScanText(1, 11) + " 0050c200000b 1218 4/4",
                                             "200 " + test::ScanText(1, 200) + " 0050c20000c8 777 5/7",
                                             "3 " + test::ScanText(1, 3) + " 0050c2000003 4578 16/16"}));
  EXPECT_EQ(list.Count(), 204);
  EXPECT_EQ(std::count_if(rows.Texts().begin(), rows.Texts().end(), [](auto& t) { return t[1] == "ok"; }), 4);
  EXPECT_TRUE(messages.entries.empty());
}

// At a short pace, three scans at once: one where every host but the
// master's own answers (or accepts and closes), which stops by itself after
// one round because hosts 0, 255 and the master's are never pending; one of
// two rounds, where the second refreshes the rows of the first; one into a
// list with one free slot, which says "dataList full" once.
TEST(NetScanner, PendingCountRefreshAndFullList) {
  const uint16_t port = test::UnusedPort();
  std::vector<SimModuleConfig> modules{ScanModule(3, 11, port, 1218), ScanModule(3, 12, port, 1218),
                                       ScanModule(2, 5, port, 1217, FaultMode::kCloseOnAccept)};
  for (int h = 1; h <= 254; ++h)
    if (h != 5 && h != 10) modules.push_back(ScanModule(2, h, port, 1217));
  test::RunningSim sim(modules);
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  struct Scan {
    Scan(uint16_t port, int filled, const std::string& start)
        : scanner(net, messages, {port, kConnectTimeoutMs, 5ms, 2}, &seen) {
      for (int i = 0; i < filled; ++i) list.Append(std::make_unique<SlaveRecord>());
      rows.RenderAll();
      scanner.Start(start);
      notices = std::async(std::launch::async, [this] { return ScanToTheEnd(scanner, net, rows); });
    }
    NetState net;
    RecordedMessages messages;
    test::ScanRecorder seen;
    DataList list;
    ListRows rows{list, messages};
    NetScanner scanner;
    std::future<int> notices;
  };
  Scan all(port, 0, test::ScanText(2, 10)), twice(port, 0, test::ScanText(3, 10)), full(port, 299, test::ScanText(3, 10));
  EXPECT_EQ(all.notices.get() + twice.notices.get(), 0);
  EXPECT_EQ(full.notices.get(), 1);

  EXPECT_LT(all.seen.Get(&test::ScanRecorder::starts).size(), 300u);  // two rounds would be 508
  EXPECT_EQ(all.list.Count(), 252);
  EXPECT_EQ(twice.seen.Get(&test::ScanRecorder::found).size(), 4u);
  EXPECT_EQ(twice.list.Count(), 2);
  EXPECT_EQ(full.list.Count(), 300);
  EXPECT_EQ(full.list.At(299)->ipAddress, test::ScanText(3, 11));
  EXPECT_EQ(full.rows.Texts()[299][1], "ok");
}

}  // namespace
}  // namespace plinth
