// The client against a libmodbus server, and the simulator against libmodbus's client.
#include <gtest/gtest.h>
#include <modbus.h>
#include <cerrno>
#include <memory>
#include "base/text_scan.h"
#include "net/modbus_client.h"
#include "tests/support/libmodbus_server.h"
#include "tests/support/running_sim.h"

namespace plinth {
namespace {
TEST(LibmodbusServerPeer, ReadNodeWriteNodeAndTheFlashFlagAgainstAnIndependentServer) {
  test::LibmodbusServer server("127.0.0.1", kTextBlockAddress);  // registers 0..0xFBFF
  ASSERT_TRUE(server.Listening());
  for (int k = 0; k < 125; ++k) server.SetRegister(k, static_cast<uint16_t>(k * 7));
  test::SocketGuard s(ConnectTcp(ParseIpv4("127.0.0.1"), server.Port()));
  std::vector<uint16_t> most(125, 0xBEEF);
  std::array<uint16_t, 123> words{};
  for (size_t i = 0; i < words.size(); ++i) words[i] = htons(static_cast<uint16_t>(0xA000 + i));
  // Exceptions (no such register) fail, leave the destination, and the connection stays usable.
  EXPECT_FALSE(ReadNode(s.fd, 1, most.data(), kTextBlockAddress, 13));
  EXPECT_FALSE(WriteNode(s.fd, 1, words.data(), kTextBlockAddress - 1, 2));
  EXPECT_EQ((std::vector<int>{most[0], server.Register(kTextBlockAddress - 1)}), (std::vector<int>{0xBEEF, 0}));
  ASSERT_TRUE(ReadNode(s.fd, 0x2A, most.data(), 0, 125));
  EXPECT_EQ(ntohs(most[124]), 124 * 7);
  // The largest write: its single-byte length and byte count are full.
  ASSERT_TRUE(WriteNode(s.fd, 1, words.data(), 0x0100, 123));
  EXPECT_EQ((std::vector<int>{server.Register(0x0100), server.Register(0x0100 + 122)}), (std::vector<int>{0xA000, 0xA000 + 122}));
  WriteFlashFlag(s.fd, true);  // its acknowledgement stays unread
  EXPECT_TRUE(test::WaitUntil([&] { return server.Register(kIpFlashFlagRegister) == 1; }));
}

TEST(LibmodbusClientPeer, SimulatorAnswersFunctions3And16AndExceptionsOtherwise) {
  SimModuleConfig config = test::OnLoopback(30);
  config.moduleId = 736, config.changingInputs = false, config.timeout = 25;  // 5 in, 5 out
  test::RunningSim sim({config});
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  sim.Module().SetInput(4, 0x4242);
  modbus_t* const ctx = modbus_new_tcp(FormatIpv4(sim.Module().Address()).c_str(), sim.Module().Port());
  const std::unique_ptr<modbus_t, void (*)(modbus_t*)> owner(ctx, [](modbus_t* c) { modbus_close(c), modbus_free(c); });
  modbus_set_response_timeout(ctx, 2, 0);
  ASSERT_EQ(modbus_connect(ctx), 0);
  uint16_t status[kStatusBlockWords] = {}, words[8] = {};
  ASSERT_EQ(modbus_read_registers(ctx, STATUS_BLOCK, kStatusBlockWords, status), kStatusBlockWords);
  EXPECT_EQ(std::vector<int>({status[kStatusInputWords], status[kStatusOutputWords], status[kStatusModuleId],
                              status[kStatusHealth]}),
            std::vector<int>({5, 5, 736, kGoodHealth}));
  uint16_t text[8] = {}, timeout = 0;  // "482-BLL-204-05"
  ASSERT_EQ(modbus_read_registers(ctx, kIoImageAddress, 5, words) + modbus_read_registers(ctx, kTimeoutRegister, 1, &timeout) +
                modbus_read_registers(ctx, kTextBlockAddress, status[kStatusTextWords], text), 6 + status[kStatusTextWords]);
  EXPECT_EQ(std::vector<int>({words[4], text[0], timeout}), std::vector<int>({0x4242, ('4' << 8) | '8', 25}));
  const uint16_t outputs[5] = {0x4444, 0x0044, 0, 0xFFFF, 7}, two = 2, zero = 0;
  ASSERT_EQ(modbus_write_registers(ctx, kIoImageAddress, 5, outputs), 5);
  // Refused: past the images, other functions, a flash flag above 1. A refused write changes nothing.
  auto error = [](int result) { return result == -1 ? errno : 0; };  // right after each call
  EXPECT_EQ(std::vector<int>({error(modbus_read_registers(ctx, 0x1234, 1, words)),
                              error(modbus_read_registers(ctx, kIoImageAddress, 6, words)),
                              error(modbus_read_registers(ctx, STATUS_BLOCK + 10, 5, words)),
                              error(modbus_write_registers(ctx, kIoImageAddress, 6, words)),
                              error(modbus_read_input_registers(ctx, 0, 1, words)), error(modbus_write_register(ctx, 0, 1)),
                              error(modbus_write_registers(ctx, kIpFlashFlagRegister, 1, &two))}),
            std::vector<int>({EMBXILADD, EMBXILADD, EMBXILADD, EMBXILADD, EMBXILFUN, EMBXILFUN, EMBXILVAL}));
  EXPECT_EQ(sim.Module().Outputs(), (std::vector<uint16_t>{0x4444, 0x0044, 0, 0xFFFF, 7}));
  EXPECT_TRUE(sim.Module().FlashFlag());
  ASSERT_EQ(modbus_write_registers(ctx, kIpFlashFlagRegister, 1, &zero), 1);
  EXPECT_FALSE(sim.Module().FlashFlag());
}
}  // namespace
}  // namespace plinth
