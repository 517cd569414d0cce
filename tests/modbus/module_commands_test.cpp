// plinthctl's module commands against simulated modules.
#include "cli/module_commands.h"
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include "config/text_scan.h"
#include "running_sim.h"

namespace plinth {
namespace {
using test::RunningSim;
using Command = std::function<int(const std::string& ip, int port)>;

struct Output {
  int status;
  std::string out, err;
  std::string StatusAndErr() const { return std::to_string(status) + " " + err; }
};

// Runs command(ip, port) on module i with standard output and error captured.
Output RunOn(RunningSim& sim, size_t i, const Command& command) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int status = command(FormatIpv4(sim.Module(i).Address()), sim.Module(i).Port());
  std::fflush(stdout);
  return {status, testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr()};
}

SimModuleConfig Module(uint8_t host, uint16_t id, FaultMode fault = FaultMode::kNone) {
  SimModuleConfig config = test::OnLoopback(host);
  config.moduleId = id, config.changingInputs = false, config.fault = fault;
  return config;
}

Command Status(bool json) { return [=](const std::string& ip, int port) { return StatusCommand(ip, port, json); }; }
Command Flash(bool keep) { return [=](const std::string& ip, int port) { return FlashCommand(ip, port, keep); }; }

TEST(ModuleCommands, StatusShowsTheDialogsFieldsResetAndFlashSetTheFlag) {
  SimModuleConfig config = Module(40, 1217);
  config.health = 0x00A5, config.lastError = 0xBEEF, config.errorCount = 12, config.mac = {0, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
  RunningSim sim({config});
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  const Output text = RunOn(sim, 0, Status(false));
  EXPECT_EQ(text.StatusAndErr() + text.out,
            "0 Slave IP-Addr: 127.0.0.40\nModule ID: 1217\nWords of input: 16\nWords of output: 4\n"
            "8000 is good health: 00A5\nLast I/O module error: BEEF\nCount of I/O module errors: 12\n"
            "MAC: 001a2b3c4d5e\n");
  const Output json = RunOn(sim, 0, Status(true));
  const auto parsed = nlohmann::json::parse(json.out);
  EXPECT_EQ(json.StatusAndErr() + parsed["moduleId"].dump() + parsed["health"].dump() + parsed["errorCount"].dump() +
                parsed["mac"].dump(), "0 1217\"00A5\"12\"001a2b3c4d5e\"");
  // "Reset to BOOTP": the module forgets its address and serves nothing until it has a new one.
  SimModule& module = sim.Module();
  module.SetFlashFlagHandler([](SimModule& m, bool keep) { if (!keep) m.WaitForBootp(); });
  EXPECT_EQ(RunOn(sim, 0, Flash(false)).out, "127.0.0.40: Reset to BOOTP sent\n");
  EXPECT_TRUE(test::WaitUntil([&] { return !module.FlashFlag() && test::SocketGuard(sim.Connect()).fd < 0; }));
  EXPECT_EQ(module.State(), AddressState::kWaitingForBootp);
  module.AssignAddress(ParseIpv4("127.0.0.39"));
  sim.Server().Wake();
  EXPECT_TRUE(test::WaitUntil([&] { return test::SocketGuard(sim.Connect()).fd >= 0; }));
  EXPECT_EQ(RunOn(sim, 0, Flash(true)).out, "127.0.0.39: Flash IP Address sent\n");
  EXPECT_TRUE(test::WaitUntil([&] { return module.FlashFlag(); }));
}

// Each io run on its module: exit status, error and output. A refused word list writes nothing;
// typed words replace the first ones ("%04x" reads four characters at most); no output words: the
// cycle only reads; too many to write: the first cycle fails. Then status's failures.
TEST(ModuleCommands, IoSeedsOutputsFromTheCatalogueTakesTypedWordsAndFailuresGiveMessagesAndStatus) {
  SimModuleConfig tooMany = Module(49, 1218);
  tooMany.outputWords = 200;  // more than one write can carry
  RunningSim sim({Module(44, 1218), Module(45, 6115), Module(46, 24), Module(48, 2), tooMany, Module(47, 1218),
                  Module(41, 1217, FaultMode::kWrongFunction), Module(42, 1217, FaultMode::kCloseOnAccept)});
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  const std::tuple<size_t, int, std::string, std::string> cases[] = {  // module, cycles, words typed, result
      {0, 2, "", "0 1: in 0000 1000 2000 3000 | out 0ae0 0ae0 0ae0 0ae0\n"
                 "2: in 0000 1000 2000 3000 | out 0ae0 0ae0 0ae0 0ae0\n"},
      {1, 1, "1,abcde", "0 1: in 0000 1000 2000 3000 4000 5000 6000 7000 | out 0001 abcd 0055 0000 0000 0000 0000 0000\n"},
      {2, 1, "ff", "0 1: in 0000 1000 | out 00ff 0000\n"},  // two words each way: only two shown
      {3, 1, "1", "2 No output words defined!\n"},
      {3, 1, "", "0 1: in 0000 | out \n"},
      {4, 3, "", "1 Write to module failed!\n"},
      {5, 1, "1,zz,3", "2 Please check your input string: Output Word 2\n"},
      {5, 1, "1,2,3,4,5", "2 Please check your input string: Output Word 5\n"},
  };
  for (const auto& [module, cycles, set, result] : cases) {
    const Output r = RunOn(sim, module, [&](const std::string& ip, int port) { return IoCommand(ip, port, cycles, set); });
    EXPECT_EQ(r.StatusAndErr() + r.out, result) << module << " " << set;
  }
  std::vector<uint16_t> typed(24, 0);
  typed[0] = 1, typed[1] = 0xABCD, typed[2] = 0x0055;
  EXPECT_EQ(sim.Module(1).Outputs(), typed);
  EXPECT_EQ(sim.Module(0).Outputs(), (std::vector<uint16_t>(4, 0x0AE0)));
  EXPECT_EQ(sim.Module(5).Outputs(), (std::vector<uint16_t>(4, 0)));
  Output r = RunOn(sim, 6, Status(false));
  EXPECT_EQ(r.StatusAndErr(), "1 ReadNode STATUS_BLOCK failed!\nGetStatistics for MAC-Addr failed!\n");
  EXPECT_TRUE(r.out.find("Module ID: \n") != r.out.npos && r.out.find("MAC: \n") != r.out.npos) << r.out;
  r = RunOn(sim, 7, Status(true));
  EXPECT_EQ(r.StatusAndErr(), "1 ReadNode STATUS_BLOCK failed!\nGetStatistics for MAC-Addr failed!\n");
  EXPECT_TRUE(nlohmann::json::parse(r.out)["moduleId"].is_null());
  r = RunOn(sim, 0, [](const std::string&, int) { return StatusCommand("not.an.address", 502, false); });
  EXPECT_EQ(r.StatusAndErr(), "1 cannot read ip-address!\n");
  r = RunOn(sim, 0, [](const std::string&, int) { return IoCommand("127.0.0.1", test::UnusedPort(), 1, ""); });
  EXPECT_EQ(r.StatusAndErr(), "1 connect to module failed!\n");
}
}  // namespace
}  // namespace plinth
