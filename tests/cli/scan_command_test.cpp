// plinthctl scan against simulated modules on a loopback /24 of this process, at a fast pace.
#include "cli/scan_command.h"
#include <gtest/gtest.h>
#include <unistd.h>
#include <nlohmann/json.hpp>
#include "tests/support/config_fixtures.h"
#include "tests/support/interrupt.h"
#include "tests/support/scan_test_support.h"

namespace plinth {
namespace {
using namespace std::chrono_literals;
using test::ScanText;

constexpr int kNet = 7;

struct ScanRun {
  int status;
  std::string out, err;
};

ScanRun RunScan(const ScanCommandOptions& options) {
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  const int status = ScanCommand(options);
  return {status, ::testing::internal::GetCapturedStdout(), ::testing::internal::GetCapturedStderr()};
}

ScanCommandOptions Options(uint16_t port, std::string config = "", std::optional<std::string> output = {}) {
  ScanCommandOptions o;
  o.masterAddress = ScanText(kNet, 1), o.port = port, o.json = true, o.configPath = std::move(config);
  o.outputPath = std::move(output), o.probeInterval = 2ms;
  return o;
}

void WriteConfig(const std::string& path, std::vector<std::unique_ptr<SlaveRecord>> slaves) {
  Configuration config;
  config.master.masterIpText = ScanText(kNet, 1);
  for (auto& r : slaves) config.dataList.Append(std::move(r));
  RecordedMessages messages;
  ASSERT_TRUE(WriteConfiguration(path, config, messages));
}

// An output file that is there is neither replaced without --force nor updated without --config naming it; a
// path that cannot be written is refused. All before the first probe: the module is never asked.
TEST(ScanCommand, RefusesAnOutputItCannotOrMayNotWriteBeforeScanning) {
  const uint16_t port = test::UnusedPort();
  test::RunningSim sim({test::ScanModule(kNet, 11, port)});
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  testing::ScratchDir dir;
  const std::string plant = dir.File("plant.bin"), other = dir.File("other.bin");
  WriteConfig(plant, {});
  WriteConfig(other, {});
  const std::vector<uint8_t> before = testing::ReadAll(plant);
  const std::tuple<ScanCommandOptions, int, std::string> cases[] = {
      {Options(port, "", plant), 2, "scan: " + plant + " is there already: give --config " + plant},
      {Options(port, other, plant), 2, "scan: " + plant + " is there already"},
      {Options(port, "", ""), 2, "scan: -o: the output path is empty\n"},
      {Options(port, "", dir.File("none/x.bin")), 1, "scan: cannot write " + dir.File("none/x.bin") +
                                                        ": No such file or directory\n"},
      {Options(port, "", dir.Path().string()), 2, "scan: -o " + dir.Path().string() + ": is a folder\n"},
  };
  for (const auto& [options, status, message] : cases) {
    const ScanRun run = RunScan(options);
    EXPECT_EQ(std::to_string(run.status) + run.out + run.err.substr(0, message.size()), std::to_string(status) + message);
  }
  EXPECT_EQ(testing::ReadAll(plant), before);
  EXPECT_EQ(sim.Module(0).RequestsAnswered(), 0);
}

// --config and -o of one file: the file is updated. What is printed is what the file holds, with what the module
// reports besides; a module whose node another row has is not stored (nor one for which the list has no slot), and
// two slaves with one MAC address are named: both give status 1. A row's text that is not UTF-8 still gives JSON.
TEST(ScanCommand, PrintsWhatIsStoredAndNamesWhatIsNot) {
  const uint16_t port = test::UnusedPort();
  SimModuleConfig fewer = test::ScanModule(kNet, 11, port, 1218);
  fewer.inputWords = 3;  // the catalogue says 4
  test::RunningSim sim({fewer, test::ScanModule(kNet, 12, port), test::ScanModule(kNet, 13, port)});
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  testing::ScratchDir dir;
  const std::string plant = dir.File("plant.bin");
  std::vector<std::unique_ptr<SlaveRecord>> rows;
  rows.push_back(testing::MakeSlave("12", "", ""));                               // node 12, no address
  rows.push_back(testing::MakeSlave("13", "99", ScanText(kNet, 13), "own \xff"));  // keeps its own ID and name
  rows.push_back(testing::MakeSlave("20", "", ScanText(kNet, 20)));
  rows.back()->mac = sim.Module(0).Mac();                                          // the MAC of host 11
  WriteConfig(plant, std::move(rows));

  const ScanRun run = RunScan(Options(port, plant, plant));
  EXPECT_EQ(run.status, 1);
  const auto doc = nlohmann::json::parse(run.out);
  std::string seen = doc["formatVersion"].dump() + " ";  // slaves, then differences "host field stored reported"
  for (const auto& s : doc["slaves"])
    for (const char* key : {"node", "moduleId", "inputWords", "name"}) seen += s[key].get<std::string>() + " ";
  for (const auto& d : doc["differences"])
    for (const char* key : {"ipAddress", "field", "stored", "reported"}) seen += d[key].get<std::string>() + " ";
  EXPECT_EQ(seen, "1 11 1218 4 482-BFK-287-46 13 99 0 own \xef\xbf\xbd " + ScanText(kNet, 11) + " inputWords 4 3 " +
                      ScanText(kNet, 13) + " macAddress  0050c200000d " + ScanText(kNet, 13) + " moduleId 99 1217 " +
                      ScanText(kNet, 13) + " inputWords 0 16 " + ScanText(kNet, 13) + " outputWords 0 4 ");
  EXPECT_EQ(doc["notStored"][0]["reason"], "node 12 is already used by slave 1 (node 12)");
  EXPECT_EQ(run.err, "not stored: node 12, " + ScanText(kNet, 12) + ", MAC 0050c200000c: node 12 is already used by "
                     "slave 1 (node 12)\nMAC address 0050c200000b is held by slave 3 (node 20) and slave 4 (node 11); "
                     "BOOTP can give an address to one of them only\n");
  Configuration written;
  RecordedMessages messages;
  ASSERT_TRUE(ReadConfiguration(plant, written, messages).ok);
  std::string nodes;
  for (int i = 0; i < written.dataList.Count(); ++i) nodes += written.dataList.At(i)->node + " ";
  EXPECT_EQ(nodes, "12 13 20 11 ");  // the file's rows, and the one module that could join them

  // A full list: the module is named, and the status says so.
  std::vector<std::unique_ptr<SlaveRecord>> full;
  for (int i = 0; i < DataList::kCapacity; ++i) full.push_back(testing::MakeSlave(std::to_string(1000 + i), "", ""));
  WriteConfig(plant, std::move(full));
  ScanCommandOptions table = Options(port, plant, dir.File("full.bin"));
  table.json = false;
  const ScanRun fullRun = RunScan(table);
  EXPECT_EQ(fullRun.status, 1);
  EXPECT_NE(fullRun.err.find("not stored: node 11, " + ScanText(kNet, 11) + ", MAC 0050c200000b: the list holds 300 "
                             "slaves and is full\n"), std::string::npos) << fullRun.err;
  EXPECT_NE(fullRun.out.find("3 modules found, 0 stored\n"), std::string::npos) << fullRun.out;
}

// SIGINT: what was found so far is written to a file that may be written, status 130. A reader that has gone
// away ends the printing only: the file is there and the status is the scan's.
TEST(ScanCommand, InterruptedOrUnreadTheFileIsStillWritten) {
  const uint16_t port = test::UnusedPort();
  test::RunningSim sim({test::ScanModule(kNet, 2, port), test::ScanModule(kNet, 3, port)});
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  testing::ScratchDir dir;
  ScanCommandOptions slow = Options(port, "", dir.File("part.bin"));
  slow.probeInterval = 20ms;  // a round takes 5 s; the signal comes after about 40 hosts
  const ScanRun run = test::InterruptedAfter(800ms, [&] { return RunScan(slow); });
  EXPECT_TRUE(run.status == 130 && run.err.starts_with("interrupted after ") && run.err.ends_with("; 2 modules written\n"))
      << run.status << " " << run.err;
  Configuration part;
  RecordedMessages messages;
  ASSERT_TRUE(ReadConfiguration(dir.File("part.bin"), part, messages).ok);
  EXPECT_EQ(part.dataList.Count(), 2);

  // Standard output is a pipe nobody reads any more.
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  close(pipeFds[0]);
  std::fflush(stdout);
  const int savedOut = dup(STDOUT_FILENO);
  dup2(pipeFds[1], STDOUT_FILENO);
  close(pipeFds[1]);
  const int status = ScanCommand(Options(port, "", dir.File("unread.bin")));
  std::fflush(stdout);
  dup2(savedOut, STDOUT_FILENO);
  close(savedOut);
  std::clearerr(stdout);
  EXPECT_EQ(status, 0);
  ASSERT_TRUE(ReadConfiguration(dir.File("unread.bin"), part, messages).ok);
}

}  // namespace
}  // namespace plinth
