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
using test::LoopbackModule;
using test::LoopbackOptions;
using test::Mac;

TEST(UdpThread, AnswersRecordsAndIgnoresOnLoopback) {
  NetState net;
  net.hostName = "plinth-test";
  RecordedMessages messages;
  AddBootpEntry(net.bootp, Mac(1), "10.0.0.21", messages);
  LoopbackModule module;
  UdpThread server(net, messages, LoopbackOptions(module.port));
  ASSERT_TRUE(server.SwitchOn());
  ASSERT_TRUE(server.WaitUntilBound(2s));
  const uint16_t port = server.BoundPort();

  BootpMessage request = MakeBootpRequest(Mac(1), 0x12345678, 0);
  request[200] = 0xAB;  // inside file: must come back
  ASSERT_TRUE(module.Send(port, request.data(), request.size()));
  const auto reply = module.Receive(2s);
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
  ASSERT_TRUE(module.Send(port, unknown.data(), 299));
  ASSERT_TRUE(module.Send(port, unknown.data(), 301));
  const BootpMessage asking = MakeBootpRequest(Mac(3), 2, Ip("192.168.1.7"));
  ASSERT_TRUE(module.Send(port, asking.data(), asking.size()));
  ASSERT_TRUE(module.Send(port, asking.data(), asking.size()));
  ASSERT_TRUE(module.Send(port, request.data(), request.size()));
  ASSERT_TRUE(module.Receive(2s).has_value());
  EXPECT_FALSE(module.Receive(50ms).has_value());  // no other reply
  EXPECT_EQ(net.bootp.table[0].assigned.load(), 1);
  EXPECT_EQ(net.bootp.requests[0].mac.load(), PackMac(Mac(3)));
  EXPECT_EQ(net.bootp.requests[0].ipAddress.load(), Ip("192.168.1.7"));
  EXPECT_EQ(net.bootp.requests[1].used.load(), 0);

  EXPECT_TRUE(ShutdownBootpServer(server, messages));
  EXPECT_TRUE(messages.entries.empty());
}

// Switching on while stopping is tested through the window's button.
TEST(UdpThread, SwitchedOffItEndsAtTheNextDatagramAndOnAgainStartsANewRun) {
  NetState net;
  RecordedMessages messages;
  AddBootpEntry(net.bootp, Mac(1), "10.0.0.21", messages);
  LoopbackModule module;
  UdpThread server(net, messages, LoopbackOptions(module.port));
  ASSERT_TRUE(server.SwitchOn());
  ASSERT_TRUE(server.WaitUntilBound(2s));
  const BootpMessage request = MakeBootpRequest(Mac(1), 9, 0);
  server.SwitchOff();
  ASSERT_TRUE(module.Send(server.BoundPort(), request.data(), request.size()));
  EXPECT_FALSE(module.Receive(100ms).has_value());
  EXPECT_TRUE(WaitForBootpServer(net));
  ASSERT_TRUE(server.SwitchOn());
  ASSERT_TRUE(server.WaitUntilBound(2s));
  EXPECT_EQ(server.RunsStarted(), 2);
  ASSERT_TRUE(module.Send(server.BoundPort(), request.data(), request.size()));
  EXPECT_TRUE(module.Receive(2s).has_value());
  EXPECT_TRUE(ShutdownBootpServer(server, messages));
  EXPECT_TRUE(messages.entries.empty());
}

TEST(UdpThread, FailedReplyLeavesTheEntryUnassigned) {
  NetState net;
  RecordedMessages messages;
  AddBootpEntry(net.bootp, Mac(1), "10.0.0.21", messages);
  LoopbackModule module;
  UdpThread server(net, messages, LoopbackOptions(0));  // port 0: the send is refused
  ASSERT_TRUE(server.SwitchOn());
  ASSERT_TRUE(server.WaitUntilBound(2s));
  const BootpMessage request = MakeBootpRequest(Mac(1), 9, 0);
  ASSERT_TRUE(module.Send(server.BoundPort(), request.data(), request.size()));
  // An unknown module asks next: once it is recorded, the request was handled.
  const BootpMessage unknown = MakeBootpRequest(Mac(2), 9, 0);
  ASSERT_TRUE(module.Send(server.BoundPort(), unknown.data(), unknown.size()));
  ASSERT_TRUE(test::WaitUntil([&] { return net.bootp.requests[0].used.load() == 1; }));
  EXPECT_TRUE(ShutdownBootpServer(server, messages));
  EXPECT_EQ(net.bootp.table[0].assigned.load(), 0);
  EXPECT_EQ(test::Texts(messages), std::vector<std::string>{"sendto() failed!"});
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
    UdpThread server(net, messages, LoopbackOptions(9));
    ASSERT_TRUE(server.SwitchOn());
    ASSERT_TRUE(server.WaitUntilBound(2s));
  }
  EXPECT_EQ(net.bootpRunning.load(), 0);
}


TEST(UdpThread, SwitchedOnAsTheThreadEndsItServesAndAReceiveErrorIsShown) {
  NetState net;
  RecordedMessages messages;
  AddBootpEntry(net.bootp, Mac(1), "10.0.0.21", messages);
  LoopbackModule module;
  UdpThread server(net, messages, LoopbackOptions(module.port));
  ASSERT_TRUE(server.SwitchOn());
  ASSERT_TRUE(server.WaitUntilBound(2s));
  const BootpMessage request = MakeBootpRequest(Mac(1), 9, 0);
  // Switched on again the moment the thread lets its port go, after it saw
  // the stop: each time, a server serves.
  for (int i = 0; i < 20; ++i) {
    server.SwitchOff();
    ASSERT_TRUE(module.Send(server.BoundPort(), request.data(), request.size()));
    for (const auto end = std::chrono::steady_clock::now() + 2s; server.BoundPort() && std::chrono::steady_clock::now() < end;)
      std::this_thread::yield();
    ASSERT_TRUE(server.SwitchOn() && server.WaitUntilBound(2s)) << "round " << i;
  }
  ASSERT_TRUE(module.Send(server.BoundPort(), request.data(), request.size()));
  EXPECT_TRUE(module.Receive(2s).has_value());

  // A receive that fails for good (the socket became something else) ends
  // the server with a message, and it says it is off.
  const int fd = test::ServerSocket(server.BoundPort());
  ASSERT_GE(fd, 0);
  const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(dup2(devNull, fd), fd);  // the receive under way still has the socket
  close(devNull);
  net.bootpStop.store(0, std::memory_order_release);  // orders the swap before the server's close, for TSan
  const BootpMessage unknown = MakeBootpRequest(Mac(2), 9, 0);  // no reply to send
  ASSERT_TRUE(module.Send(server.BoundPort(), unknown.data(), unknown.size()));
  ASSERT_TRUE(test::WaitUntil([&] { return net.bootpRunning.load() == 0; }));
  EXPECT_TRUE(server.Failed());
  EXPECT_EQ(test::Texts(messages), std::vector<std::string>{"recvfrom() failed!"});
}

}  // namespace
}  // namespace plinth
