// The connect worker of "Connect to module", on loopback: a module that
// answers is connected; a host that stays silent is given up on Cancel at
// once, and the worker leaves nothing connected.
#include "net/connect_worker.h"

#include <gtest/gtest.h>

#include "config/text_scan.h"
#include "net/modbus_client.h"
#include "running_sim.h"

namespace plinth {
namespace {

TEST(ConnectWorker, ConnectsOrGivesUpOnCancel) {
  test::RunningSim sim({test::OnLoopback(41)});
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  ConnectWorker worker(OpenTcpSocket(), sim.Module().Address(), sim.Module().Port(), 5000);
  ASSERT_TRUE(worker.Start());
  ASSERT_TRUE(test::WaitUntil([&] { return worker.connecting.load() == 0; }));
  worker.Join();
  ASSERT_EQ(worker.connected.load(), 1);
  test::SocketGuard connection(worker.TakeSocket());
  uint16_t id = 0;
  EXPECT_TRUE(ReadNode(connection.fd, 1, &id, STATUS_BLOCK + kStatusModuleId, 1));

  // A full listen queue: the connect hangs until Cancel.
  const uint16_t port = test::UnusedPort();
  sockaddr_in at{AF_INET, htons(port), {ParseIpv4("127.0.0.42")}, {}};
  test::SocketGuard listener(::socket(AF_INET, SOCK_STREAM, 0)), filler(OpenTcpSocket());
  ASSERT_EQ(::bind(listener.fd, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
  ::listen(listener.fd, 0);
  ConnectSocket(filler.fd, at.sin_addr.s_addr, port, 0);
  ConnectWorker silent(OpenTcpSocket(), at.sin_addr.s_addr, port, 60000);
  ASSERT_TRUE(silent.Start());
  EXPECT_FALSE(test::WaitUntil([&] { return silent.connecting.load() == 0; }));
  silent.Cancel();
  EXPECT_TRUE(test::WaitUntil([&] { return silent.connecting.load() == 0; }));
  silent.Join();
  EXPECT_EQ(silent.connected.load(), 0);
  EXPECT_EQ(silent.TakeSocket(), -1);
}

}  // namespace
}  // namespace plinth
