#pragma once
// What a scan did, kept for whoever started it (plinthctl prints from it):
// every probe start with its host and time, and the modules found. Fed on
// the scan's threads, read on any.
#include <chrono>
#include <map>
#include <mutex>
#include <vector>

#include "net/net_scanner.h"

namespace plinth {

class ScanLog : public ScanObserver {
 public:
  struct Start {
    int host;
    std::chrono::steady_clock::time_point time;
  };
  void ProbeStarted(int host) override;
  void ModuleFound(const SlaveRecord& record) override;

  std::vector<Start> Starts() const;
  // By host number; a later round's reading replaces an earlier one.
  std::map<int, SlaveRecord> Found() const;
  // Every reading, those of later rounds included.
  int Readings() const;

 private:
  mutable std::mutex mutex_;
  std::vector<Start> starts_;
  std::map<int, SlaveRecord> found_;
  int readings_ = 0;
};

}  // namespace plinth
