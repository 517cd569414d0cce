#include "net/bootp_server.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "bootp_test_support.h"
#include "net/bootp_socket.h"

namespace plinth {
namespace {

using namespace std::chrono_literals;
using test::Ip;
using test::LoopbackModule;
using test::Mac;

class EventLog : public BootpEventSink {
 public:
  void OnBootpEvent(const BootpEvent& event) override {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(event);
  }
  // Waits until n events were seen; returns a copy of them.
  std::vector<BootpEvent> WaitFor(size_t n) {
    for (int i = 0; i < 2000; ++i) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (events_.size() >= n) return events_;
      }
      std::this_thread::sleep_for(1ms);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }

 private:
  std::mutex mutex_;
  std::vector<BootpEvent> events_;
};

BootpServerOptions LoopbackOptions(uint16_t clientPort) {
  BootpServerOptions o;
  o.serverPort = 0;
  o.clientPort = clientPort;
  o.bindAddress = Ip("127.0.0.1");
  o.replyAddress = Ip("127.0.0.1");
  return o;
}

TEST(UdpThread, AnswersRecordsAndIgnoresOnLoopback) {
  NetState net;
  net.hostName = "plinth-test";
  RecordedMessages messages;
  AddBootpEntry(net.bootp, Mac(1), "10.0.0.21", messages);
  LoopbackModule module;
  EventLog log;
  UdpThread server(net, messages, LoopbackOptions(module.port), &log);
  ASSERT_TRUE(server.SwitchOn());
  ASSERT_TRUE(server.WaitUntilBound(2s));

  BootpMessage request = MakeBootpRequest(Mac(1), 0x12345678, 0);
  request[200] = 0xAB;  // inside file: must come back
  ASSERT_TRUE(module.Send(server.BoundPort(), request.data(), request.size()));
  const auto reply = module.Receive(2s);
  ASSERT_TRUE(reply.has_value());
  ASSERT_EQ(reply->size(), kBootpMessageSize);
  BootpMessage expected = request;
  expected[0] = 2;
  const uint32_t yiaddr = Ip("10.0.0.21");
  std::memcpy(expected.data() + kBootpYiaddr, &yiaddr, 4);
  std::memcpy(expected.data() + kBootpSname, "plinth-test", 11);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), reply->begin()));

  // A short datagram, a wrong op and an unknown module asking twice.
  ASSERT_TRUE(module.Send(server.BoundPort(), request.data(), 299));
  BootpMessage wrongOp = MakeBootpRequest(Mac(2), 1, 0);
  wrongOp[0] = 2;
  ASSERT_TRUE(module.Send(server.BoundPort(), wrongOp.data(), wrongOp.size()));
  const BootpMessage unknown = MakeBootpRequest(Mac(3), 2, Ip("192.168.1.7"));
  ASSERT_TRUE(module.Send(server.BoundPort(), unknown.data(), unknown.size()));
  ASSERT_TRUE(module.Send(server.BoundPort(), unknown.data(), unknown.size()));

  const std::vector<BootpEvent> events = log.WaitFor(5);
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(events[0].handling.verdict, BootpVerdict::kReply);
  EXPECT_FALSE(events[0].sendFailed);
  EXPECT_NE(events[0].interfaceIndex, 0);
  EXPECT_EQ(events[1].handling.reason, BootpIgnoreReason::kSize);
  EXPECT_EQ(events[1].size, 299u);
  EXPECT_EQ(events[2].handling.reason, BootpIgnoreReason::kOp);
  EXPECT_EQ(events[3].handling.verdict, BootpVerdict::kRecorded);
  EXPECT_EQ(events[4].handling.verdict, BootpVerdict::kAlreadyRecorded);
  EXPECT_EQ(net.bootp.table[0].assigned.load(), 1);
  EXPECT_EQ(net.bootp.requests[0].ipAddress.load(), Ip("192.168.1.7"));
  EXPECT_EQ(net.bootp.requests[1].used.load(), 0);
  EXPECT_FALSE(module.Receive(50ms).has_value());  // no reply but the first

  EXPECT_TRUE(ShutdownBootpServer(server, messages));
  EXPECT_EQ(net.bootpRunning.load(), 0);
  EXPECT_TRUE(messages.entries.empty());
}

TEST(UdpThread, SwitchingOnWhileStoppingKeepsTheSameThread) {
  NetState net;
  RecordedMessages messages;
  AddBootpEntry(net.bootp, Mac(1), "10.0.0.21", messages);
  LoopbackModule module;
  UdpThread server(net, messages, LoopbackOptions(module.port));
  ASSERT_TRUE(server.SwitchOn());
  ASSERT_TRUE(server.WaitUntilBound(2s));
  const uint16_t port = server.BoundPort();

  server.SwitchOff();  // no datagram comes: the thread stays
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(net.bootpRunning.load(), 1);
  EXPECT_EQ(net.bootpStop.load(), 1);
  ASSERT_TRUE(server.SwitchOn());
  EXPECT_EQ(server.RunsStarted(), 1);
  EXPECT_EQ(server.BoundPort(), port);  // same socket
  const BootpMessage request = MakeBootpRequest(Mac(1), 9, 0);
  ASSERT_TRUE(module.Send(port, request.data(), request.size()));
  EXPECT_TRUE(module.Receive(2s).has_value());

  // Off, and the next datagram ends it without an answer.
  server.SwitchOff();
  ASSERT_TRUE(module.Send(port, request.data(), request.size()));
  EXPECT_FALSE(module.Receive(100ms).has_value());
  EXPECT_TRUE(WaitForBootpServer(net));
  // On again: a new thread and a new socket.
  ASSERT_TRUE(server.SwitchOn());
  ASSERT_TRUE(server.WaitUntilBound(2s));
  EXPECT_EQ(server.RunsStarted(), 2);
  ASSERT_TRUE(module.Send(server.BoundPort(), request.data(), request.size()));
  EXPECT_TRUE(module.Receive(2s).has_value());
  EXPECT_TRUE(ShutdownBootpServer(server, messages));
  EXPECT_TRUE(messages.entries.empty());
}

TEST(UdpThread, BindFailureEndsTheRunWithItsMessage) {
  NetState first, second;
  RecordedMessages messages;
  LoopbackModule module;
  UdpThread a(first, messages, LoopbackOptions(module.port));
  ASSERT_TRUE(a.SwitchOn());
  ASSERT_TRUE(a.WaitUntilBound(2s));
  BootpServerOptions taken = LoopbackOptions(module.port);
  taken.serverPort = a.BoundPort();
  UdpThread b(second, messages, taken);
  ASSERT_TRUE(b.SwitchOn());
  EXPECT_FALSE(b.WaitUntilBound(2s));
  EXPECT_TRUE(WaitForBootpServer(second));
  ASSERT_EQ(messages.entries.size(), 1u);
  EXPECT_EQ(messages.entries[0].text, "bind failed!");
  EXPECT_TRUE(ShutdownBootpServer(a, messages));
}

TEST(UdpThread, FailedReplyLeavesTheEntryUnassigned) {
  NetState net;
  RecordedMessages messages;
  AddBootpEntry(net.bootp, Mac(1), "10.0.0.21", messages);
  LoopbackModule module;
  EventLog log;
  UdpThread server(net, messages, LoopbackOptions(0), &log);  // port 0: the send is refused
  ASSERT_TRUE(server.SwitchOn());
  ASSERT_TRUE(server.WaitUntilBound(2s));
  const BootpMessage request = MakeBootpRequest(Mac(1), 9, 0);
  ASSERT_TRUE(module.Send(server.BoundPort(), request.data(), request.size()));
  const std::vector<BootpEvent> events = log.WaitFor(1);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_TRUE(events[0].sendFailed);
  EXPECT_EQ(net.bootp.table[0].assigned.load(), 0);
  EXPECT_TRUE(ShutdownBootpServer(server, messages));
  ASSERT_EQ(messages.entries.size(), 1u);
  EXPECT_EQ(messages.entries[0].text, "sendto() failed!");
}

TEST(UdpThread, ShutdownWaitPassesAtOnceWithoutServerAndGivesUpAfterFiveSeconds) {
  NetState net;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(WaitForBootpServer(net));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms);
  net.bootpRunning = 1;  // a worker that does not react
  EXPECT_FALSE(WaitForBootpServer(net));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 5s);
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

}  // namespace
}  // namespace plinth
