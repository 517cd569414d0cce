// plinthctl's module commands against simulated modules.
#include "cli/module_commands.h"

#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "config/text_scan.h"
#include "running_sim.h"

namespace plinth {
namespace {

using test::OnLoopback;
using test::RunningSim;

struct Output {
  int status;
  std::string out, err;
};

template <typename Command>
Output Capture(Command command) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int status = command();
  std::fflush(stdout);
  Output result{status, testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr()};
  return result;
}

SimModuleConfig Module(uint8_t host, uint16_t id) {
  SimModuleConfig config = OnLoopback(host);
  config.moduleId = id;
  config.changingInputs = false;
  return config;
}

std::string Ip(RunningSim& sim, size_t i = 0) { return FormatIpv4(sim.Module(i).Address()); }

TEST(ModuleCommands, StatusShowsTheDialogsFields) {
  SimModuleConfig config = Module(40, 1217);
  config.health = 0x00A5;
  config.lastError = 0xBEEF;
  config.errorCount = 12;
  config.mac = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
  RunningSim sim({config});
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  const Output text = Capture([&] { return StatusCommand(Ip(sim), sim.Module().Port(), false); });
  EXPECT_EQ(text.status, 0) << text.err;
  EXPECT_EQ(text.out,
            "Slave IP-Addr: 127.0.0.40\nModule ID: 1217\nWords of input: 16\nWords of output: 4\n"
            "8000 is good health: 00A5\nLast I/O module error: BEEF\nCount of I/O module errors: 12\n"
            "MAC: 001a2b3c4d5e\n");

  const Output json = Capture([&] { return StatusCommand(Ip(sim), sim.Module().Port(), true); });
  ASSERT_EQ(json.status, 0);
  const auto parsed = nlohmann::json::parse(json.out);
  EXPECT_EQ(parsed["moduleId"], 1217);
  EXPECT_EQ(parsed["health"], "00A5");
  EXPECT_EQ(parsed["errorCount"], 12);
  EXPECT_EQ(parsed["mac"], "001a2b3c4d5e");
}

TEST(ModuleCommands, FailuresGiveTheMessagesAndExitStatus) {
  SimModuleConfig wrong = Module(41, 1217);
  wrong.fault = FaultMode::kWrongFunction;  // reads fail, statistics still answer
  SimModuleConfig closing = Module(42, 1217);
  closing.fault = FaultMode::kCloseOnAccept;
  RunningSim sim({wrong, closing});
  ASSERT_TRUE(sim.Opened()) << sim.Error();

  Output r = Capture([&] { return StatusCommand(Ip(sim, 0), sim.Module(0).Port(), false); });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ReadNode STATUS_BLOCK failed!\n");
  EXPECT_NE(r.out.find("Module ID: \n"), std::string::npos);

  r = Capture([&] { return StatusCommand(Ip(sim, 1), sim.Module(1).Port(), true); });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ReadNode STATUS_BLOCK failed!\nGetStatistics for MAC-Addr failed!\n");
  EXPECT_TRUE(nlohmann::json::parse(r.out)["moduleId"].is_null());

  r = Capture([] { return StatusCommand("not.an.address", 502, false); });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "cannot read ip-address!\n");
  r = Capture([] { return IoCommand("127.0.0.1", test::UnusedPort(), 1, ""); });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "connect to module failed!\n");
}

TEST(ModuleCommands, FlashAndResetSetTheFlag) {
  SimModuleConfig config = Module(43, 8);
  config.flashFlag = false;
  RunningSim sim({config});
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  const auto waitFor = [&](bool value) {
    for (int i = 0; i < 100 && sim.Module().FlashFlag() != value; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return sim.Module().FlashFlag() == value;
  };
  EXPECT_EQ(Capture([&] { return FlashCommand(Ip(sim), sim.Module().Port(), true); }).status, 0);
  EXPECT_TRUE(waitFor(true));
  EXPECT_EQ(Capture([&] { return FlashCommand(Ip(sim), sim.Module().Port(), false); }).status, 0);
  EXPECT_TRUE(waitFor(false));
}

TEST(ModuleCommands, IoSeedsOutputsFromTheCatalogueAndTakesTypedWords) {
  RunningSim sim({Module(44, 1218), Module(45, 6115), Module(46, 24)});
  ASSERT_TRUE(sim.Opened()) << sim.Error();

  Output r = Capture([&] { return IoCommand(Ip(sim, 0), sim.Module(0).Port(), 2, ""); });
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1: in 0000 1000 2000 3000 | out 0ae0 0ae0 0ae0 0ae0\n"
                   "2: in 0000 1000 2000 3000 | out 0ae0 0ae0 0ae0 0ae0\n");
  EXPECT_EQ(sim.Module(0).Outputs(), (std::vector<uint16_t>(4, 0x0AE0)));

  r = Capture([&] { return IoCommand(Ip(sim, 1), sim.Module(1).Port(), 1, "1,abcde"); });
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1: in 0000 1000 2000 3000 4000 5000 6000 7000 | out 0001 abcd 0055 0000 0000 0000 0000 0000\n");
  std::vector<uint16_t> expected(24, 0);
  expected[0] = 1, expected[1] = 0xABCD, expected[2] = 0x0055;
  EXPECT_EQ(sim.Module(1).Outputs(), expected);

  // Two input words: only two shown.
  r = Capture([&] { return IoCommand(Ip(sim, 2), sim.Module(2).Port(), 1, "ff"); });
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1: in 0000 1000 | out 00ff 0000\n");
}

TEST(ModuleCommands, IoRefusesBadWordsAndReportsFailedExchanges) {
  SimModuleConfig tooMany = Module(47, 1218);
  tooMany.outputWords = 200;  // more than one write can carry
  RunningSim sim({Module(48, 1218), Module(49, 2), tooMany});
  ASSERT_TRUE(sim.Opened()) << sim.Error();

  Output r = Capture([&] { return IoCommand(Ip(sim, 0), sim.Module(0).Port(), 1, "1,zz,3"); });
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "Please check your input string: Output Word 2\n");
  EXPECT_EQ(sim.Module(0).Outputs(), (std::vector<uint16_t>(4, 0)));  // nothing written
  r = Capture([&] { return IoCommand(Ip(sim, 0), sim.Module(0).Port(), 1, "1,2,3,4,5"); });
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "Please check your input string: Output Word 5\n");

  // No output words: typed words are refused; the cycle only reads.
  r = Capture([&] { return IoCommand(Ip(sim, 1), sim.Module(1).Port(), 1, "1"); });
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "No output words defined!\n");
  r = Capture([&] { return IoCommand(Ip(sim, 1), sim.Module(1).Port(), 1, ""); });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "1: in 0000 | out \n");

  r = Capture([&] { return IoCommand(Ip(sim, 2), sim.Module(2).Port(), 3, ""); });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Write to module failed!\n");
  EXPECT_EQ(r.out, "");
}

}  // namespace
}  // namespace plinth
