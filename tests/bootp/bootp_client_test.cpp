#include "sim/bootp_client.h"

#include <gtest/gtest.h>

#include <atomic>

#include "bootp_test_support.h"
#include "net/bootp_server.h"

namespace plinth {
namespace {

using namespace std::chrono_literals;
using test::Ip;
using test::Mac;
using test::WaitUntil;

TEST(BootpClient, AsksUntilAnsweredAndAgainWhenSentBackToBootp) {
  uint16_t replyPort = 0;
  {
    test::LoopbackModule free;  // a port that was free a moment ago
    replyPort = free.port;
  }
  NetState net;
  RecordedMessages messages;
  UdpThread server(net, messages, test::LoopbackOptions(replyPort));
  ASSERT_TRUE(server.SwitchOn());
  ASSERT_TRUE(server.WaitUntilBound(2s));

  BootpClientOptions options{server.BoundPort(), replyPort, Ip("127.0.0.1"), Ip("127.0.0.1"), "", 30ms};
  std::atomic<int> handed{0};
  BootpClient module(Mac(4), options, [&](uint32_t) { ++handed; });
  std::string error;
  ASSERT_TRUE(module.Start(error)) << error;

  // Unknown: recorded once, and the module keeps asking.
  ASSERT_TRUE(WaitUntil([&] { return module.RequestsSent() >= 3; }));
  EXPECT_TRUE(module.Asking());
  EXPECT_EQ(net.bootp.requests[0].mac.load(), PackMac(Mac(4)));
  EXPECT_EQ(net.bootp.requests[1].used.load(), 0);
  EXPECT_EQ(handed.load(), 0);

  // Registered: the next request is answered and the module stops asking.
  AddBootpEntry(net.bootp, Mac(4), "10.0.0.44", messages);
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
  EXPECT_TRUE(ShutdownBootpServer(server, messages));
  EXPECT_TRUE(messages.entries.empty());
}

}  // namespace
}  // namespace plinth
