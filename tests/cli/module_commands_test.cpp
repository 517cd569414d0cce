// plinthctl's module commands against simulated modules.
#include "cli/module_commands.h"
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include "base/text_scan.h"
#include "tests/support/running_sim.h"

namespace plinth {
namespace {
using Command = std::function<int(const std::string& ip, int port)>;

SimModuleConfig Module(uint8_t host, uint16_t id, FaultMode fault = FaultMode::kNone) {
  SimModuleConfig config = test::OnLoopback(host);
  config.moduleId = id, config.changingInputs = false, config.fault = fault;
  return config;
}
Command Status(bool json) { return [=](const std::string& ip, int port) { return StatusCommand(ip, port, json); }; }

// Exit status, error and output. io: a refused list writes nothing; typed words replace the first ones ("%04x"
// reads four characters at most); no output words: the cycle only reads; too many to write: the first cycle fails.
TEST(ModuleCommands, StatusIoAndFlashGiveTheDialogsFieldsMessagesAndExitStatus) {
  SimModuleConfig shown = Module(40, 1217), tooMany = Module(49, 1218);
  shown.health = 0x00A5, shown.lastError = 0xBEEF, shown.errorCount = 12, shown.mac = {0, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
  tooMany.outputWords = 200;  // more than one write can carry
  test::RunningSim sim({shown, Module(44, 1218), Module(45, 6115), Module(48, 2), tooMany,
                        Module(47, 1218), Module(41, 1217, FaultMode::kWrongFunction)});
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  auto run = [&](size_t i, const Command& command) {  // "status error" and the output
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int status = command(FormatIpv4(sim.Module(i).Address()), sim.Module(i).Port());
    std::fflush(stdout);
    const std::string out = testing::internal::GetCapturedStdout();
    return std::pair{std::to_string(status) + " " + testing::internal::GetCapturedStderr(), out};
  };
  const auto [result, text] = run(0, Status(false));
  EXPECT_EQ(result + text,
            "0 Slave IP-Addr: 127.0.0.40\nModule ID: 1217\nWords of input: 16\nWords of output: 4\n"
            "8000 is good health: 00A5\nLast I/O module error: BEEF\nCount of I/O module errors: 12\n"
            "MAC: 001a2b3c4d5e\n");
  const auto [jsonResult, json] = run(0, Status(true));
  const auto parsed = nlohmann::json::parse(json);
  EXPECT_EQ(jsonResult + parsed["moduleId"].dump() + parsed["health"].dump() + parsed["errorCount"].dump() +
                parsed["mac"].dump(), "0 1217\"00A5\"12\"001a2b3c4d5e\"");
  const std::tuple<size_t, int, std::string, std::string> cases[] = {  // module, cycles, words typed, result
      {1, 2, "", "0 1: in 0000 1000 2000 3000 | out 0ae0 0ae0 0ae0 0ae0\n"
                 "2: in 0000 1000 2000 3000 | out 0ae0 0ae0 0ae0 0ae0\n"},
      {2, 1, "1,abcde", "0 1: in 0000 1000 2000 3000 4000 5000 6000 7000 | out 0001 abcd 0055 0000 0000 0000 0000 0000\n"},
      {3, 1, "1", "2 No output words defined!\n"},
      {3, 1, "", "0 1: in 0000 | out \n"},
      {4, 3, "", "1 Write to module failed!\n"},
      {5, 1, "1,2,3,4,5", "2 Please check your input string: Output Word 5\n"},
  };
  for (const auto& [module, cycles, set, result] : cases) {
    const auto [status, out] = run(module, [&](auto& ip, int port) { return IoCommand(ip, port, cycles, set); });
    EXPECT_EQ(status + out, result) << module << " " << set;
  }
  std::vector<uint16_t> typed(24, 0);
  typed[0] = 1, typed[1] = 0xABCD, typed[2] = 0x0055;
  EXPECT_EQ(sim.Module(2).Outputs(), typed);
  EXPECT_EQ(sim.Module(5).Outputs(), (std::vector<uint16_t>(4, 0)));
  for (bool asJson : {false, true}) {  // a module that answers with the wrong function
    const auto [status, out] = run(6, Status(asJson));
    EXPECT_EQ(status, "1 ReadNode STATUS_BLOCK failed!\nGetStatistics for MAC-Addr failed!\n");
    EXPECT_TRUE(asJson ? nlohmann::json::parse(out)["moduleId"].is_null()
                       : out.find("Module ID: \n") != out.npos && out.find("MAC: \n") != out.npos) << out;
  }
  EXPECT_EQ(run(0, [](auto&, int) { return StatusCommand("not.an.address", 502, false); }).first,
            "1 cannot read ip-address!\n");
  EXPECT_EQ(run(0, [](auto&, int) { return IoCommand("127.0.0.1", test::UnusedPort(), 1, ""); }).first,
            "1 connect to module failed!\n");
  for (bool keep : {false, true}) {  // the acknowledgement is not awaited; the flag is cleared, then set
    EXPECT_EQ(run(0, [&](auto& ip, int port) { return FlashCommand(ip, port, keep); }).second,
              keep ? "127.0.0.40: Flash IP Address sent\n" : "127.0.0.40: Reset to BOOTP sent\n");
    EXPECT_TRUE(test::WaitUntil([&] { return sim.Module().FlashFlag() == keep; }));
  }
}
}  // namespace
}  // namespace plinth
