#pragma once
// The one lock of the program: a semaphore with a single token, no owner and
// no re-entry. Acquire waits at most a bounded time; releasing a free lock
// leaves it free.
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace plinth {

class SlaveLock {
 public:
  static constexpr std::chrono::milliseconds kDefaultWait{2000};

  bool Acquire(std::chrono::milliseconds wait = kDefaultWait);
  void Release();
  bool IsFree() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable freed_;
  bool free_ = true;
};

}  // namespace plinth
