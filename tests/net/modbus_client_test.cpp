// The client against a scripted peer on a socket pair.
#include "net/modbus_client.h"
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <atomic>
#include <chrono>
#include <thread>
#include "net/modbus_frames.h"
#include "tests/support/running_sim.h"

namespace plinth {
namespace {
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
struct SocketPair {  // the client's end and the scripted peer's
  SocketPair() {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0) client = fds[0], peer = fds[1];
  }
  ~SocketPair() { ::close(client), ::close(peer); }
  int client = -1, peer = -1;
};
void Put(int fd, const Bytes& bytes) { (void)::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
Bytes Drain(int fd) {  // everything waiting on fd right now
  Bytes all(1024);
  all.resize(size_t(std::max<ssize_t>(0, ::recv(fd, all.data(), all.size(), MSG_DONTWAIT))));
  return all;
}

// A reply to a read of 13 registers, transaction identifier 0; protocol, length, unit and byte count are not compared.
Bytes StatusReply(uint8_t function = 3, size_t size = 35) {
  Bytes reply(size, 0);
  reply[3] = 9, reply[5] = 4, reply[6] = 0x33, reply[7] = function;
  for (size_t i = 8; i < size; ++i) reply[i] = static_cast<uint8_t>(i);
  return reply;
}

// A request as sent, without its transaction identifier, which must not be 0.
Bytes SentWithoutTransaction(int peer) {
  const Bytes sent = Drain(peer);
  return sent.size() < 2 || (sent[0] == 0 && sent[1] == 0) ? Bytes{} : Bytes(sent.begin() + 2, sent.end());
}
double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }
enum Call { kRead, kWrite, kStatistics };

// Each call against one reply, the peer then shut: the request byte for byte, the result and the destination's
// start (none given: left as it was). Statistics: a function-8 frame echoing 0x0015, cut or zero-filled to 84 bytes.
TEST(ModbusClient, RequestsByteForByteAndWhichRepliesCount) {
  const Bytes requests[] = {{0, 0, 0, 6, 200, 3, 0xF8, 0, 0, 13},
                            {0, 0, 0, 23, 0, 16, 0x01, 0x02, 0, 8, 16, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6,
                             0xA7, 0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF},
                            {0, 0, 0, 6, 5, 8, 0, 0x15, 0, 3}};
  const Bytes words(requests[kWrite].begin() + 11, requests[kWrite].end());
  const Bytes status = StatusReply(), mac{0, 0, 0, 0, 0, 13, 5, 8, 0, 0x15, 0, 3, 6, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  Bytes longReply(200, 0x61), macDest(mac.begin() + 7, mac.end());
  longReply[0] = longReply[1] = longReply[4] = longReply[8] = 0, longReply[5] = 194, longReply[7] = 8, longReply[9] = 0x15;
  macDest.resize(kStatisticsSize);
  const std::string closed = "the module closed the connection";
  const std::tuple<Call, Bytes, bool, Bytes, std::string> cases[] = {  // call, reply, result, destination, reason
      {kRead, status, true, Bytes(status.begin() + 9, status.end()), ""},
      {kRead, StatusReply(4), false, {}, "a reply with function code 4"},
      {kRead, StatusReply(3, 34), false, {}, "short reply: 34 of 35 bytes"},
      {kRead, StatusReply(3, 36), false, {}, "reply of 36 bytes instead of 35"}, {kRead, {}, false, {}, closed},
      {kRead, {0, 0, 0, 0, 0, 3, 1, 0x83, 2}, false, {}, "exception code 02 (illegal data address)"},
      {kWrite, {0, 0, 0, 0, 0, 6, 0, 16, 0, 0, 0, 8}, true, {}, ""},
      {kWrite, {0, 0, 0, 0, 0, 6, 0, 16, 0, 0, 0}, false, {}, "short reply: 11 of 12 bytes"},
      {kWrite, {0, 0, 0, 0, 0, 6, 0, 16, 0, 0, 0, 8, 0}, false, {}, "reply of 13 bytes instead of 12"},
      {kWrite, {0, 0, 0, 0, 0, 3, 0, 0x90, 2}, false, {}, "exception code 02 (illegal data address)"},
      {kWrite, {0, 0, 0, 0, 0, 6, 0, 3, 0, 0, 0, 8}, false, {}, "a reply with function code 3"},
      {kStatistics, longReply, true, Bytes(longReply.begin() + 7, longReply.begin() + 7 + kStatisticsSize), ""},
      {kStatistics, mac, true, macDest, ""},
      {kStatistics, {0, 0, 0, 0, 0, 3, 5, 0x88, 1}, false, {}, "exception code 01 (illegal function)"},
      {kStatistics, {0, 0, 0, 0, 0, 13, 5, 8, 0, 0x14, 0, 3, 6, 1, 2, 3, 4, 5, 6}, false, {},
       "a diagnostics reply that is not the statistics"},
      {kStatistics, {0, 0, 0, 0, 0, 13, 5, 8, 0, 0x15, 0, 3, 6, 1, 2, 3}, false, {}, "short reply: 16 of 19 bytes"},
      {kStatistics, {0, 0, 0, 0, 0, 2, 1}, false, {}, "short reply: 7 bytes"}, {kStatistics, {}, false, {}, closed},
  };
  for (int i = 0; const auto& [call, reply, ok, start, reason] : cases) {
    SocketPair pair;
    SCOPED_TRACE(++i);
    Put(pair.peer, reply);
    ::shutdown(pair.peer, SHUT_WR);  // nothing more will come
    std::array<uint8_t, kStatisticsSize> dest;
    dest.fill(0xEE);
    ModbusError error;
    EXPECT_EQ(call == kRead    ? ReadNode(pair.client, 200, dest.data(), STATUS_BLOCK, 13, &error)
              : call == kWrite ? WriteNode(pair.client, 1, words.data(), 0x0102, 8, &error)
                               : GetStatistics(pair.client, 5, dest, &error), ok);
    EXPECT_EQ(ok ? "" : DescribeModbusError(error), reason);
    EXPECT_EQ(SentWithoutTransaction(pair.peer), requests[call]);
    const Bytes expected = start.empty() ? Bytes(kStatisticsSize, 0xEE) : start;
    EXPECT_EQ(Bytes(dest.begin(), dest.begin() + std::ssize(expected)), expected);
  }
}

// A listener that never accepts, its one queue place taken: a second connect stays pending.
TEST(ConnectTcp, SignalsDuringTheWaitDoNotStretchItsBound) {
  const test::SocketGuard listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in local{AF_INET, htons(test::UnusedPort()), {htonl(INADDR_LOOPBACK)}, {}};
  ASSERT_EQ(::bind(listener.fd, reinterpret_cast<sockaddr*>(&local), sizeof local) | ::listen(listener.fd, 0), 0);
  const test::SocketGuard first(ConnectTcp(local.sin_addr.s_addr, ntohs(local.sin_port)));
  struct sigaction wake{}, saved{};
  wake.sa_handler = [](int) {};
  ::sigaction(SIGUSR1, &wake, &saved);
  std::atomic<bool> done{false};
  std::thread interrupter([&, waiter = ::pthread_self()] {  // a signal every 100 ms, for at most 5 s
    for (int i = 0; i < 50 && !done; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(100)))
      ::pthread_kill(waiter, SIGUSR1);
  });
  const auto start = Clock::now();
  int error = 0;
  EXPECT_EQ(ConnectTcp(local.sin_addr.s_addr, ntohs(local.sin_port), 500, &error), -1);
  EXPECT_LT(SecondsSince(start), 2.0);
  EXPECT_EQ(DescribeConnectError(error, 500), "no answer within 500 ms");
  done = true, interrupter.join(), ::sigaction(SIGUSR1, &saved, nullptr);
}

// An exception ends the wait at once; bad counts send nothing; the flash flag's acknowledgement is left
// unread; a silent peer ends the read at the bound, and its late reply is never taken for the next.
TEST(ModbusClient, ExceptionsBadCountsFlashFlagAndALateReplySkippedByTransactionId) {
  SocketPair pair;
  Put(pair.peer, {0, 0, 0, 0, 0, 3, 1, 0x83, 2});
  std::array<uint8_t, 600> buffer{};
  auto start = Clock::now();
  EXPECT_FALSE(ReadNode(pair.client, 1, buffer.data(), STATUS_BLOCK, 13));
  EXPECT_LT(SecondsSince(start), kReplyTimeoutMs / 2000.0);
  ModbusError error;
  for (int count : {0, -1, 126, 256}) EXPECT_FALSE(ReadNode(pair.client, 1, buffer.data(), 0, count, &error));
  EXPECT_EQ(DescribeModbusError(error), "256 registers do not fit one request");
  for (int count : {0, -1, 124, 255}) EXPECT_FALSE(WriteNode(pair.client, 1, buffer.data(), 0, count));
  EXPECT_EQ(Drain(pair.peer).size(), 12u);  // only the read above
  const Bytes ack{0, 0, 0, 0, 0, 6, 0, 16, 0xF4, 0x10, 0, 1};
  Put(pair.peer, ack);
  for (uint8_t keep : {1, 0}) {
    WriteFlashFlag(pair.client, keep);
    EXPECT_EQ(SentWithoutTransaction(pair.peer), (Bytes{0, 0, 0, 9, 0, 0x10, 0xF4, 0x10, 0, 1, 2, 0, keep}));
  }
  EXPECT_EQ(Drain(pair.client), ack);
  start = Clock::now();
  EXPECT_FALSE(ReadNode(pair.client, 1, buffer.data(), STATUS_BLOCK, 13, &error));
  EXPECT_NEAR(SecondsSince(start), kReplyTimeoutMs / 1000.0 + 2.45, 2.5);
  EXPECT_EQ(DescribeModbusError(error), "no answer within 2000 ms");
  Bytes late = StatusReply(), statusRequest = Drain(pair.peer);
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
  EXPECT_EQ(statistics[kStatisticsMacOffset + 1] << 16 | statistics[kStatisticsMacOffset + 5], 0x1A005E);
}
}  // namespace
}  // namespace plinth
