// Results handed from worker threads to the list: nothing is lost or applied
// twice, changes that add rows wait for a command's lock, "assigned" marks
// do not. Also the shutdown's wait for the BOOTP server.
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

// The list without a window: rows are the node texts last rendered.
class FakeRows : public SlaveRows {
 public:
  DataList& Slaves() override { return list; }
  int RowCount() const override { return static_cast<int>(rows.size()); }
  void RenderRow(int row, SlaveRecord* fallback) override {
    if (row == RowCount()) rows.emplace_back();
    const SlaveRecord& r = *list.At(row);
    rows[static_cast<size_t>(row)] = r.node + ":" + (fallback ? fallback->status : r.status);
  }
  DataList list;
  std::vector<std::string> rows;
};

RowChange Change(RowChange::Kind kind, const std::string& node, const std::string& ip, uint8_t macLast,
                 std::function<void(bool)> done = {}) {
  RowChange c;
  c.kind = kind, c.record.node = node, c.record.ipAddress = ip, c.record.status = "ok";
  c.record.mac = {2, 0, 0, 0, 0, macLast}, c.done = std::move(done);
  return c;
}

TEST(RowChangeQueue, StructuralChangesWaitForTheListMarksDoNot) {
  RowChangeQueue queue;
  FakeRows rows;
  int wakes = 0;
  queue.SetWake([&] { ++wakes; });
  std::vector<std::string> done;
  auto note = [&](std::string what) { return [&done, what](bool ok) { done.push_back(what + (ok ? "+" : "-")); }; };

  queue.Post(Change(RowChange::Kind::Append, "1", "10.0.0.1", 1, note("a1")));
  queue.Apply(rows, true);
  EXPECT_EQ(rows.rows, std::vector<std::string>{"1:ok"});

  // A command holds the list: appends wait, the mark of an existing row goes
  // through; what a worker posts meanwhile comes after what waits.
  queue.Post(Change(RowChange::Kind::Append, "2", "10.0.0.2", 2, note("a2")));
  queue.Post(Change(RowChange::Kind::MarkAssigned, "", "", 1, [&](bool ok) {
    note("m1")(ok);
    queue.Post(Change(RowChange::Kind::Append, "5", "10.0.0.5", 5, note("a5")));
  }));
  queue.Post(Change(RowChange::Kind::MarkAssigned, "", "", 2, note("m2")));  // its row is not there yet
  queue.Post(Change(RowChange::Kind::UpsertByIp, "1", "10.0.0.1", 9, note("u1")));
  EXPECT_EQ(queue.Apply(rows, false), 1);
  EXPECT_EQ(rows.rows, std::vector<std::string>{"1:assigned"});
  EXPECT_TRUE(rows.list.At(0)->bootpAssigned);
  EXPECT_EQ(queue.Pending(), 4u);

  // Released: the rest in arrival order, the mark after the append it needs.
  EXPECT_EQ(queue.Apply(rows, true), 4);
  EXPECT_EQ(rows.rows, (std::vector<std::string>{"1:ok", "2:assigned", "5:ok"}));
  EXPECT_EQ(rows.list.At(0)->status, "assigned");  // the upsert's record served only as fallback
  EXPECT_EQ(done, (std::vector<std::string>{"a1+", "m1+", "a2+", "m2+", "u1+", "a5+"}));
  EXPECT_EQ(wakes, 6);

  // An upsert of an unknown address appends; a mark without any row and an
  // append to a full list are refused.
  queue.Post(Change(RowChange::Kind::UpsertByIp, "3", "10.0.0.3", 3, note("u3")));
  queue.Post(Change(RowChange::Kind::MarkAssigned, "", "", 77, note("m77")));
  queue.Apply(rows, true);
  EXPECT_EQ(rows.list.Count(), 4);
  while (!rows.list.Full()) rows.list.Append(std::make_unique<SlaveRecord>());
  queue.Post(Change(RowChange::Kind::Append, "4", "10.0.0.4", 4, note("a4")));
  queue.Apply(rows, true);
  EXPECT_EQ(std::vector<std::string>(done.end() - 3, done.end()), (std::vector<std::string>{"u3+", "m77-", "a4-"}));
  EXPECT_EQ(queue.Pending(), 0u);
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
      for (int i = 0; i < kEach; ++i) {
        std::string node = std::to_string(w * 100 + i);
        queue.Post(Change(RowChange::Kind::Append, node, "10." + std::to_string(w) + ".0." + std::to_string(i), 0));
      }
    });
  // The user-interface thread alternates between a held and a free list.
  bool free = false;
  while (rows.list.Count() < kWorkers * kEach) {
    queue.Apply(rows, free);
    free = !free;
    std::this_thread::yield();
  }
  for (auto& t : workers) t.join();
  queue.Apply(rows, true);
  EXPECT_EQ(rows.list.Count(), kWorkers * kEach);
  EXPECT_EQ(wakes.load(), kWorkers * kEach);
  // Per worker, arrival order is kept.
  std::vector<int> last(kWorkers, -1);
  for (int i = 0; i < rows.list.Count(); ++i) {
    int n = std::stoi(rows.list.At(i)->node);
    EXPECT_GT(n % 100, last[static_cast<size_t>(n / 100)]);
    last[static_cast<size_t>(n / 100)] = n % 100;
  }
}

TEST(Shutdown, WaitsForTheBootpServerAtMostItsLimit) {
  using namespace std::chrono_literals;
  NetState net;
  Configuration config;
  config.dataList.Append(std::make_unique<SlaveRecord>());
  config.image = std::make_shared<ConfigImage>(10);
  int stops = 0;
  ShutdownSteps steps{[&] { ++stops; }, 10ms, 1000000, 0ms};  // a wait of hours, unless something ends it
  auto seconds = [&] {
    const auto start = std::chrono::steady_clock::now();
    Shutdown(net, config, steps);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  EXPECT_LT(seconds(), 30);  // no server running: no wait
  EXPECT_EQ(stops * 10 + net.bootpStop.load(), 11);
  EXPECT_EQ(config.dataList.Count(), 0);
  EXPECT_FALSE(config.image);
  // A server that ends while waited for ends the wait.
  net.bootpRunning = 1;
  std::thread server([&net] { std::this_thread::sleep_for(50ms), net.bootpRunning = 0; });
  EXPECT_LT(seconds(), 30);
  server.join();
  // A server that never ends: the wait gives up after maxWaits steps.
  net.bootpRunning = 1;
  steps.maxWaits = 20;
  EXPECT_GE(seconds(), 0.19);
}

}  // namespace
}  // namespace plinth
