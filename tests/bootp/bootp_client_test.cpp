#include "sim/bootp_client.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <thread>

#include "bootp_test_support.h"
#include "net/bootp_server.h"
#include "net/bootp_socket.h"

namespace plinth {
namespace {

using namespace std::chrono_literals;
using test::Ip;
using test::Mac;

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 3s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

// A UDP port on loopback that was free a moment ago.
uint16_t FreePort() {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a = SocketAddress(Ip("127.0.0.1"), 0);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t length = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
  close(fd);
  return ntohs(a.sin_port);
}

TEST(BootpClient, AsksUntilAnsweredAndAgainWhenSentBackToBootp) {
  NetState net;
  RecordedMessages messages;
  BootpServerOptions serverOptions;
  serverOptions.serverPort = 0;
  serverOptions.clientPort = FreePort();
  serverOptions.bindAddress = Ip("127.0.0.1");
  serverOptions.replyAddress = Ip("127.0.0.1");
  UdpThread server(net, messages, serverOptions);
  ASSERT_TRUE(server.SwitchOn());
  ASSERT_TRUE(server.WaitUntilBound(2s));

  BootpClientOptions options;
  options.serverPort = server.BoundPort();
  options.clientPort = serverOptions.clientPort;
  options.serverAddress = Ip("127.0.0.1");
  options.bindAddress = Ip("127.0.0.1");
  options.interval = 30ms;
  std::atomic<int> handed{0};
  std::atomic<uint32_t> last{0};
  BootpClient module(Mac(4), options, [&](uint32_t a) {
    last = a;
    ++handed;
  });
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
  EXPECT_EQ(last.load(), Ip("10.0.0.44"));
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

TEST(BootpClient, RepliesForOtherModulesAndMalformedRepliesAreNotTaken) {
  BootpClientOptions options;
  options.serverPort = FreePort();  // nobody serves: requests go nowhere
  options.clientPort = 0;
  options.serverAddress = Ip("127.0.0.1");
  options.bindAddress = Ip("127.0.0.1");
  options.interval = 20ms;
  std::atomic<int> handed{0};
  BootpClient module(Mac(4), options, [&](uint32_t) { ++handed; });
  std::string error;
  ASSERT_TRUE(module.Start(error)) << error;

  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  const sockaddr_in to = SocketAddress(Ip("127.0.0.1"), module.Port());
  auto send = [&](const BootpMessage& m, size_t size) {
    sendto(fd, m.data(), size, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  };
  BootpMessage other = MakeBootpRequest(Mac(5), 1, 0);
  other[kBootpOp] = kBootReply;
  other[kBootpYiaddr] = 10;
  send(other, other.size());                 // another module's reply
  BootpMessage request = MakeBootpRequest(Mac(4), 1, 0);
  request[kBootpYiaddr] = 10;
  send(request, request.size());             // a request, not a reply
  BootpMessage mine = other;
  const MacAddress own = Mac(4);
  std::copy(own.begin(), own.end(), mine.begin() + kBootpChaddr);
  send(mine, 299);                           // too short
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(handed.load(), 0);
  EXPECT_TRUE(module.Asking());
  send(mine, mine.size());
  EXPECT_TRUE(WaitUntil([&] { return handed.load() == 1; }));
  EXPECT_EQ(module.Address(), Ip("10.0.0.0"));
  close(fd);
}

}  // namespace
}  // namespace plinth
