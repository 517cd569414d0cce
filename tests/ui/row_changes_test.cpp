// Results handed from worker threads to the list: nothing lost or applied twice, changes that add rows wait
// for a command's lock, "assigned" marks do not. Also the shutdown's wait for the BOOTP server.
#include <gtest/gtest.h>
#include <atomic>
#include <chrono>
#include <thread>
#include "app/net_state.h"
#include "app/row_changes.h"
#include "app/shutdown.h"
#include "config/configuration.h"

namespace plinth {
namespace {

using Texts = std::vector<std::string>;

// The list without a window: rows are the node texts last rendered.
struct FakeRows : SlaveRows {
  DataList& Slaves() override { return list; }
  int RowCount() const override { return static_cast<int>(rows.size()); }
  void RenderRow(int row, SlaveRecord* fallback) override {
    if (row == RowCount()) rows.emplace_back();
    rows[static_cast<size_t>(row)] = list.At(row)->node + ":" + (fallback ? fallback->status : list.At(row)->status);
  }
  DataList list;
  Texts rows;
};

RowChange Change(RowChange::Kind kind, const std::string& node, uint8_t macLast, std::function<void(bool)> done = {}) {
  RowChange c;
  c.kind = kind, c.record.node = node, c.record.ipAddress = node.empty() ? "" : "10.0.0." + node;
  c.record.status = "ok", c.record.mac = {2, 0, 0, 0, 0, macLast}, c.done = std::move(done);
  return c;
}

TEST(RowChangeQueue, StructuralChangesWaitForTheListMarksDoNot) {
  using K = RowChange::Kind;
  RowChangeQueue queue;
  FakeRows rows;
  int wakes = 0;
  queue.SetWake([&] { ++wakes; });
  Texts done;
  auto note = [&](std::string what) { return [&done, what](bool ok) { done.push_back(what + (ok ? "+" : "-")); }; };
  queue.Post(Change(K::Append, "1", 1, note("a1")));
  queue.Apply(rows, true);
  EXPECT_EQ(rows.rows, Texts{"1:ok"});
  // A command holds the list: appends wait, the mark of an existing row goes
  // through; what a worker posts meanwhile comes after what waits.
  queue.Post(Change(K::Append, "2", 2, note("a2")));
  queue.Post(Change(K::MarkAssigned, "", 1, [&](bool ok) {
    note("m1")(ok);
    queue.Post(Change(K::Append, "5", 5, note("a5")));
  }));
  queue.Post(Change(K::MarkAssigned, "", 2, note("m2")));  // its row is not there yet
  queue.Post(Change(K::UpsertByIp, "1", 9, note("u1")));
  EXPECT_EQ(queue.Apply(rows, false), 1);
  EXPECT_TRUE(rows.rows == Texts{"1:assigned"} && rows.list.At(0)->bootpAssigned && queue.Pending() == 4u);
  // Released: the rest in arrival order, the mark after the append it needs.
  EXPECT_EQ(queue.Apply(rows, true), 4);
  EXPECT_EQ(rows.rows, (Texts{"1:ok", "2:assigned", "5:ok"}));
  EXPECT_EQ(rows.list.At(0)->status, "assigned");  // the upsert's record served only as fallback
  EXPECT_EQ(done, (Texts{"a1+", "m1+", "a2+", "m2+", "u1+", "a5+"}));
  EXPECT_TRUE(wakes == 6 && queue.Pending() == 0u);
}

TEST(RowChangeQueue, ManyWorkersEachChangeAppliedOnce) {
  RowChangeQueue queue;
  FakeRows rows;
  std::atomic<int> wakes{0};
  queue.SetWake([&] { wakes.fetch_add(1); });
  constexpr int kWorkers = 4, kEach = 60;
  std::vector<std::thread> workers;
  for (int w = 0; w < kWorkers; ++w)
    workers.emplace_back([&queue, w] {
      for (int i = 0; i < kEach; ++i) queue.Post(Change(RowChange::Kind::Append, std::to_string(w * 100 + i), 0));
    });
  // The user-interface thread alternates between a held and a free list.
  for (bool free = false; rows.list.Count() < kWorkers * kEach; free = !free) queue.Apply(rows, free);
  for (auto& t : workers) t.join();
  queue.Apply(rows, true);
  EXPECT_EQ(rows.list.Count() * 1000 + wakes.load(), kWorkers * kEach * 1001);  // arrival order: the test above
}

TEST(Shutdown, WaitsForTheBootpServerOnlyWhileItRuns) {
  using namespace std::chrono_literals;
  NetState net;
  Configuration config;
  config.dataList.Append(std::make_unique<SlaveRecord>());
  config.image = std::make_shared<ConfigImage>(10);
  int stops = 0;
  ShutdownSteps steps{[&] { ++stops; }, 10ms, 1000000, 0ms};  // a wait of hours, unless something ends it
  Shutdown(net, config, steps);  // no server running: no wait
  EXPECT_EQ(stops * 10 + net.bootpStop.load(), 11);
  EXPECT_TRUE(config.dataList.Count() == 0 && !config.image);
  // A server that ends while waited for ends the wait, not sooner.
  net.bootpRunning = 1;
  std::atomic<bool> ended{false};
  std::thread server([&] { std::this_thread::sleep_for(50ms), ended = true, net.bootpRunning = 0; });
  Shutdown(net, config, steps);
  EXPECT_TRUE(ended);
  server.join();
}

}  // namespace
}  // namespace plinth
