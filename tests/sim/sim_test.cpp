// The simulator against the client: module options, fault modes and function 8.
#include <gtest/gtest.h>
#include <thread>
#include "base/text_scan.h"
#include "net/modbus_client.h"
#include "sim/module_options.h"
#include "tests/support/running_sim.h"

namespace plinth {
namespace {
using Bytes = std::vector<uint8_t>;
using test::OnLoopback;
using Clock = std::chrono::steady_clock;

// Options' keys and refusals; then modules on one port, one per fault mode, tried at once: each call's
// result (all succeed or all fail) within the bound, each module answering for itself.
TEST(SimModule, OptionsEveryFaultModeWithinTheBoundAndFunction8ByHand) {
  std::vector<SimModuleConfig> configs;
  std::string error;
  ASSERT_TRUE(ParseModuleOptions("mac=00:50:c2:00:00:10,text=hello,flash=0,bootp=1,static=1,fault=short",
                                 OnLoopback(1, 1502), configs, error)) << error;
  const SimModuleConfig& c = configs.at(0);
  EXPECT_EQ(FormatMac(c.mac) + " " + c.text.value_or("") + " " + FaultModeName(c.fault), "0050c2000010 hello short");
  EXPECT_FALSE(c.flashFlag || c.hasAddress || c.changingInputs);
  for (const char* bad : {"colour=red", "ip=300.1.1.1", "port=70000", "mac=0050c2", "mac=0050c20000zz",
                          "fault=sometimes", "count=0", "count=255", "id=-1", "in=", "health=12345", "flash"})
    EXPECT_FALSE((configs.clear(), error.clear(), ParseModuleOptions(bad, OnLoopback(1), configs, error)) ||
                 error.empty() || !configs.empty()) << bad;
  const std::pair<FaultMode, int> cases[] = {{FaultMode::kNone, 1}, {FaultMode::kWrongFunction, 0},
                                             {FaultMode::kSplitReply, 1},  // read on until whole
                                             {FaultMode::kNeverAnswer, 0}, {FaultMode::kShortReply, 0},
                                             {FaultMode::kCloseOnAccept, 0}};
  constexpr size_t n = std::size(cases);
  ASSERT_TRUE(ParseModuleOptions("count=6,mac=00-50-c2-00-00-fe", OnLoopback(20, test::UnusedPort()), configs, error));
  for (size_t i = 0; i < n; ++i) configs[i].fault = cases[i].first;
  test::RunningSim sim(configs);
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  std::vector<std::thread> clients;
  for (size_t i = 0; i < n; ++i)
    clients.emplace_back([&, i, ok = cases[i].second] {
      SCOPED_TRACE(FaultModeName(cases[i].first));
      test::SocketGuard s(sim.Connect(i));  // close-on-accept may refuse: every call fails
      std::array<uint16_t, kStatusBlockWords> status{};
      std::array<uint8_t, kStatisticsSize> statistics{};
      const auto start = Clock::now();
      EXPECT_EQ((std::array<int, 3>{ReadNode(s.fd, 1, status.data(), STATUS_BLOCK, kStatusBlockWords),
                                    WriteNode(s.fd, 1, status.data(), kIoImageAddress, 4), GetStatistics(s.fd, 1, statistics)}),
                (std::array<int, 3>{ok, ok, ok}));
      EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 3 * kReplyTimeoutMs / 1000.0 + 2.0);
      if (ok) {  // the count steps the MAC, with a carry
        EXPECT_EQ(statistics[kStatisticsMacOffset + 4] << 8 | statistics[kStatisticsMacOffset + 5], i ? 0x100 : 0xfe);
      }
    });
  for (auto& t : clients) t.join();
  // Function 8 by hand: the statistics echo sub-function and data, then a byte count and the MAC;
  // other sub-functions are exception 01, a bad length 03. Non-Modbus bytes close only their connection.
  test::SocketGuard s(sim.Connect()), bad(sim.Connect());
  char byte;
  EXPECT_EQ(::send(bad.fd, "GET / ", 6, 0) + ::recv(bad.fd, &byte, 1, 0), 6);
  for (auto [sub, size] : {std::pair{0x15, 4}, {0, 4}, {4, 4}, {0x14, 4}, {0x16, 4}, {0xFFFF, 4}, {0x15, 2}, {0x15, 6}}) {
    Bytes request{0, 1, 0, 0, 0, uint8_t(2 + size), 1, 8, uint8_t(sub >> 8), uint8_t(sub), 0, 3};
    request.resize(8 + size_t(size), 0);
    ::send(s.fd, request.data(), request.size(), 0);
    const Bytes expected = sub == 0x15 && size == 4 ? Bytes{8, 0, 0x15, 0, 3, 78, 0x00, 0x50, 0xc2, 0x00, 0x00, 0xfe}
                                                    : Bytes{0x88, uint8_t(sub == 0x15 ? 3 : 1)};
    Bytes reply(expected.size() == 2 ? 9 : 91);
    ASSERT_EQ(::recv(s.fd, reply.data(), reply.size(), MSG_WAITALL), ssize_t(reply.size())) << sub;
    EXPECT_EQ(Bytes(reply.begin() + 7, reply.begin() + 7 + ssize_t(expected.size())), expected) << sub;
  }
}
}  // namespace
}  // namespace plinth
