#include "net/bootp_server.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <tuple>
#include <vector>

#include "tests/support/bootp_test_support.h"

namespace plinth {
namespace {

using namespace std::chrono_literals;
using namespace test;

// Replies byte for byte, recording and ignoring: the request tests; real ports:
// the namespace road test; switching on while stopping: the window's button.
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

TEST(UdpThread, DestroyedWhileRunningItEndsItsThreadAStopWithoutASocketShowsEveryStepThatFails) {
  NetState net;
  RecordedMessages messages;
  {
    UdpThread server(net, messages, test::LoopbackOptions(9));
    ASSERT_TRUE(server.SwitchOn() && server.WaitUntilBound(2s));
  }
  EXPECT_EQ(net.bootpRunning.load(), 0);
  // No new descriptor allowed: socket() fails. Not in sanitizer builds, whose runtime needs descriptors of its own.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  net.bootpStop.store(0);
  rlimit saved{};
  getrlimit(RLIMIT_NOFILE, &saved);
  rlimit none{0, saved.rlim_max};
  setrlimit(RLIMIT_NOFILE, &none);
  StopBootpServer(net, messages, Ip("127.0.0.1"), 9);
  setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_EQ(net.bootpStop.load(), 1);
  EXPECT_EQ(test::Texts(messages), (std::vector<std::string>{"socket() failed!",
                                                              "could not get authority to BROADCAST messages!",
                                                              "sendto() failed for killing udp!"}));
#endif
}

TEST(UdpThread, SwitchedOffItEndsAtTheNextDatagramOnAgainAsItEndsItServesAndAReceiveErrorIsShown) {
  test::RunningServer s;
  ASSERT_TRUE(s.started);
  auto [net, messages, module, server] = std::tie(s.net, s.messages, s.module, s.server);
  const BootpMessage request = MakeBootpRequest(Mac(1), 9, 0);
  server.SwitchOff();
  ASSERT_TRUE(module.Send(server.BoundPort(), request));
  EXPECT_FALSE(module.Receive(100ms).has_value());
  EXPECT_TRUE(WaitForBootpServer(net));
  ASSERT_TRUE(server.SwitchOn() && server.WaitUntilBound(2s));
  EXPECT_EQ(server.RunsStarted(), 2);
  // Switched on again the moment the thread lets its port go, after it saw the stop: each time, a server serves.
  for (int i = 0; i < 20; ++i) {
    server.SwitchOff();
    ASSERT_TRUE(module.Send(server.BoundPort(), request));
    const auto end = std::chrono::steady_clock::now() + 2s;
    while (server.BoundPort() && std::chrono::steady_clock::now() < end) std::this_thread::yield();
    ASSERT_TRUE(server.SwitchOn() && server.WaitUntilBound(2s)) << "round " << i;
  }
  ASSERT_TRUE(module.Send(server.BoundPort(), request));
  EXPECT_TRUE(module.Receive(2s).has_value());

  // A receive that fails for good (the socket became something else) ends the server with a message.
  const int fd = test::ServerSocket(server.BoundPort());
  ASSERT_GE(fd, 0);
  const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(dup2(devNull, fd), fd);  // the receive under way still has the socket
  close(devNull);
  net.bootpStop.store(0, std::memory_order_release);  // orders the swap before the server's close, for TSan
  const BootpMessage unknown = MakeBootpRequest(Mac(2), 9, 0);  // no reply to send
  ASSERT_TRUE(module.Send(server.BoundPort(), unknown));
  ASSERT_TRUE(test::WaitUntil([&] { return net.bootpRunning.load() == 0; }));
  EXPECT_TRUE(server.Failed());
  EXPECT_EQ(test::Texts(messages), std::vector<std::string>{"recvfrom() failed!"});
}

}  // namespace
}  // namespace plinth
