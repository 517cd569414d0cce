// The plant check's threads against simulated modules on loopback: what a module that accepts and never answers
// costs, one look per address, the bound on modules in flight, and Cancel.
#include "logic/plant_check.h"
#include <gtest/gtest.h>
#include "net/modbus_client.h"
#include "tests/support/scan_test_support.h"

namespace plinth {
namespace {
using namespace std::chrono_literals;
using test::ScanModule;
using test::ScanText;

SlaveRecord Slave(const std::string& node, const std::string& ip) {
  SlaveRecord r;
  r.node = node, r.ipAddress = ip, r.moduleId = "1217", r.inputWords = "16", r.outputWords = "4";
  return r;
}

// Rows 1 and 2 share module 2's address, row 3's module accepts and never answers. Then twelve modules that accept
// nothing, four at a time, and Cancel while connects and a read wait.
TEST(PlantCheck, SilentModuleCostsAtMostTheClientBoundsSharedAddressOneLookAtMostParallelInFlightCancelEndsAll) {
  const uint16_t port = test::UnusedPort();
  std::vector<SimModuleConfig> modules{ScanModule(7, 2, port), ScanModule(7, 3, port, 1217, FaultMode::kNeverAnswer)};
  for (int h = 10; h < 22; ++h) modules.push_back(ScanModule(7, h, port, 1217, FaultMode::kNoAccept));
  test::RunningSim sim(modules);
  ASSERT_TRUE(sim.Opened()) << sim.Error();

  PlantCheckOptions options;
  options.port = port;
  PlantCheck check({Slave("2", ScanText(7, 2)), Slave("12", ScanText(7, 2)), Slave("3", ScanText(7, 3))},
                   ScanText(7, 1), options);
  ASSERT_TRUE(check.Start());
  ASSERT_TRUE(check.WaitUntilDone(10s));
  const CheckReport report = check.Report();
  EXPECT_EQ(report.slaves[0].ResultText() + "|" + report.slaves[1].ResultText() + "|" + report.slaves[2].ResultText(),
            "match|match|no status (status block: no answer within 2000 ms)");
  EXPECT_LT(report.record.durationMs, kConnectTimeoutMs + 2 * kReplyTimeoutMs);  // no statistics read after silence
  EXPECT_EQ(std::to_string(sim.Module(0).MostConnections()) + " " + std::to_string(sim.Module(0).RequestsAnswered()),
            "1 2");  // one connection, the status block and the statistics once for both rows
  EXPECT_EQ(check.Done(), 2);

  std::vector<SlaveRecord> silent{Slave("3", ScanText(7, 3))};
  for (int h = 10; h < 22; ++h) silent.push_back(Slave(std::to_string(h), ScanText(7, h)));
  options.parallel = 4;
  PlantCheck cancelled(silent, ScanText(7, 1), options);
  ASSERT_TRUE(cancelled.Start());
  EXPECT_FALSE(cancelled.WaitUntilDone(1200ms));  // one connect bound: four looks ended, four more under way
  EXPECT_LE(cancelled.Done(), 5);
  const auto cancelledAt = std::chrono::steady_clock::now();
  cancelled.Cancel();
  EXPECT_TRUE(cancelled.WaitUntilDone(1s));
  EXPECT_LT(std::chrono::steady_clock::now() - cancelledAt, 1s);
  EXPECT_TRUE(cancelled.Cancelled());
  EXPECT_LT(cancelled.Done(), 13);
}

}  // namespace
}  // namespace plinth
