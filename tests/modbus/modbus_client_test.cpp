// The client against a scripted peer: the requests byte for byte, which
// replies count, and that every bad reply gives false within the bound.
#include "net/modbus_client.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "net/modbus_frames.h"
#include "net/tcp_connect.h"
#include "scripted_peer.h"

namespace plinth {
namespace {

using test::Bytes;
using test::Drain;
using test::Put;
using test::SocketPair;
using Clock = std::chrono::steady_clock;

// A reply to a read of 13 registers whose protocol, length, unit and byte
// count all differ from what a module would send: none of them is compared.
// Its transaction identifier is 0, as from a module that does not echo it.
Bytes StatusReply(uint8_t function = 3, size_t size = 35) {
  Bytes reply(size, 0);
  reply[3] = 9, reply[5] = 4, reply[6] = 0x33, reply[7] = function;
  for (size_t i = 8; i < size; ++i) reply[i] = static_cast<uint8_t>(i);
  return reply;
}

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// A request as sent, without its transaction identifier (bytes 0-1), which
// must not be 0.
Bytes SentWithoutTransaction(int peer) {
  const Bytes sent = Drain(peer);
  if (sent.size() < 2 || (sent[0] == 0 && sent[1] == 0)) return {};
  return Bytes(sent.begin() + 2, sent.end());
}

TEST(ModbusClient, ReadNodeSendsTwelveBytesCopiesTheDataAndRefusesBadReplies) {
  SocketPair good;
  const Bytes reply = StatusReply();
  Put(good.peer, reply);
  std::array<uint8_t, 26> dest{};
  ASSERT_TRUE(ReadNode(good.client, 200, dest.data(), STATUS_BLOCK, 13));
  EXPECT_EQ(SentWithoutTransaction(good.peer), (Bytes{0, 0, 0, 6, 200, 3, 0xF8, 0, 0, 13}));
  EXPECT_EQ(Bytes(dest.begin(), dest.end()), Bytes(reply.begin() + 9, reply.end()));

  const Bytes exception{0, 0, 0, 0, 0, 3, 1, 0x83, 2};
  for (const Bytes& bad : {StatusReply(4), StatusReply(3, 34), StatusReply(3, 36), exception, Bytes{}}) {
    SocketPair pair;
    Put(pair.peer, bad);
    ::shutdown(pair.peer, SHUT_WR);  // nothing more will come
    dest.fill(0xEE);
    EXPECT_FALSE(ReadNode(pair.client, 1, dest.data(), STATUS_BLOCK, 13)) << bad.size() << " bytes";
    for (uint8_t b : dest) ASSERT_EQ(b, 0xEE);
  }
  // No further byte can make an exception good, so it ends the wait at once.
  SocketPair pair;
  Put(pair.peer, exception);
  const auto start = Clock::now();
  EXPECT_FALSE(ReadNode(pair.client, 1, dest.data(), STATUS_BLOCK, 13));
  EXPECT_LT(SecondsSince(start), kReplyTimeoutMs / 2000.0);
  // Counts outside the limits send nothing.
  std::array<uint8_t, 600> buffer{};
  for (int count : {0, -1, 126, 256}) EXPECT_FALSE(ReadNode(pair.client, 1, buffer.data(), 0, count));
  for (int count : {0, -1, 124, 255}) EXPECT_FALSE(WriteNode(pair.client, 1, buffer.data(), 0, count));
  EXPECT_EQ(Drain(pair.peer).size(), 12u);  // only the read above
}

TEST(ModbusClient, WriteNodeGoesToUnitZeroAndNeedsTwelveBytesOfFunction16) {
  Bytes words(16);
  for (size_t i = 0; i < words.size(); ++i) words[i] = static_cast<uint8_t>(0xA0 + i);
  SocketPair good;
  Put(good.peer, {0, 0, 0, 0, 0, 6, 0, 16, 0, 0, 0, 8});
  ASSERT_TRUE(WriteNode(good.client, 1, words.data(), 0x0102, 8));
  Bytes expected{0, 0, 0, 23, 0, 16, 0x01, 0x02, 0, 8, 16};
  expected.insert(expected.end(), words.begin(), words.end());
  EXPECT_EQ(SentWithoutTransaction(good.peer), expected);
  const Bytes bad[] = {{0, 0, 0, 0, 0, 6, 0, 16, 0, 0, 0},        // 11 bytes
                       {0, 0, 0, 0, 0, 6, 0, 16, 0, 0, 0, 8, 0},  // 13 bytes
                       {0, 0, 0, 0, 0, 3, 0, 0x90, 2},            // exception
                       {0, 0, 0, 0, 0, 6, 0, 3, 0, 0, 0, 8}};     // function 3
  for (const Bytes& reply : bad) {
    SocketPair pair;
    Put(pair.peer, reply);
    ::shutdown(pair.peer, SHUT_WR);
    EXPECT_FALSE(WriteNode(pair.client, 1, words.data(), 0, 8)) << reply.size() << " bytes";
  }
}

TEST(ModbusClient, WriteFlashFlagSendsFifteenBytesAndReadsNothing) {
  SocketPair pair;
  const Bytes ack{0, 0, 0, 0, 0, 6, 0, 16, 0xF4, 0x10, 0, 1};
  Put(pair.peer, ack);
  WriteFlashFlag(pair.client, true);
  EXPECT_EQ(SentWithoutTransaction(pair.peer), (Bytes{0, 0, 0, 9, 0, 0x10, 0xF4, 0x10, 0, 1, 2, 0, 1}));
  EXPECT_EQ(Drain(pair.client), ack);  // left unread on the socket
  WriteFlashFlag(pair.client, false);
  EXPECT_EQ(SentWithoutTransaction(pair.peer), (Bytes{0, 0, 0, 9, 0, 0x10, 0xF4, 0x10, 0, 1, 2, 0, 0}));
}

TEST(ModbusClient, GetStatisticsTakesTheReplyFromItsFunctionCodeWithinTheDestination) {
  SocketPair pair;
  std::array<uint8_t, kStatisticsSize> dest{};
  // A long reply fills the 84 bytes and stops there.
  Bytes longReply(200, 0x61);
  longReply[0] = longReply[1] = 0, longReply[4] = 0, longReply[5] = 194;
  longReply[7] = 8, longReply[8] = 0, longReply[9] = 0x15;
  Put(pair.peer, longReply);
  ASSERT_TRUE(GetStatistics(pair.client, 5, dest));
  EXPECT_EQ(SentWithoutTransaction(pair.peer), (Bytes{0, 0, 0, 6, 5, 8, 0, 0x15, 0, 3}));
  EXPECT_EQ(dest[83], 0x61);
  // 19 bytes: the MAC address is reply bytes 13..18; the rest is cleared,
  // not left from the reply before.
  Put(pair.peer, {0, 0, 0, 0, 0, 13, 5, 8, 0, 0x15, 0, 3, 6, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E});
  ASSERT_TRUE(GetStatistics(pair.client, 5, dest));
  EXPECT_EQ(Bytes(dest.begin(), dest.begin() + kStatisticsMacOffset + 7),
            (Bytes{8, 0, 0x15, 0, 3, 6, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0}));
  EXPECT_EQ(dest[83], 0);

  // Only a whole frame of function 8 that echoes sub-function 0x0015 is a
  // statistics reply: an exception, another sub-function or a frame cut
  // short gives false and leaves the MAC address read before.
  for (const Bytes& reply : {Bytes{0, 0, 0, 0, 0, 3, 5, 0x88, 1},
                             Bytes{0, 0, 0, 0, 0, 13, 5, 8, 0, 0x14, 0, 3, 6, 1, 2, 3, 4, 5, 6},
                             Bytes{0, 0, 0, 0, 0, 13, 5, 8, 0, 0x15, 0, 3, 6, 1, 2, 3}}) {
    SocketPair other;
    Put(other.peer, reply);
    ::shutdown(other.peer, SHUT_WR);
    EXPECT_FALSE(GetStatistics(other.client, 5, dest)) << reply.size() << " bytes";
  }
  EXPECT_EQ(dest[kStatisticsMacOffset + 1], 0x1A);
}

TEST(ModbusClient, ClosedPeerOrReplyWithoutFunctionCodeGivesFalseWithoutSignal) {
  std::array<uint8_t, kStatisticsSize> dest;
  dest.fill(0xEE);
  for (const Bytes& reply : {Bytes{}, Bytes{0, 0, 0, 0, 0, 2, 1}}) {
    SocketPair pair;
    Put(pair.peer, reply);
    ::shutdown(pair.peer, SHUT_WR);
    EXPECT_FALSE(GetStatistics(pair.client, 1, dest)) << reply.size() << " bytes";
  }
  EXPECT_EQ(dest[0], 0xEE);
  SocketPair pair;
  ::close(pair.peer);
  pair.peer = -1;
  uint8_t data[2] = {0, 1};
  EXPECT_FALSE(WriteNode(pair.client, 0, data, 0, 1));  // EPIPE, no SIGPIPE
  EXPECT_FALSE(ReadNode(pair.client, 1, data, 0, 1));
  EXPECT_FALSE(GetStatistics(pair.client, 1, dest));
  WriteFlashFlag(pair.client, true);
  EXPECT_FALSE(GetStatistics(-1, 1, dest));
}

// A reply split in two is read on until whole (the simulator's split-reply
// fault); nothing, or a reply whose last byte never comes, ends at the
// bound and not much later.
TEST(ModbusClient, SilentOrIncompletePeerEndsAtTheBound) {
  for (size_t part : {size_t{0}, size_t{34}}) {
    SocketPair pair;
    const Bytes reply = StatusReply();
    Put(pair.peer, Bytes(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(part)));
    std::array<uint8_t, 26> dest{};
    const auto start = Clock::now();
    EXPECT_FALSE(ReadNode(pair.client, 1, dest.data(), STATUS_BLOCK, 13));
    const double took = SecondsSince(start);
    EXPECT_GE(took, kReplyTimeoutMs / 1000.0 - 0.05);
    EXPECT_LT(took, kReplyTimeoutMs / 1000.0 + 5.0);
  }
}

TEST(ConnectTcp, SignalsDuringTheWaitDoNotStretchItsBound) {
  // A listener that never accepts, its one queue place taken: the SYN of a
  // second connection is dropped, so that connect stays pending.
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in local{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t length = sizeof local;
  ::bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof local);
  ::listen(listener, 0);
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&local), &length);
  const int first = ConnectTcp(local.sin_addr.s_addr, ntohs(local.sin_port));
  struct sigaction wake{}, saved{};
  wake.sa_handler = [](int) {};
  ::sigaction(SIGUSR1, &wake, &saved);
  std::atomic<bool> done{false};
  std::thread interrupter([&, waiter = ::pthread_self()] {  // a signal every 100 ms, for at most 5 s
    for (int i = 0; i < 50 && !done; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(100)))
      ::pthread_kill(waiter, SIGUSR1);
  });
  const auto start = Clock::now();
  EXPECT_EQ(ConnectTcp(local.sin_addr.s_addr, ntohs(local.sin_port), 500), -1);
  EXPECT_LT(SecondsSince(start), 2.0);
  done = true;
  interrupter.join();
  ::sigaction(SIGUSR1, &saved, nullptr);
  CloseSocket(first);
  ::close(listener);
}

TEST(ModbusClient, LateReplyIsNeverTakenForTheNextRequest) {
  // The status read gets no answer within the bound; its reply comes later
  // and waits in front of the next request's, GetStatistics.
  SocketPair pair;
  std::array<uint8_t, 26> status{};
  EXPECT_FALSE(ReadNode(pair.client, 1, status.data(), STATUS_BLOCK, 13));
  Bytes late = StatusReply();
  const Bytes statusRequest = Drain(pair.peer);
  ASSERT_EQ(statusRequest.size(), 12u);
  late[0] = statusRequest[0], late[1] = statusRequest[1], late[5] = 29;
  Put(pair.peer, late);
  std::thread peer([&] {
    pollfd p{pair.peer, POLLIN, 0};
    const Bytes request = ::poll(&p, 1, 2000) == 1 ? Drain(pair.peer) : Bytes(2);
    Put(pair.peer, {request[0], request[1], 0, 0, 0, 13, 1, 8, 0, 0x15, 0, 3, 6, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E});
  });
  std::array<uint8_t, kStatisticsSize> statistics{};
  EXPECT_TRUE(GetStatistics(pair.client, 1, statistics));
  peer.join();
  EXPECT_EQ(Bytes(statistics.begin() + kStatisticsMacOffset, statistics.begin() + kStatisticsMacOffset + 6),
            (Bytes{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}));
}

}  // namespace
}  // namespace plinth
