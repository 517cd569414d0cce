// Both sides against an independent implementation: the client against a
// libmodbus server, and the simulator against libmodbus's client.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <modbus.h>

#include <cerrno>

#include "config/text_scan.h"
#include "libmodbus_server.h"
#include "net/modbus_client.h"
#include "net/tcp_connect.h"
#include "running_sim.h"

namespace plinth {
namespace {

using test::LibmodbusServer;
using test::OnLoopback;
using test::RunningSim;
using test::SocketGuard;

TEST(LibmodbusServerPeer, ReadNodeAndWriteNodeExchangeRegisters) {
  LibmodbusServer server("127.0.0.1");
  ASSERT_TRUE(server.Listening());
  for (int k = 0; k < kStatusBlockWords; ++k) server.SetRegister(STATUS_BLOCK + k, static_cast<uint16_t>(0x1100 + k));
  for (int k = 0; k < 125; ++k) server.SetRegister(k, static_cast<uint16_t>(k * 7));
  SocketGuard s(ConnectTcp(ParseIpv4("127.0.0.1"), server.Port()));
  ASSERT_GE(s.fd, 0);

  std::array<uint16_t, kStatusBlockWords> status{};
  ASSERT_TRUE(ReadNode(s.fd, 1, status.data(), STATUS_BLOCK, kStatusBlockWords));
  for (int k = 0; k < kStatusBlockWords; ++k) EXPECT_EQ(ntohs(status[static_cast<size_t>(k)]), 0x1100 + k);

  std::array<uint16_t, 125> most{};
  ASSERT_TRUE(ReadNode(s.fd, 0x2A, most.data(), 0, 125));
  EXPECT_EQ(ntohs(most[124]), 124 * 7);

  std::array<uint16_t, 123> words{};
  for (size_t i = 0; i < words.size(); ++i) words[i] = htons(static_cast<uint16_t>(0xA000 + i));
  ASSERT_TRUE(WriteNode(s.fd, 1, words.data(), 0x0100, 123));
  EXPECT_EQ(server.Register(0x0100), 0xA000);
  EXPECT_EQ(server.Register(0x0100 + 122), 0xA000 + 122);

  WriteFlashFlag(s.fd, true);  // its acknowledgement stays unread...
  ::usleep(100000);
  EXPECT_EQ(server.Register(kIpFlashFlagRegister), 1);
  // ...so the next read sees two replies in one receive and fails, as the
  // window's dialog would (it closes the connection after the flag).
  EXPECT_FALSE(ReadNode(s.fd, 1, status.data(), STATUS_BLOCK, kStatusBlockWords));
}

TEST(LibmodbusServerPeer, ExceptionRepliesFailAndTheConnectionStaysUsable) {
  LibmodbusServer server("127.0.0.1", 0, 16);  // registers 0..15 only
  ASSERT_TRUE(server.Listening());
  SocketGuard s(ConnectTcp(ParseIpv4("127.0.0.1"), server.Port()));
  ASSERT_GE(s.fd, 0);
  std::array<uint16_t, 13> dest{};
  dest.fill(0xBEEF);
  EXPECT_FALSE(ReadNode(s.fd, 1, dest.data(), STATUS_BLOCK, 13));
  EXPECT_EQ(dest[0], 0xBEEF);
  EXPECT_FALSE(WriteNode(s.fd, 1, dest.data(), 10, 13));
  EXPECT_TRUE(ReadNode(s.fd, 1, dest.data(), 0, 13));
  EXPECT_EQ(server.RequestsServed(), 3);
}

class LibmodbusClient {
 public:
  LibmodbusClient(uint32_t address, uint16_t port) : ctx_(modbus_new_tcp(FormatIpv4(address).c_str(), port)) {
    modbus_set_response_timeout(ctx_, 2, 0);
    connected_ = modbus_connect(ctx_) == 0;
  }
  ~LibmodbusClient() {
    modbus_close(ctx_);
    modbus_free(ctx_);
  }
  bool Connected() const { return connected_; }
  modbus_t* operator*() { return ctx_; }

 private:
  modbus_t* ctx_;
  bool connected_ = false;
};

TEST(LibmodbusClientPeer, SimulatorAnswersFunctions3And16) {
  SimModuleConfig config = OnLoopback(30);
  config.moduleId = 736;  // 5 in, 5 out
  config.changingInputs = false;
  RunningSim sim({config});
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  sim.Module().SetInput(4, 0x4242);
  LibmodbusClient client(sim.Module().Address(), sim.Module().Port());
  ASSERT_TRUE(client.Connected());

  uint16_t status[kStatusBlockWords] = {};
  ASSERT_EQ(modbus_read_registers(*client, STATUS_BLOCK, kStatusBlockWords, status), kStatusBlockWords);
  EXPECT_EQ(status[kStatusInputWords], 5);
  EXPECT_EQ(status[kStatusOutputWords], 5);
  EXPECT_EQ(status[kStatusModuleId], 736);
  EXPECT_EQ(status[kStatusHealth], kGoodHealth);

  uint16_t inputs[5] = {};
  ASSERT_EQ(modbus_read_registers(*client, kIoImageAddress, 5, inputs), 5);
  EXPECT_EQ(inputs[4], 0x4242);

  const uint16_t outputs[5] = {0x4444, 0x0044, 0, 0xFFFF, 7};
  ASSERT_EQ(modbus_write_registers(*client, kIoImageAddress, 5, outputs), 5);
  EXPECT_EQ(sim.Module().Outputs(), (std::vector<uint16_t>{0x4444, 0x0044, 0, 0xFFFF, 7}));

  uint16_t text[8] = {};
  ASSERT_EQ(modbus_read_registers(*client, kTextBlockAddress, status[kStatusTextWords], text), status[kStatusTextWords]);
  EXPECT_EQ(text[0], ('4' << 8) | '8');  // "482-BLL-204-05"

  const uint16_t zero = 0;
  ASSERT_EQ(modbus_write_registers(*client, kIpFlashFlagRegister, 1, &zero), 1);
  EXPECT_FALSE(sim.Module().FlashFlag());
}

TEST(LibmodbusClientPeer, SimulatorAnswersOtherRequestsWithExceptions) {
  RunningSim sim({OnLoopback(31)});
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  LibmodbusClient client(sim.Module().Address(), sim.Module().Port());
  ASSERT_TRUE(client.Connected());
  uint16_t value = 0;
  EXPECT_EQ(modbus_read_registers(*client, 0x1234, 1, &value), -1);
  EXPECT_EQ(errno, EMBXILADD);
  EXPECT_EQ(modbus_read_input_registers(*client, 0, 1, &value), -1);
  EXPECT_EQ(errno, EMBXILFUN);
  EXPECT_EQ(modbus_write_register(*client, 0, 1), -1);  // function 6
  EXPECT_EQ(errno, EMBXILFUN);
  const uint16_t two = 2;
  EXPECT_EQ(modbus_write_registers(*client, kIpFlashFlagRegister, 1, &two), -1);
  EXPECT_EQ(errno, EMBXILVAL);
  EXPECT_TRUE(sim.Module().FlashFlag());
  EXPECT_EQ(modbus_read_registers(*client, kTimeoutRegister, 1, &value), 1);
  EXPECT_EQ(value, 100);
}

}  // namespace
}  // namespace plinth
