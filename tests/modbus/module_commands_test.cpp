// plinthctl's module commands against simulated modules.
#include "cli/module_commands.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "config/text_scan.h"
#include "running_sim.h"

namespace plinth {
namespace {

using test::RunningSim;

struct Output {
  int status;
  std::string out, err;
  std::string StatusAndErr() const { return std::to_string(status) + " " + err; }
};

// Runs command(ip, port) on module i with standard output and error captured.
template <typename Command>
Output RunOn(RunningSim& sim, size_t i, Command command) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int status = command(FormatIpv4(sim.Module(i).Address()), sim.Module(i).Port());
  std::fflush(stdout);
  return {status, testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr()};
}

SimModuleConfig Module(uint8_t host, uint16_t id, FaultMode fault = FaultMode::kNone) {
  SimModuleConfig config = test::OnLoopback(host);
  config.moduleId = id;
  config.changingInputs = false;
  config.fault = fault;
  return config;
}

const auto kStatus = [](const std::string& ip, int port) { return StatusCommand(ip, port, false); };
const auto kStatusJson = [](const std::string& ip, int port) { return StatusCommand(ip, port, true); };
auto Io(int cycles, const std::string& set) {
  return [=](const std::string& ip, int port) { return IoCommand(ip, port, cycles, set); };
}

TEST(ModuleCommands, StatusShowsTheDialogsFields) {
  SimModuleConfig config = Module(40, 1217);
  config.health = 0x00A5, config.lastError = 0xBEEF, config.errorCount = 12;
  config.mac = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
  RunningSim sim({config});
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  const Output text = RunOn(sim, 0, kStatus);
  EXPECT_EQ(text.status, 0) << text.err;
  EXPECT_EQ(text.out,
            "Slave IP-Addr: 127.0.0.40\nModule ID: 1217\nWords of input: 16\nWords of output: 4\n"
            "8000 is good health: 00A5\nLast I/O module error: BEEF\nCount of I/O module errors: 12\n"
            "MAC: 001a2b3c4d5e\n");

  const Output json = RunOn(sim, 0, kStatusJson);
  ASSERT_EQ(json.status, 0);
  const auto parsed = nlohmann::json::parse(json.out);
  EXPECT_EQ(parsed["moduleId"].dump() + parsed["health"].dump() + parsed["errorCount"].dump() + parsed["mac"].dump(),
            "1217\"00A5\"12\"001a2b3c4d5e\"");
}

TEST(ModuleCommands, FailuresGiveTheMessagesAndExitStatus) {
  // A wrong function code fails every read, the statistics too.
  RunningSim sim({Module(41, 1217, FaultMode::kWrongFunction), Module(42, 1217, FaultMode::kCloseOnAccept)});
  ASSERT_TRUE(sim.Opened()) << sim.Error();

  Output r = RunOn(sim, 0, kStatus);
  EXPECT_EQ(r.StatusAndErr(), "1 ReadNode STATUS_BLOCK failed!\nGetStatistics for MAC-Addr failed!\n");
  EXPECT_NE(r.out.find("Module ID: \n"), std::string::npos);
  EXPECT_NE(r.out.find("MAC: \n"), std::string::npos);

  r = RunOn(sim, 1, kStatusJson);
  EXPECT_EQ(r.StatusAndErr(), "1 ReadNode STATUS_BLOCK failed!\nGetStatistics for MAC-Addr failed!\n");
  EXPECT_TRUE(nlohmann::json::parse(r.out)["moduleId"].is_null());

  r = RunOn(sim, 0, [](const std::string&, int) { return StatusCommand("not.an.address", 502, false); });
  EXPECT_EQ(r.StatusAndErr(), "1 cannot read ip-address!\n");
  r = RunOn(sim, 0, [](const std::string&, int) { return IoCommand("127.0.0.1", test::UnusedPort(), 1, ""); });
  EXPECT_EQ(r.StatusAndErr(), "1 connect to module failed!\n");
}

TEST(ModuleCommands, FlashAndResetSetTheFlag) {
  SimModuleConfig config = Module(43, 8);
  config.flashFlag = false;
  RunningSim sim({config});
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  for (bool keep : {true, false}) {
    EXPECT_EQ(RunOn(sim, 0, [&](const std::string& ip, int port) { return FlashCommand(ip, port, keep); }).status, 0);
    EXPECT_TRUE(test::WaitUntil([&] { return sim.Module().FlashFlag() == keep; }));
  }
}

TEST(ModuleCommands, IoSeedsOutputsFromTheCatalogueAndTakesTypedWords) {
  RunningSim sim({Module(44, 1218), Module(45, 6115), Module(46, 24)});
  ASSERT_TRUE(sim.Opened()) << sim.Error();

  Output r = RunOn(sim, 0, Io(2, ""));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1: in 0000 1000 2000 3000 | out 0ae0 0ae0 0ae0 0ae0\n"
                   "2: in 0000 1000 2000 3000 | out 0ae0 0ae0 0ae0 0ae0\n");
  EXPECT_EQ(sim.Module(0).Outputs(), (std::vector<uint16_t>(4, 0x0AE0)));

  // Typed words replace the first ones; "%04x" reads four characters at most.
  r = RunOn(sim, 1, Io(1, "1,abcde"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1: in 0000 1000 2000 3000 4000 5000 6000 7000 | out 0001 abcd 0055 0000 0000 0000 0000 0000\n");
  std::vector<uint16_t> expected(24, 0);
  expected[0] = 1, expected[1] = 0xABCD, expected[2] = 0x0055;
  EXPECT_EQ(sim.Module(1).Outputs(), expected);

  r = RunOn(sim, 2, Io(1, "ff"));  // two words each way: only two shown
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1: in 0000 1000 | out 00ff 0000\n");
}

TEST(ModuleCommands, IoRefusesBadWordsAndReportsFailedExchanges) {
  SimModuleConfig tooMany = Module(49, 1218);
  tooMany.outputWords = 200;  // more than one write can carry
  RunningSim sim({Module(47, 1218), Module(48, 2), tooMany});
  ASSERT_TRUE(sim.Opened()) << sim.Error();

  Output r = RunOn(sim, 0, Io(1, "1,zz,3"));
  EXPECT_EQ(r.StatusAndErr(), "2 Please check your input string: Output Word 2\n");
  EXPECT_EQ(sim.Module(0).Outputs(), (std::vector<uint16_t>(4, 0)));  // nothing written
  r = RunOn(sim, 0, Io(1, "1,2,3,4,5"));
  EXPECT_EQ(r.err, "Please check your input string: Output Word 5\n");

  // No output words: typed words are refused; the cycle only reads.
  r = RunOn(sim, 1, Io(1, "1"));
  EXPECT_EQ(r.StatusAndErr(), "2 No output words defined!\n");
  r = RunOn(sim, 1, Io(1, ""));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "1: in 0000 | out \n");

  r = RunOn(sim, 2, Io(3, ""));
  EXPECT_EQ(r.StatusAndErr(), "1 Write to module failed!\n");
  EXPECT_EQ(r.out, "");
}

}  // namespace
}  // namespace plinth
