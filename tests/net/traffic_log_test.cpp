// The traffic log: the road over loopback (a status read, an exception
// reply, a refused connect and a BOOTP exchange) read back decoded, as JSON
// Lines and as a capture through tcpdump; and the ring under writers that
// race a reader.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "../support/bootp_test_support.h"
#include "../support/running_sim.h"
#include "net/modbus_client.h"
#include "net/traffic_decode.h"
#include "net/traffic_file.h"

namespace plinth {
namespace {

using test::Ip;
using test::Mac;

// Sets a log for one test and takes it away again.
struct LogGuard {
  explicit LogGuard(size_t capacity = kDefaultTrafficCapacity) : log(capacity) { SetTrafficLog(&log); }
  ~LogGuard() { SetTrafficLog(nullptr); }
  TrafficLog log;
};

std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buffer[4096];
    while (size_t n = fread(buffer, 1, sizeof buffer, p)) out.append(buffer, n);
    pclose(p);
  }
  return out;
}

TEST(TrafficRoad, StatusExceptionRefusalAndBootpReadDecodedAsJsonLinesAndByTcpdump) {
  test::RunningSim sim({test::OnLoopback(7)});
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  test::RunningServer bootp;
  ASSERT_TRUE(bootp.started);
  const uint16_t refusedPort = test::UnusedPort();
  LogGuard guard;

  {
    test::SocketGuard s(sim.Connect());
    ASSERT_GE(s.fd, 0);
    uint8_t status[2 * kStatusBlockWords];
    ASSERT_TRUE(ReadNode(s.fd, 1, status, STATUS_BLOCK, kStatusBlockWords));
    uint8_t word[2];
    EXPECT_FALSE(ReadNode(s.fd, 1, word, 0x1234, 1));  // no such register
  }
  EXPECT_LT(ConnectTcp(Ip("127.0.0.1"), refusedPort), 0);
  ASSERT_TRUE(bootp.module.Send(bootp.server.BoundPort(), MakeBootpRequest(Mac(1), htonl(0x0BADCAFE), 0)));
  ASSERT_TRUE(bootp.module.Receive(std::chrono::seconds(2)));
  ASSERT_TRUE(test::WaitUntil([&] { return guard.log.Next() == 8; }));

  const std::vector<TrafficEntry> entries = guard.log.Read(0).entries;
  ASSERT_EQ(entries.size(), 8u);
  std::vector<DecodedTraffic> d;
  for (const auto& e : entries) d.push_back(DecodeTraffic(e));
  const uint16_t simPort = sim.Module().Port();

  EXPECT_EQ(entries[0].kind, TrafficKind::kConnect);
  EXPECT_FALSE(d[0].error);
  EXPECT_EQ(EndpointText(entries[0].remote), "127.0.0.7:" + std::to_string(simPort));
  EXPECT_EQ(d[1].functionName, "Read Holding Registers");
  EXPECT_EQ(d[1].start, STATUS_BLOCK);
  EXPECT_EQ(d[1].count, kStatusBlockWords);
  EXPECT_EQ(entries[2].direction, TrafficDirection::kReceived);
  EXPECT_EQ(d[2].transactionId, d[1].transactionId);
  EXPECT_EQ(d[2].start, STATUS_BLOCK);  // taken from the request it answers
  ASSERT_EQ(d[2].values.size(), size_t{kStatusBlockWords});
  EXPECT_EQ(d[2].values[kStatusModuleId], sim.Module().ModuleId());
  EXPECT_FALSE(d[2].error);
  EXPECT_TRUE(d[4].error);
  EXPECT_EQ(d[4].exceptionCode, 2);
  EXPECT_EQ(d[4].exceptionName, "ILLEGAL DATA ADDRESS");
  EXPECT_NE(TrafficTextLine(entries[4]).find(" ERROR Modbus "), std::string::npos);
  EXPECT_NE(TrafficTextLine(entries[4]).find("exception ILLEGAL DATA ADDRESS (2)"), std::string::npos);
  EXPECT_TRUE(d[5].error);
  EXPECT_NE(TrafficTextLine(entries[5]).find("connect to 127.0.0.1:" + std::to_string(refusedPort) +
                                             " failed (connection refused)"),
            std::string::npos);
  EXPECT_EQ(d[6].op, kBootRequest);
  EXPECT_EQ(d[6].xid, 0x0BADCAFEu);
  EXPECT_EQ(d[6].clientMac, "000a1b2c3d01");
  EXPECT_EQ(d[7].op, kBootReply);
  EXPECT_EQ(d[7].offeredAddress, "10.0.0.21");
  EXPECT_EQ(entries[7].remote.port, bootp.module.port);
  // Every entry is whole: sizes as sent, times in order.
  for (size_t i = 1; i < entries.size(); ++i) EXPECT_LE(entries[i - 1].timeUs, entries[i].timeUs);
  EXPECT_EQ(entries[6].bytes.size(), kBootpMessageSize);

  const auto dir = std::filesystem::temp_directory_path() / ("plinth-traffic-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::string error;
  ASSERT_TRUE(SaveTraffic((dir / "log.jsonl").string(), entries, error)) << error;
  std::ifstream lines(dir / "log.jsonl");
  std::vector<nlohmann::json> json;
  for (std::string line; std::getline(lines, line);) json.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(json.size(), entries.size());
  for (const auto& j : json) EXPECT_EQ(j["formatVersion"], 1);
  EXPECT_EQ(json[4]["exceptionName"], "ILLEGAL DATA ADDRESS");
  EXPECT_EQ(json[4]["error"], true);
  EXPECT_EQ(json[5]["errorText"], "connection refused");
  EXPECT_EQ(json[2]["values"].size(), size_t{kStatusBlockWords});
  EXPECT_EQ(json[7]["offeredAddress"], "10.0.0.21");
  EXPECT_EQ(json[7]["xid"], 0x0BADCAFE);

  ASSERT_TRUE(SaveTraffic((dir / "log.pcap").string(), entries, error)) << error;
  ASSERT_FALSE(Shell("command -v tcpdump").empty()) << "tcpdump is missing: scripts/install-deps.sh installs it";
  const std::string dump = Shell("tcpdump -r " + (dir / "log.pcap").string() + " -nn -vv 2>&1");
  std::filesystem::remove_all(dir);
  const std::string client = EndpointText(entries[0].local), module = "127.0.0.7." + std::to_string(simPort);
  auto has = [&dump](const std::string& text) { return dump.find(text) != std::string::npos; };
  EXPECT_TRUE(has(client.substr(0, client.find(':')) + "." + std::to_string(entries[0].local.port) + " > " +
                  module + ": Flags [S]"))
      << dump;
  EXPECT_TRUE(has(module + " > " + client.substr(0, client.find(':')) + "." +
                  std::to_string(entries[0].local.port) + ": Flags [P.]"))
      << dump;
  EXPECT_TRUE(has("127.0.0.1." + std::to_string(refusedPort) + " > ")) << dump;
  EXPECT_TRUE(has("Flags [R.]")) << dump;
  EXPECT_TRUE(has(".68 > ")) << dump;
  EXPECT_TRUE(has(".67 > ")) << dump;
  EXPECT_TRUE(has("BOOTP/DHCP, Request from 00:0a:1b:2c:3d:01")) << dump;
  EXPECT_TRUE(has("BOOTP/DHCP, Reply")) << dump;
  EXPECT_TRUE(has("xid 0xbadcafe")) << dump;
  EXPECT_TRUE(has("Your-IP 10.0.0.21")) << dump;
  EXPECT_FALSE(has("bad cksum") || has("incorrect") || has("truncated")) << dump;
}

// Writers that race each other and a reader through a ring far too small:
// every entry a reader gets is whole (its bytes match its header), and
// entries read plus entries lost account for every one written.
TEST(TrafficRing, RacingWritersAndReaderNeverSeeATornEntry) {
  TrafficLog log(4);
  constexpr int kWriters = 4, kEach = 20000;
  std::atomic<bool> done{false};
  uint64_t read = 0, lost = 0, torn = 0;
  std::thread reader([&] {
    uint64_t next = 0;
    for (bool last = false; !last;) {
      last = done.load();
      TrafficLog::Batch b = log.Read(next);
      for (const TrafficEntry& e : b.entries) {
        const uint8_t mark = static_cast<uint8_t>(e.local.port ^ e.remote.port);
        bool whole = e.bytes.size() == e.size && e.requestStart == e.local.port;
        for (uint8_t byte : e.bytes) whole = whole && byte == mark;
        torn += !whole;
      }
      read += b.entries.size();
      lost += b.lost;
      next = b.next;
    }
  });
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w)
    writers.emplace_back([&log, w] {
      std::vector<uint8_t> bytes;
      for (int i = 0; i < kEach; ++i) {
        TrafficRecord r;
        r.local.port = static_cast<uint16_t>(i);
        r.remote.port = static_cast<uint16_t>(w);
        r.requestStart = r.local.port;
        bytes.assign(static_cast<size_t>(1 + i % 300), static_cast<uint8_t>(r.local.port ^ r.remote.port));
        log.Add(r, bytes);
      }
    });
  for (auto& t : writers) t.join();
  done = true;
  reader.join();
  EXPECT_EQ(torn, 0u);
  EXPECT_EQ(read + lost, uint64_t{kWriters} * kEach);
  EXPECT_GT(read, 0u);
  // A reader that comes late gets the last entries of the ring and the count of the rest.
  TrafficLog::Batch late = log.Read(0);
  EXPECT_EQ(late.entries.size(), 4u);
  EXPECT_EQ(late.lost, uint64_t{kWriters} * kEach - 4);
  EXPECT_EQ(late.entries.back().sequence, uint64_t{kWriters} * kEach - 1);
}

// Frames that are not what they claim: each is an error with the reason in words.
TEST(TrafficDecode, BrokenFramesAreErrorsWithTheirReason) {
  auto entry = [](TrafficKind kind, TrafficDirection direction, std::vector<uint8_t> bytes, int error = 0) {
    TrafficEntry e;
    e.kind = kind;
    e.direction = direction;
    e.size = static_cast<uint16_t>(bytes.size());
    e.bytes = std::move(bytes);
    e.error = error;
    e.requestFunction = 3;
    e.requestCount = 2;
    return e;
  };
  const struct {
    TrafficEntry e;
    const char* reason;
  } cases[] = {
      {entry(TrafficKind::kModbus, TrafficDirection::kReceived, {}, ETIMEDOUT), "no reply within 2000 ms"},
      {entry(TrafficKind::kModbus, TrafficDirection::kReceived, {0, 1, 0, 0}, ECONNRESET),
       "connection closed by the module"},
      {entry(TrafficKind::kModbus, TrafficDirection::kReceived, {0, 1, 0, 0, 0, 5, 1, 3, 2, 0, 7}),
       "byte count 2 does not fit the reply"},
      {entry(TrafficKind::kModbus, TrafficDirection::kReceived, {0, 1, 0, 0, 0, 9, 1, 3, 4, 0, 7, 0, 8}),
       "length field says 15 bytes, frame has 13"},
      {entry(TrafficKind::kModbus, TrafficDirection::kReceived, {0, 1, 0, 0, 0, 3, 1, 0x90, 4}),
       "SERVER DEVICE FAILURE (4)"},
      {entry(TrafficKind::kBootp, TrafficDirection::kReceived, std::vector<uint8_t>(299, 1), EBADMSG),
       "ignored: 299 bytes, a BOOTP message has 300"},
      {entry(TrafficKind::kBootp, TrafficDirection::kReceived, [] {
         BootpMessage m = MakeBootpRequest(Mac(2), 1, 0);
         m[kBootpHlen] = 8;
         return std::vector<uint8_t>(m.begin(), m.end());
       }(), EBADMSG),
       "ignored: hlen is not 6"},
      {entry(TrafficKind::kConnect, TrafficDirection::kSent, {}, ETIMEDOUT), "connection timed out"},
  };
  for (const auto& c : cases) {
    const DecodedTraffic d = DecodeTraffic(c.e);
    EXPECT_TRUE(d.error) << c.reason;
    EXPECT_EQ(d.errorText, c.reason);
  }
}

}  // namespace
}  // namespace plinth
