#include "net/scan_log.h"

#include "base/text_scan.h"

namespace plinth {

void ScanLog::ProbeStarted(int host) {
  std::lock_guard<std::mutex> lock(mutex_);
  starts_.push_back({host, std::chrono::steady_clock::now()});
}

void ScanLog::ModuleFound(const SlaveRecord& record) {
  std::lock_guard<std::mutex> lock(mutex_);
  found_[ScanDecimal(record.node)] = record;
  ++readings_;
}

std::vector<ScanLog::Start> ScanLog::Starts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return starts_;
}

std::map<int, SlaveRecord> ScanLog::Found() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return found_;
}

int ScanLog::Readings() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return readings_;
}

}  // namespace plinth
