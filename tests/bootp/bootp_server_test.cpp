#include "net/bootp_server.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstring>
#include <vector>

#include "bootp_test_support.h"

namespace plinth {
namespace {

using namespace std::chrono_literals;
using test::Ip;
using test::Mac;

TEST(UdpThread, AnswersRecordsAndIgnoresOnLoopback) {
  test::RunningServer s(-1, "plinth-test");
  ASSERT_TRUE(s.started);
  const uint16_t port = s.server.BoundPort();
  BootpMessage request = MakeBootpRequest(Mac(1), 0x12345678, 0);
  request[200] = 0xAB;  // inside file: must come back
  ASSERT_TRUE(s.module.Send(port, request));
  const auto reply = s.module.Receive(2s);
  ASSERT_TRUE(reply.has_value());
  BootpMessage expected = request;
  expected[0] = 2;
  const uint32_t yiaddr = Ip("10.0.0.21");
  std::memcpy(expected.data() + kBootpYiaddr, &yiaddr, 4);
  std::memcpy(expected.data() + kBootpSname, "plinth-test", 11);
  EXPECT_EQ(*reply, std::vector<uint8_t>(expected.begin(), expected.end()));

  // An unknown module's datagrams of 299 and 301 bytes are not recorded;
  // another asks twice and is recorded once. Then the first asks again:
  // its reply shows that everything before it was handled.
  std::vector<uint8_t> unknown(kBootpMessageSize + 1);
  const BootpMessage wrongSize = MakeBootpRequest(Mac(2), 1, 0);
  std::copy(wrongSize.begin(), wrongSize.end(), unknown.begin());
  const BootpMessage asking = MakeBootpRequest(Mac(3), 2, Ip("192.168.1.7"));
  ASSERT_TRUE(s.module.Send(port, unknown.data(), 299) && s.module.Send(port, unknown.data(), 301));
  ASSERT_TRUE(s.module.Send(port, asking) && s.module.Send(port, asking) && s.module.Send(port, request));
  ASSERT_TRUE(s.module.Receive(2s).has_value());
  EXPECT_FALSE(s.module.Receive(50ms).has_value());  // no other reply
  EXPECT_EQ(s.net.bootp.table[0].assigned.load(), 1);
  EXPECT_EQ(s.net.bootp.requests[0].mac.load(), PackMac(Mac(3)));
  EXPECT_EQ(s.net.bootp.requests[0].ipAddress.load(), Ip("192.168.1.7"));
  EXPECT_EQ(s.net.bootp.requests[1].used.load(), 0);
  EXPECT_TRUE(ShutdownBootpServer(s.server, s.messages));
  EXPECT_TRUE(s.messages.entries.empty());
}

// Switching on while stopping is tested through the window's button.
TEST(UdpThread, SwitchedOffItEndsAtTheNextDatagramAndOnAgainStartsANewRun) {
  test::RunningServer s;
  ASSERT_TRUE(s.started);
  const BootpMessage request = MakeBootpRequest(Mac(1), 9, 0);
  s.server.SwitchOff();
  ASSERT_TRUE(s.module.Send(s.server.BoundPort(), request));
  EXPECT_FALSE(s.module.Receive(100ms).has_value());
  EXPECT_TRUE(WaitForBootpServer(s.net));
  ASSERT_TRUE(s.server.SwitchOn() && s.server.WaitUntilBound(2s));
  EXPECT_EQ(s.server.RunsStarted(), 2);
  ASSERT_TRUE(s.module.Send(s.server.BoundPort(), request));
  EXPECT_TRUE(s.module.Receive(2s).has_value());
  EXPECT_TRUE(ShutdownBootpServer(s.server, s.messages));
  EXPECT_TRUE(s.messages.entries.empty());
}

TEST(UdpThread, FailedReplyLeavesTheEntryUnassigned) {
  test::RunningServer s(0);  // port 0: the send is refused
  ASSERT_TRUE(s.started);
  ASSERT_TRUE(s.module.Send(s.server.BoundPort(), MakeBootpRequest(Mac(1), 9, 0)));
  // An unknown module asks next: once it is recorded, the request was handled.
  ASSERT_TRUE(s.module.Send(s.server.BoundPort(), MakeBootpRequest(Mac(2), 9, 0)));
  ASSERT_TRUE(test::WaitUntil([&] { return s.net.bootp.requests[0].used.load() == 1; }));
  EXPECT_TRUE(ShutdownBootpServer(s.server, s.messages));
  EXPECT_EQ(s.net.bootp.table[0].assigned.load(), 0);
  EXPECT_EQ(test::Texts(s.messages), std::vector<std::string>{"sendto() failed!"});
}

TEST(UdpThread, StopWithoutASocketShowsEveryStepThatFails) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  // The sanitizers' runtime needs descriptors of its own for its checks.
  GTEST_SKIP() << "needs every file descriptor taken, which a sanitizer build cannot run with";
#endif
  NetState net;
  RecordedMessages messages;
  // No descriptor left below the limit: socket() fails.
  rlimit saved{};
  getrlimit(RLIMIT_NOFILE, &saved);
  const int lowest = open("/dev/null", O_RDONLY);
  close(lowest);
  rlimit none = saved;
  none.rlim_cur = static_cast<rlim_t>(lowest);
  setrlimit(RLIMIT_NOFILE, &none);
  StopBootpServer(net, messages, Ip("127.0.0.1"), 9);
  setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_EQ(net.bootpStop.load(), 1);
  EXPECT_EQ(test::Texts(messages), (std::vector<std::string>{"socket() failed!",
                                                              "could not get authority to BROADCAST messages!",
                                                              "sendto() failed for killing udp!"}));
}

TEST(UdpThread, DestroyingARunningServerEndsItsThread) {
  NetState net;
  RecordedMessages messages;
  {
    UdpThread server(net, messages, test::LoopbackOptions(9));
    ASSERT_TRUE(server.SwitchOn() && server.WaitUntilBound(2s));
  }
  EXPECT_EQ(net.bootpRunning.load(), 0);
}

}  // namespace
}  // namespace plinth
