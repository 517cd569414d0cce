#include "app/slave_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace plinth {
namespace {

using namespace std::chrono_literals;

TEST(SlaveLock, ReleasingAFreeLockLeavesOneToken) {
  SlaveLock lock;
  lock.Release();
  lock.Release();
  EXPECT_TRUE(lock.Acquire(0ms));
  EXPECT_FALSE(lock.Acquire(20ms));
  EXPECT_FALSE(lock.IsFree());
  lock.Release();
  EXPECT_TRUE(lock.IsFree());
}

TEST(SlaveLock, AnyThreadMayReleaseAndWakeAWaiter) {
  SlaveLock lock;
  ASSERT_TRUE(lock.Acquire());
  std::atomic<bool> got{false};
  std::thread waiter([&] { got = lock.Acquire(5000ms); });
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(got.load());
  std::thread releaser([&] { lock.Release(); });
  releaser.join();
  waiter.join();
  EXPECT_TRUE(got.load());
  EXPECT_FALSE(lock.IsFree());
}

TEST(SlaveLock, OnlyOneOfManyThreadsHoldsItAtATime) {
  SlaveLock lock;
  std::atomic<int> inside{0};
  std::atomic<int> worst{0};
  std::atomic<int> entered{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        if (!lock.Acquire()) continue;
        int now = ++inside;
        worst = std::max(worst.load(), now);
        ++entered;
        --inside;
        lock.Release();
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(worst.load(), 1);
  EXPECT_EQ(entered.load(), 800);
}

}  // namespace
}  // namespace plinth
