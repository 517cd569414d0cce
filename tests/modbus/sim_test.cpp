// The simulator played against the client: what a module reports, how it
// keeps outputs and the flash flag, its address state, and its fault modes.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "config/text_scan.h"
#include "net/modbus_client.h"
#include "net/modbus_frames.h"
#include "net/module_status.h"
#include "running_sim.h"
#include "scripted_peer.h"
#include "sim/module_spec.h"

namespace plinth {
namespace {

using test::Bytes;
using test::OnLoopback;
using test::RunningSim;
using test::SocketGuard;
using Clock = std::chrono::steady_clock;

TEST(SimModule, StatusBlockTextTimeoutAndMacReadAsTheDialogReadsThem) {
  SimModuleConfig config = OnLoopback(2);
  config.moduleId = 1217;
  config.health = 0x00A5;
  config.lastError = 0x0102;
  config.errorCount = 3;
  config.timeout = 25;
  config.text = "ABC";
  config.mac = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
  RunningSim sim({config});
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  SocketGuard s(sim.Connect());
  ASSERT_GE(s.fd, 0);

  const ModuleStatus status = ReadModuleStatus(s.fd);
  ASSERT_TRUE(status.statusRead);
  EXPECT_EQ(status.words[kStatusInputWords], 16);  // from the catalogue
  EXPECT_EQ(status.words[kStatusOutputWords], 4);
  EXPECT_EQ(status.words[kStatusModuleId], 1217);
  EXPECT_EQ(status.words[kStatusTextWords], 2);  // "ABC" and its zero
  EXPECT_EQ(status.words[kStatusHealth], 0x00A5);
  EXPECT_EQ(status.words[kStatusLastError], 0x0102);
  EXPECT_EQ(status.words[kStatusErrorCount], 3);
  EXPECT_TRUE(status.timeoutRead);
  EXPECT_EQ(status.timeoutMs, 250);
  EXPECT_TRUE(status.statisticsRead);
  EXPECT_EQ(status.macField, "001a2b3c4d5e");

  char text[4];
  ASSERT_TRUE(ReadNode(s.fd, 1, text, kTextBlockAddress, 2));
  EXPECT_STREQ(text, "ABC");

  // The statistics echo the sub-function and data before the MAC address.
  std::array<uint8_t, kStatisticsSize> statistics{};
  ASSERT_TRUE(GetStatistics(s.fd, 9, statistics));
  EXPECT_EQ(Bytes(statistics.begin(), statistics.begin() + 5), (Bytes{8, 0x00, 0x15, 0x00, 0x03}));
}

TEST(SimModule, InputsChangeOutputsAreKeptAndUnknownRegistersAreRefused) {
  SimModuleConfig config = OnLoopback(3);
  config.moduleId = 1218;  // 4 in, 4 out
  RunningSim sim({config});
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  SocketGuard s(sim.Connect());
  ASSERT_GE(s.fd, 0);

  std::array<uint16_t, 4> first{}, later{};
  ASSERT_TRUE(ReadNode(s.fd, 1, first.data(), kIoImageAddress, 4));
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  ASSERT_TRUE(ReadNode(s.fd, 1, later.data(), kIoImageAddress, 4));
  EXPECT_NE(first, later);
  EXPECT_EQ(ntohs(later[1]) >> 12, 1);  // word index in the top digit

  const std::array<uint16_t, 4> outputs{htons(0x0AE0), htons(1), htons(0xFFFF), htons(0x1234)};
  ASSERT_TRUE(WriteNode(s.fd, 1, outputs.data(), kIoImageAddress, 4));
  EXPECT_EQ(sim.Module().Outputs(), (std::vector<uint16_t>{0x0AE0, 1, 0xFFFF, 0x1234}));

  // Beyond the images: exceptions, which fail the checks; the connection
  // stays usable, and a refused write changes nothing.
  std::array<uint16_t, 5> five{};
  EXPECT_FALSE(ReadNode(s.fd, 1, five.data(), kIoImageAddress, 5));
  EXPECT_FALSE(WriteNode(s.fd, 1, five.data(), kIoImageAddress, 5));
  EXPECT_FALSE(ReadNode(s.fd, 1, five.data(), 0x1234, 1));
  EXPECT_FALSE(ReadNode(s.fd, 1, five.data(), STATUS_BLOCK + 10, 5));
  EXPECT_EQ(sim.Module().Outputs()[0], 0x0AE0);
  EXPECT_TRUE(ReadNode(s.fd, 1, five.data(), STATUS_BLOCK, 5));
}

TEST(SimModule, FlashFlagReachesTheHandlerAndAddressStateDecidesServing) {
  RunningSim sim({OnLoopback(4)});
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  SimModule& module = sim.Module();
  std::atomic<int> calls{0};
  std::atomic<bool> lastValue{true};
  // What a BOOTP side would do: forget the address on "Reset to BOOTP".
  module.SetFlashFlagHandler([&](SimModule& m, bool keep) {
    lastValue = keep;
    ++calls;
    if (!keep) m.WaitForBootp();
  });
  {
    SocketGuard s(sim.Connect());
    ASSERT_GE(s.fd, 0);
    WriteFlashFlag(s.fd, true);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(calls.load(), 1);
    EXPECT_TRUE(lastValue.load());
    EXPECT_TRUE(module.FlashFlag());
    EXPECT_EQ(test::Drain(s.fd).size(), kWriteReplySize);  // the ack the client left unread
    WriteFlashFlag(s.fd, false);
  }
  const auto deadline = Clock::now() + std::chrono::seconds(2);
  while (module.State() != AddressState::kWaitingForBootp && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(calls.load(), 2);
  EXPECT_FALSE(module.FlashFlag());
  ASSERT_EQ(module.State(), AddressState::kWaitingForBootp);

  // No address: nothing listens. A new address: served there.
  int s = -1;
  for (int i = 0; i < 50 && (s = sim.Connect()) >= 0; ++i) {
    CloseSocket(s);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_LT(s, 0);
  module.AssignAddress(ParseIpv4("127.0.0.5"));
  sim.Server().Wake();
  for (int i = 0; i < 100 && (s = sim.Connect()) < 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  SocketGuard again(s);
  ASSERT_GE(again.fd, 0);
  std::array<uint16_t, kStatusBlockWords> status{};
  EXPECT_TRUE(ReadNode(again.fd, 1, status.data(), STATUS_BLOCK, kStatusBlockWords));
}

TEST(SimModule, ManyModulesOnOnePortEachAnswerForItself) {
  SimModuleConfig base = OnLoopback(10, test::UnusedPort());
  std::vector<SimModuleConfig> configs;
  std::string error;
  ASSERT_TRUE(ParseModuleSpec("id=6115,count=3,mac=00-50-c2-00-00-fe", base, configs, error)) << error;
  RunningSim sim(configs);
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(FormatIpv4(sim.Module(i).Address()), "127.0.0." + std::to_string(10 + i));
    EXPECT_EQ(sim.Module(i).Port(), base.port);
    SocketGuard s(sim.Connect(i));
    ASSERT_GE(s.fd, 0);
    const ModuleStatus status = ReadModuleStatus(s.fd, static_cast<uint8_t>(10 + i));
    EXPECT_EQ(status.words[kStatusModuleId], 6115);
    EXPECT_EQ(status.words[kStatusInputWords], 24);
    EXPECT_EQ(status.macField, std::vector<std::string>({"0050c20000fe", "0050c20000ff", "0050c2000100"})[i]);
  }
}

TEST(SimModule, NonModbusBytesCloseOnlyThatConnection) {
  RunningSim sim({OnLoopback(6)});
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  SocketGuard bad(sim.Connect());
  SocketGuard good(sim.Connect());
  ASSERT_GE(bad.fd, 0);
  ASSERT_GE(good.fd, 0);
  test::Put(bad.fd, {'G', 'E', 'T', ' ', '/', ' ', 'H', 'T', 'T', 'P'});
  uint8_t byte;
  EXPECT_EQ(::recv(bad.fd, &byte, 1, 0), 0);  // closed by the module
  // A write whose byte count disagrees with its count: exception 3.
  test::Put(good.fd, {0, 7, 0, 0, 0, 9, 1, 16, 0, 0, 0, 1, 4, 0, 1});
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(test::Drain(good.fd), (Bytes{0, 7, 0, 0, 0, 3, 1, 0x90, 3}));
  std::array<uint16_t, 1> word{};
  EXPECT_TRUE(ReadNode(good.fd, 1, word.data(), kTimeoutRegister, 1));
}

// What each call gives against each fault mode, and that it comes back
// within the bound.
struct FaultCase {
  FaultMode mode;
  bool read, write, statistics;
};

TEST(SimModule, EveryFaultModeEndsInTheClientsResultWithinTheBound) {
  const FaultCase cases[] = {
      {FaultMode::kNeverAnswer, false, false, false},
      {FaultMode::kSplitReply, true, true, true},          // read on until whole
      {FaultMode::kWrongFunction, false, false, true},     // statistics compare no field
      {FaultMode::kShortReply, false, false, true},
      {FaultMode::kCloseOnAccept, false, false, false},
  };
  std::vector<SimModuleConfig> configs;
  for (size_t i = 0; i < std::size(cases); ++i) {
    configs.push_back(OnLoopback(static_cast<uint8_t>(20 + i)));
    configs.back().fault = cases[i].mode;
  }
  RunningSim sim(configs);
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  // The modules are tried at the same time, so the test takes one bound.
  std::vector<std::thread> clients;
  std::array<std::array<int, 3>, std::size(cases)> results{};
  std::array<double, std::size(cases)> seconds{};
  for (size_t i = 0; i < std::size(cases); ++i) {
    clients.emplace_back([&, i] {
      SocketGuard s(sim.Connect(i));
      if (s.fd < 0) return;  // close-on-accept may refuse before the call
      const auto start = Clock::now();
      std::array<uint16_t, kStatusBlockWords> status{};
      results[i][0] = ReadNode(s.fd, 1, status.data(), STATUS_BLOCK, kStatusBlockWords);
      const std::array<uint16_t, 4> outputs{};
      results[i][1] = WriteNode(s.fd, 1, outputs.data(), kIoImageAddress, 4);
      std::array<uint8_t, kStatisticsSize> statistics{};
      results[i][2] = GetStatistics(s.fd, 1, statistics);
      seconds[i] = std::chrono::duration<double>(Clock::now() - start).count();
    });
  }
  for (auto& t : clients) t.join();
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(FaultModeName(cases[i].mode));
    EXPECT_EQ(results[i][0], cases[i].read);
    EXPECT_EQ(results[i][1], cases[i].write);
    EXPECT_EQ(results[i][2], cases[i].statistics);
    // Three calls, each bounded by kReplyTimeoutMs.
    EXPECT_LT(seconds[i], 3 * kReplyTimeoutMs / 1000.0 + 2.0);
  }
}

TEST(SimModuleSpec, KeysCountsAndRefusals) {
  SimModuleConfig defaults = OnLoopback(1, 1502);
  std::vector<SimModuleConfig> out;
  std::string error;
  ASSERT_TRUE(ParseModuleSpec("ip=127.0.0.9,port=1600,id=1218,in=3,out=0,mac=0050c2000010,health=00a5,"
                              "error=1f,errors=7,text=hello,timeout=20,flash=0,bootp=1,static=1,fault=short",
                              defaults, out, error))
      << error;
  ASSERT_EQ(out.size(), 1u);
  const SimModuleConfig& c = out[0];
  EXPECT_EQ(FormatIpv4(c.address), "127.0.0.9");
  EXPECT_EQ(c.port, 1600);
  EXPECT_EQ(c.moduleId, 1218);
  EXPECT_EQ(c.inputWords, 3);
  EXPECT_EQ(c.outputWords, 0);
  EXPECT_EQ(FormatMac(c.mac), "0050c2000010");
  EXPECT_EQ(c.health, 0x00A5);
  EXPECT_EQ(c.lastError, 0x1F);
  EXPECT_EQ(c.errorCount, 7);
  EXPECT_EQ(c.text.value_or(""), "hello");
  EXPECT_EQ(c.timeout, 20);
  EXPECT_FALSE(c.flashFlag);
  EXPECT_FALSE(c.hasAddress);
  EXPECT_FALSE(c.changingInputs);
  EXPECT_EQ(c.fault, FaultMode::kShortReply);

  out.clear();
  ASSERT_TRUE(ParseModuleSpec("", defaults, out, error));
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].port, 1502);

  for (const char* bad : {"colour=red", "ip=300.1.1.1", "port=70000", "mac=0050c2", "mac=0050c20000zz",
                          "fault=sometimes", "count=0", "count=255", "id=-1", "in=", "health=12345", "flash"}) {
    out.clear();
    error.clear();
    EXPECT_FALSE(ParseModuleSpec(bad, defaults, out, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
    EXPECT_TRUE(out.empty()) << bad;
  }
}

}  // namespace
}  // namespace plinth
