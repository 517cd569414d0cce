#include "base/slave_lock.h"

namespace plinth {

bool SlaveLock::Acquire(std::chrono::milliseconds wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!freed_.wait_for(lock, wait, [this] { return free_; })) return false;
  free_ = false;
  return true;
}

void SlaveLock::Release() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    free_ = true;
  }
  freed_.notify_one();
}

bool SlaveLock::IsFree() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return free_;
}

}  // namespace plinth
