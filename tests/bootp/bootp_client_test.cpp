#include "sim/bootp_client.h"

#include <gtest/gtest.h>

#include <atomic>

#include "bootp_test_support.h"

namespace plinth {
namespace {

using namespace std::chrono_literals;
using test::Ip;
using test::Mac;
using test::WaitUntil;

TEST(BootpClient, AsksUntilAnsweredAndAgainWhenSentBackToBootp) {
  uint16_t replyPort = test::LoopbackModule().port;  // a port that was free a moment ago
  test::RunningServer s(replyPort);
  ASSERT_TRUE(s.started);
  BootpClientOptions options{s.server.BoundPort(), replyPort, Ip("127.0.0.1"), Ip("127.0.0.1"), "", 30ms};
  std::atomic<int> handed{0};
  BootpClient module(Mac(4), options, [&](uint32_t) { ++handed; });
  std::string error;
  ASSERT_TRUE(module.Start(error)) << error;

  // Unknown: recorded once, and the module keeps asking.
  ASSERT_TRUE(WaitUntil([&] { return module.RequestsSent() >= 3; }));
  EXPECT_TRUE(module.Asking());
  EXPECT_EQ(s.net.bootp.requests[0].mac.load(), PackMac(Mac(4)));
  EXPECT_EQ(s.net.bootp.requests[1].used.load() + handed.load(), 0);

  // Registered: the next request is answered and the module stops asking.
  AddBootpEntry(s.net.bootp, Mac(4), "10.0.0.44", s.messages);
  ASSERT_TRUE(WaitUntil([&] { return handed.load() == 1; }));
  EXPECT_FALSE(module.Asking());
  EXPECT_EQ(module.Address(), Ip("10.0.0.44"));
  const int sent = module.RequestsSent();
  std::this_thread::sleep_for(120ms);
  EXPECT_EQ(module.RequestsSent(), sent);

  // Flash flag 0: back to BOOTP, answered again.
  module.Restart();
  ASSERT_TRUE(WaitUntil([&] { return handed.load() == 2; }));
  EXPECT_GT(module.RequestsSent(), sent);
  module.Stop();
  EXPECT_TRUE(ShutdownBootpServer(s.server, s.messages));
  EXPECT_TRUE(s.messages.entries.empty());
}

}  // namespace
}  // namespace plinth
