// plinthctl's module commands against simulated modules and a libmodbus server.
#include "cli/module_commands.h"
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include "base/text_scan.h"
#include "tests/support/interrupt.h"
#include "tests/support/libmodbus_server.h"
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

// "status error" and the output of command run on ip and port.
std::pair<std::string, std::string> RunCommand(const std::string& ip, int port, const Command& command) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int status = command(ip, port);
  std::fflush(stdout);
  const std::string out = testing::internal::GetCapturedStdout();
  return {std::to_string(status) + " " + testing::internal::GetCapturedStderr(), out};
}

// Exit status, error and output. io: a refused list writes nothing; typed words replace the first ones ("%04x"
// reads four characters at most); no output words: the cycle only reads; too many to write: the first cycle fails.
TEST(ModuleCommands, StatusIoAndFlashGiveTheDialogsFieldsMessagesAndExitStatus) {
  SimModuleConfig shown = Module(40, 1217), tooMany = Module(49, 1218);
  shown.health = 0x00A5, shown.lastError = 0xBEEF, shown.errorCount = 12, shown.mac = {0, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
  tooMany.outputWords = 200;  // more than one write can carry
  test::RunningSim sim({shown, Module(44, 1218), Module(45, 6115), Module(48, 2), tooMany,
                        Module(47, 1218), Module(41, 1217, FaultMode::kWrongFunction)});
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  auto run = [&](size_t i, const Command& command) {
    return RunCommand(FormatIpv4(sim.Module(i).Address()), sim.Module(i).Port(), command);
  };
  auto where = [&](size_t i) { return FormatIpv4(sim.Module(i).Address()) + " port " + std::to_string(sim.Module(i).Port()); };
  const auto [result, text] = run(0, Status(false));
  EXPECT_EQ(result + text,
            "0 Slave IP-Addr: 127.0.0.40\nModule ID: 1217\nWords of input: 16\nWords of output: 4\n"
            "8000 is good health: 00A5\nLast I/O module error: BEEF\nCount of I/O module errors: 12\n"
            "MAC: 001a2b3c4d5e\n");
  // JSON in the slave keys and types of show --json.
  const auto [jsonResult, json] = run(0, Status(true));
  const auto parsed = nlohmann::json::parse(json);
  EXPECT_EQ(jsonResult + parsed["formatVersion"].dump() + parsed["ipAddress"].dump() + parsed["moduleId"].dump() +
                parsed["inputWords"].dump() + parsed["health"].dump() + parsed["errorCount"].dump() +
                parsed["macAddress"].dump() + parsed["error"].dump(),
            "0 1\"127.0.0.40\"\"1217\"\"16\"\"00A5\"\"12\"\"001a2b3c4d5e\"null");
  const std::tuple<size_t, int, std::string, std::string> cases[] = {  // module, cycles, words typed, result
      {1, 2, "", "0 1: in 0000 1000 2000 3000 | out 0ae0 0ae0 0ae0 0ae0\n"
                 "2: in 0000 1000 2000 3000 | out 0ae0 0ae0 0ae0 0ae0\n"},
      {2, 1, "1,abcde", "0 1: in 0000 1000 2000 3000 4000 5000 6000 7000 | out 0001 abcd 0055 0000 0000 0000 0000 0000\n"},
      {3, 1, "1", "2 No output words defined!\n"},
      {3, 1, "", "0 1: in 0000 | out \n"},
      {4, 3, "", "1 " + where(4) + ": Write to module failed! (200 registers do not fit one request)\n"},
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
    EXPECT_EQ(status, "1 " + where(6) + ": ReadNode STATUS_BLOCK failed! (a reply with function code 4)\n" + where(6) +
                          ": GetStatistics for MAC-Addr failed! (a reply with function code 9)\n");
    EXPECT_TRUE(asJson ? nlohmann::json::parse(out)["moduleId"].is_null()
                       : out.find("Module ID: \n") != out.npos && out.find("MAC: \n") != out.npos) << out;
  }
  // The flag is cleared, then set, each acknowledged by the module.
  for (bool keep : {false, true}) {
    EXPECT_EQ(run(0, [&](auto& ip, int port) { return FlashCommand(ip, port, keep); }).second,
              keep ? "127.0.0.40: Flash IP Address acknowledged\n" : "127.0.0.40: Reset to BOOTP acknowledged\n");
    EXPECT_EQ(sim.Module().FlashFlag(), keep);
  }
}

// What the command line says when a module cannot be reached or misbehaves: address, port and reason; bad
// arguments are 2 before any connection; a module text that is not UTF-8 still gives JSON; SIGINT ends io with 130.
TEST(ModuleCommands, FailuresNameTheModuleAndTheReason) {
  const uint16_t port = test::UnusedPort();
  test::RunningSim sim({Module(50, 1218, FaultMode::kCloseOnAccept), Module(51, 1218)});
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  const test::FullListener silent(ParseIpv4("127.0.0.52"), port);
  const std::string refused = "127.0.0.53 port " + std::to_string(port);
  const auto flash = [](auto& ip, int p) { return FlashCommand(ip, p, true); };
  const auto io = [](const std::string& set) { return [set](auto& ip, int p) { return IoCommand(ip, p, 1, set); }; };
  const std::tuple<std::string, int, Command, std::string> cases[] = {  // address, port, command, status and error
      {"127.0.0.53", port, Status(false), "1 " + refused + ": connect to module failed! (connection refused)\n"},
      {"127.0.0.52", port, io(""), "1 127.0.0.52 port " + std::to_string(port) +
                                       ": connect to module failed! (no answer within 1000 ms)\n"},
      {"127.0.0.50", sim.Module(0).Port(), flash,
       "1 127.0.0.50 port " + std::to_string(sim.Module(0).Port()) + ": Flash IP Address not acknowledged ("},
      {"127.0.0.011", port, Status(false), "2 status: \"127.0.0.011\" is not an IPv4 address"},
      {"not.an.address", port, flash, "2 flash: \"not.an.address\" is not an IPv4 address"},
      {"127.0.0.53", port, io("1,zz"), "2 Please check your input string: Output Word 2\n"},
      {"127.0.0.53", port, io("1,2,3,4,5,6,7,8,9"), "2 Please check your input string: Output Word 9\n"},
  };
  for (const auto& [ip, p, command, result] : cases) {
    const auto [status, out] = RunCommand(ip, p, command);
    EXPECT_EQ(status.substr(0, result.size()) + out, result);  // nothing on standard output
  }

  const auto unreachable = nlohmann::json::parse(RunCommand("127.0.0.53", port, Status(true)).second);
  EXPECT_EQ(unreachable["formatVersion"].dump() + unreachable["moduleId"].dump() + unreachable["error"].dump(),
            "1null\"" + refused + ": connect to module failed! (connection refused)\"");

  // libmodbus answers the diagnostics request with an exception; the text block is not UTF-8.
  test::LibmodbusServer server;
  ASSERT_TRUE(server.Listening());
  const std::pair<int, uint16_t> registers[] = {{STATUS_BLOCK + kStatusInputWords, 16}, {STATUS_BLOCK + kStatusModuleId, 1217},
                                                {STATUS_BLOCK + kStatusTextWords, 2}, {kTextBlockAddress, 0xFFFE},
                                                {kTextBlockAddress + 1, 0x1B41}};
  for (auto [address, value] : registers) server.SetRegister(address, value);
  const std::string where = "127.0.0.1 port " + std::to_string(server.Port());
  const auto [textStatus, text] = RunCommand("127.0.0.1", server.Port(), Status(false));
  EXPECT_EQ(textStatus, "1 " + where + ": GetStatistics for MAC-Addr failed! (exception code 01 (illegal function))\n");
  EXPECT_NE(text.find("Module ID: 1217\n"), text.npos);
  EXPECT_NE(text.find("MAC: \xff\xfe\\x1b" "A\n"), text.npos) << text;  // the control byte escaped
  const auto [jsonStatus, json] = RunCommand("127.0.0.1", server.Port(), Status(true));
  const auto parsed = nlohmann::json::parse(json);  // would throw on bytes that are not UTF-8
  EXPECT_EQ(jsonStatus.substr(0, 2) + parsed["text"].get<std::string>() + "|" + parsed["macAddress"].dump(),
            "1 \xef\xbf\xbd\xef\xbf\xbd\x1b" "A|null");

  // SIGINT between two exchanges: status 130, and how far it got.
  const auto [interrupted, cycles] = test::InterruptedAfter(std::chrono::milliseconds(450), [&] {
    return RunCommand("127.0.0.51", sim.Module(1).Port(), [](auto& ip, int p) { return IoCommand(ip, p, 1000, ""); });
  });
  const auto printed = std::count(cycles.begin(), cycles.end(), '\n');
  EXPECT_EQ(interrupted, "130 interrupted after " + std::to_string(printed) + (printed == 1 ? " cycle\n" : " cycles\n"));
  EXPECT_GT(printed, 0);
}
}  // namespace
}  // namespace plinth
