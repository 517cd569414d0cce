#include "base/slave_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace plinth {
namespace {

using namespace std::chrono_literals;

TEST(SlaveLock, OneTokenAnyThreadMayReleaseAndOneHolderAtATime) {
  SlaveLock lock;
  lock.Release();
  lock.Release();
  EXPECT_TRUE(lock.Acquire(0ms));
  EXPECT_FALSE(lock.Acquire(20ms) || lock.IsFree());
  // A waiter is woken by a release from another thread.
  std::atomic<bool> got{false};
  std::thread waiter([&] { got = lock.Acquire(5000ms); });
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(got.load());
  std::thread([&] { lock.Release(); }).join();
  waiter.join();
  EXPECT_TRUE(got.load() && !lock.IsFree());
  lock.Release();
  EXPECT_TRUE(lock.IsFree());
}

}  // namespace
}  // namespace plinth
