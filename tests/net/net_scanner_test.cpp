// The network scan and the connect worker against simulated modules on loopback.
#include "net/net_scanner.h"
#include <gtest/gtest.h>
#include <future>
#include "logic/list_rows.h"
#include "net/connect_worker.h"
#include "tests/support/bootp_test_support.h"
#include "tests/support/scan_test_support.h"

namespace plinth {
namespace {
using namespace std::chrono_literals;
using test::ScanModule;
using test::ScanText;

// A scan and its list, run as the window's thread runs it until it stops; Run: how often "dataList full" was due.
struct Scan {
  Scan(uint16_t port, std::chrono::milliseconds pace, int rounds, int filled = 0)
      : scanner(net, messages, {port, kConnectTimeoutMs, pace, rounds}, &seen) {
    for (int i = 0; i < filled; ++i) list.Append(std::make_unique<SlaveRecord>());
    rows.RenderAll();
  }
  int Run(const std::string& start, const std::function<void()>& tick = [] {}) {
    scanner.Start(start);
    int notices = 0;
    for (bool idle = false; !idle; notices += scanner.TakeFullNotice()) {
      idle = scanner.WaitUntilIdle(20ms);
      tick();
      net.rowChanges.Apply(rows, true);
    }
    return notices;
  }
  NetState net;
  RecordedMessages messages;
  ScanLog seen;
  DataList list;
  ListRows rows{list, messages};
  NetScanner scanner;
};

// One round at the real pace beside a BOOTP burst, rows edited under slaveLock and four short-paced scans
// (for ThreadSanitizer). Net 1: host 20 never answers, 21 closes at once, 30 never completes a connect (its
// listener's one queue place taken), the others refuse. Nets 2 and 3 answer but for the master: a scan stops
// after one round (nothing pending); a second round refreshes rows; one free slot: "dataList full" once.
TEST(NetScanner, OneRoundInOrderAtThePaceBesideBootpPendingCountRefreshFullListAndCancelledConnect) {
  const uint16_t port = test::UnusedPort();
  std::vector<SimModuleConfig> modules{ScanModule(1, 10, port), ScanModule(1, 3, port, 4578), ScanModule(1, 200, port, 1218),
                                       ScanModule(1, 20, port, 1217, FaultMode::kNeverAnswer),
                                       ScanModule(1, 21, port, 1217, FaultMode::kCloseOnAccept), ScanModule(3, 11, port),
                                       ScanModule(3, 12, port), ScanModule(2, 5, port, 1217, FaultMode::kCloseOnAccept)};
  for (int h = 1; h <= 254; ++h)
    if (h != 5 && h != 10) modules.push_back(ScanModule(2, h, port));
  test::RunningSim sim(modules);
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  test::SocketGuard listener(::socket(AF_INET, SOCK_STREAM, 0));
  sockaddr_in at{AF_INET, htons(port), {test::ScanHost(1, 30)}, {}};
  ASSERT_EQ(::bind(listener.fd, reinterpret_cast<sockaddr*>(&at), sizeof at) | ::listen(listener.fd, 0), 0);
  test::SocketGuard queued(ConnectTcp(at.sin_addr.s_addr, port));
  ConnectWorker silent(OpenTcpSocket(), test::ScanHost(1, 30), port, 60000);
  ASSERT_TRUE(silent.Start());
  Scan scan(port, 50ms, 1), all(port, 5ms, 2), twice(port, 5ms, 2), full(port, 5ms, 2, 299), broadcast(port, 5ms, 1);
  auto run = [](Scan& s, int net, int host = 10) {
    return std::async(std::launch::async, [&s, net, host] { return s.Run(ScanText(net, host)); });
  };
  auto a = run(all, 2), t = run(twice, 3), f = run(full, 3), b = run(broadcast, 3, 255);
  test::LoopbackModule requester;
  UdpThread bootp(scan.net, scan.messages, test::LoopbackOptions(requester.port));
  ASSERT_TRUE(bootp.SwitchOn() && bootp.WaitUntilBound(2s));
  std::thread burst([&] {
    for (uint8_t i = 0; i < 200; ++i) requester.Send(bootp.BoundPort(), MakeBootpRequest(test::Mac(i), i, 0));
  });
  EXPECT_EQ(scan.Run(ScanText(1, 10), [&] {
    ASSERT_TRUE(scan.net.slaveLock.Acquire());
    if (scan.list.Count() > 0) scan.list.At(0)->name = "edited";
    scan.net.slaveLock.Release();
  }), 0);
  burst.join();
  EXPECT_TRUE(test::WaitUntil([&] { return scan.net.bootp.requests[199].used.load() == 1; }));
  ShutdownBootpServer(bootp, scan.messages);
  // Hosts 10 to 254, then 1 to 9, each once, no two starts closer than 50 ms.
  std::vector<int> hosts, expected;
  const auto starts = scan.seen.Starts();
  for (size_t i = 0; i < starts.size(); hosts.push_back(starts[i++].host))
    EXPECT_TRUE(i == 0 || starts[i].time - starts[i - 1].time >= 50ms) << starts[i].host;
  for (int h = 0; h < 254; ++h) expected.push_back((h + 9) % 254 + 1);
  EXPECT_EQ(hosts, expected);
  std::string found;  // one row for each module that answers
  for (const auto& [host, r] : scan.seen.Found())
    found += r.node + " " + r.ipAddress + " " + r.macAddress + " " + r.moduleId + " " + r.inputWords + "/" + r.outputWords + ";";
  EXPECT_EQ(found, "3 " + ScanText(1, 3) + " 0050c2000003 4578 16/16;10 " + ScanText(1, 10) + " 0050c200000a 1217 16/4;200 " +
                       ScanText(1, 200) + " 0050c20000c8 1218 4/4;");
  EXPECT_TRUE(scan.list.Count() == 3 && scan.messages.entries.empty());
  EXPECT_EQ(a.get() + t.get() * 10 + f.get() * 100 + b.get(), 100);
  EXPECT_EQ(broadcast.seen.Starts().front().host, 1);
  EXPECT_LT(all.seen.Starts().size(), 300u);  // two rounds: 508
  EXPECT_EQ(std::to_string(all.list.Count()) + " " + std::to_string(twice.seen.Readings()) + " " +
                std::to_string(twice.list.Count()) + " " + std::to_string(full.rows.Texts().size()), "252 4 2 300");
  EXPECT_EQ(full.rows.Texts()[299][1], "ok");  // whichever module came first
  EXPECT_EQ(silent.connecting.load(), 1);  // "Connect to module" at host 30: Cancel ends the wait
  silent.Cancel();
  EXPECT_TRUE(test::WaitUntil([&] { return silent.connecting.load() == 0; }));
  silent.Join();
  EXPECT_TRUE(silent.connected.load() == 0 && silent.TakeSocket() == -1);
}
}  // namespace
}  // namespace plinth
