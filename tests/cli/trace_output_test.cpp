// plinthctl's trace output: a thread drains the log into a file while
// writers race it; every entry lands once, in order, or is counted as lost.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "cli/trace_output.h"

namespace plinth {
namespace {

TEST(TraceOutput, DrainsRacingWritersIntoJsonLinesInOrderAndCountsWhatWasLost) {
  const auto path = std::filesystem::temp_directory_path() / ("plinth-trace-" + std::to_string(getpid()) + ".jsonl");
  constexpr int kWriters = 3, kEach = 3000;
  {
    TraceOutput trace;
    ASSERT_TRUE(trace.Start(false, path.string(), 256));
    ASSERT_NE(ActiveTrafficLog(), nullptr);
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w)
      writers.emplace_back([w] {
        for (int i = 0; i < kEach; ++i) {
          TrafficRecord r;
          r.kind = TrafficKind::kConnect;
          r.remote.port = static_cast<uint16_t>(w);
          r.error = i % 7 == 0 ? ECONNREFUSED : 0;
          ActiveTrafficLog()->Add(r, {});
          if (i % 64 == 0) std::this_thread::yield();
        }
      });
    for (auto& t : writers) t.join();
    EXPECT_TRUE(trace.Stop());
    EXPECT_EQ(ActiveTrafficLog(), nullptr);
  }
  std::ifstream in(path);
  uint64_t entries = 0, lost = 0;
  int64_t last = -1;
  for (std::string line; std::getline(in, line);) {
    const auto j = nlohmann::json::parse(line);
    EXPECT_EQ(j["formatVersion"], 1);
    if (j.contains("lost")) {
      lost += j["lost"].get<uint64_t>();
      continue;
    }
    const int64_t sequence = j["sequence"].get<int64_t>();
    EXPECT_GT(sequence, last);
    last = sequence;
    ++entries;
  }
  std::filesystem::remove(path);
  EXPECT_EQ(entries + lost, uint64_t{kWriters} * kEach);
  EXPECT_GT(entries, 0u);
}

TEST(TraceOutput, AFileThatCannotBeWrittenIsRefusedAndNoLogIsSet) {
  TraceOutput trace;
  EXPECT_FALSE(trace.Start(true, "/nonexistent-folder/trace.pcap"));
  EXPECT_EQ(ActiveTrafficLog(), nullptr);
}

}  // namespace
}  // namespace plinth
