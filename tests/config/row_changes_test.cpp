// Results handed from worker threads to the list: nothing lost or applied twice, changes that add rows wait
// for a command's lock.
#include <gtest/gtest.h>
#include <atomic>
#include <memory>
#include <thread>
#include "config/row_changes.h"

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

RowChange Change(const std::string& node, const std::string& status, std::function<void(RowChangeResult)> done = {}) {
  RowChange c;
  c.record.node = node, c.record.ipAddress = "10.0.0." + node, c.record.status = status, c.done = std::move(done);
  return c;
}

TEST(RowChangeQueue, ChangesWaitForTheListInArrivalOrder) {
  RowChangeQueue queue;
  FakeRows rows;
  int wakes = 0;
  queue.SetWake([&] { ++wakes; });
  Texts done;
  auto note = [&](std::string what) {  // stored +, list full -, node taken n
    return [&done, what](RowChangeResult r) {
      done.push_back(what + (r == RowChangeResult::kListFull ? "-" : r == RowChangeResult::kNodeTaken ? "n" : "+"));
    };
  };
  queue.Post(Change("1", "ok", note("a1")));
  queue.Apply(rows, true);
  EXPECT_EQ(rows.rows, Texts{"1:ok"});
  // A command holds the list: nothing is applied; what is posted while applying comes after the rest.
  queue.Post(Change("2", "ok", [&](RowChangeResult r) {
    note("a2")(r);
    queue.Post(Change("5", "ok", note("a5")));
  }));
  queue.Post(Change("1", "seen", note("u1")));  // refreshes the row of 10.0.0.1
  EXPECT_EQ(queue.Apply(rows, false), 0);
  EXPECT_TRUE(rows.rows == Texts{"1:ok"} && queue.Pending() == 2u);
  EXPECT_EQ(queue.Apply(rows, true), 2);
  EXPECT_EQ(queue.Apply(rows, true), 1);
  EXPECT_EQ(rows.rows, (Texts{"1:seen", "2:ok", "5:ok"}));
  EXPECT_EQ(rows.list.At(0)->status, "ok");  // the refreshing record served only as fallback
  // A newcomer whose node another row has (with another address, or none) is not stored: no node twice.
  rows.list.At(2)->ipAddress.clear();
  for (const char* node : {"2", "5"}) {
    RowChange same = Change(node, "ok", note("n" + std::string(node)));
    same.record.ipAddress = "10.0.1." + same.record.node;
    queue.Post(std::move(same));
  }
  queue.Apply(rows, true);
  // A full list refuses a newcomer.
  while (!rows.list.Full()) rows.list.Append(std::make_unique<SlaveRecord>());
  queue.Post(Change("9", "ok", note("full")));
  queue.Apply(rows, true);
  EXPECT_EQ(done, (Texts{"a1+", "a2+", "u1+", "a5+", "n2n", "n5n", "full-"}));
  EXPECT_TRUE(wakes == 7 && queue.Pending() == 0u && rows.rows.size() == 3u);
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
      for (int i = 0; i < kEach; ++i) queue.Post(Change(std::to_string(w * 100 + i), "ok"));
    });
  // The user-interface thread alternates between a held and a free list.
  for (bool free = false; rows.list.Count() < kWorkers * kEach; free = !free) queue.Apply(rows, free);
  for (auto& t : workers) t.join();
  queue.Apply(rows, true);
  EXPECT_EQ(rows.list.Count() * 1000 + wakes.load(), kWorkers * kEach * 1001);  // arrival order: the test above
}

}  // namespace
}  // namespace plinth
