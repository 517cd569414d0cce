// The connect worker of "Connect to module" on loopback: a module that
// answers is connected; at a silent host Cancel ends the wait at once and
// leaves nothing connected.
#include "net/connect_worker.h"

#include <gtest/gtest.h>

#include "config/text_scan.h"
#include "running_sim.h"

namespace plinth {
namespace {

TEST(ConnectWorker, ConnectsOrGivesUpOnCancel) {
  const uint16_t port = test::UnusedPort();
  test::RunningSim sim({test::OnLoopback(41, port)});
  // 127.0.0.42: a full listen queue lets the connect hang.
  sockaddr_in at{AF_INET, htons(port), {ParseIpv4("127.0.0.42")}, {}};
  test::SocketGuard listener(::socket(AF_INET, SOCK_STREAM, 0)), filler(OpenTcpSocket());
  ASSERT_EQ(::bind(listener.fd, reinterpret_cast<sockaddr*>(&at), sizeof at) | ::listen(listener.fd, 0), 0);
  ConnectSocket(filler.fd, at.sin_addr.s_addr, port, 0);

  ConnectWorker answering(OpenTcpSocket(), ParseIpv4("127.0.0.41"), port, 5000), silent(OpenTcpSocket(), at.sin_addr.s_addr, port, 60000);
  ASSERT_TRUE(answering.Start() && silent.Start());
  EXPECT_TRUE(test::WaitUntil([&] { return answering.connecting.load() == 0; }));
  EXPECT_EQ(silent.connecting.load(), 1);
  silent.Cancel();
  EXPECT_TRUE(test::WaitUntil([&] { return silent.connecting.load() == 0; }));
  answering.Join(), silent.Join();
  EXPECT_EQ(answering.connected.load() * 10 + silent.connected.load(), 10);
  test::SocketGuard connection(answering.TakeSocket());
  EXPECT_TRUE(connection.fd >= 0 && silent.TakeSocket() == -1);
}

}  // namespace
}  // namespace plinth
