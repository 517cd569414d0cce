#pragma once
// The plant check: every slave of the list that has an IP address is
// connected to, its module's status block and MAC address are read, and the
// connection is closed again; with a sweep, the other hosts of the master's
// /24 are tried too. It only reads: no register is written, nothing is
// flashed or reset. It treats modules gently: one connection per address at
// a time (rows that share an address share one look), each closed after its
// reads, and at most `parallel` modules in flight at once.
//
// The probes run on worker threads; the caller starts the check, may cancel
// it, waits (or polls Done) and then takes the report.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "logic/check_report.h"
#include "net/modbus_registers.h"
#include "net/module_probe.h"
#include "net/tcp_connect.h"

namespace plinth {

struct PlantCheckOptions {
  static constexpr int kDefaultParallel = 16;
  static constexpr int kMaxParallel = 254;
  uint16_t port = kModbusPort;
  bool sweep = false;
  int parallel = kDefaultParallel;  // 1..kMaxParallel
  int connectTimeoutMs = kConnectTimeoutMs;
};

// The address of host 0 of the master's /24, when its address can be read.
std::optional<uint32_t> SweepNetwork(const std::string& masterIp);

class PlantCheck {
 public:
  // slaves: the list's records, slot i being row i. A sweep needs a master
  // address that SweepNetwork reads; without one nothing is swept.
  PlantCheck(std::vector<SlaveRecord> slaves, std::string masterIp, PlantCheckOptions options);
  // Cancels and waits for the workers (each ends within moments).
  ~PlantCheck();
  PlantCheck(const PlantCheck&) = delete;
  PlantCheck& operator=(const PlantCheck&) = delete;

  // Starts the workers; false when not one thread could be started.
  bool Start();
  void Cancel();
  bool Cancelled() const { return cancel_.Cancelled(); }
  // True once every worker has ended (at most wait from now).
  bool WaitUntilDone(std::chrono::milliseconds wait);
  // Addresses looked at so far, of Total().
  int Done() const { return done_.load(std::memory_order_acquire); }
  int Total() const { return static_cast<int>(targets_.size()); }

  // Once done: the slaves classified and the modules the sweep found. The
  // record has the check's start, host, user, options and duration; the
  // file is the caller's to describe.
  CheckReport Report() const;

 private:
  struct Target {
    uint32_t address;   // network byte order
    std::vector<int> rows;  // none: a host of the sweep
  };
  void Work();

  const std::vector<SlaveRecord> slaves_;
  const std::string masterIp_;
  const PlantCheckOptions options_;
  std::vector<Target> targets_;
  std::vector<ModuleProbe> probes_;  // probes_[i] is written by the worker that took target i
  ProbeCancel cancel_;
  std::atomic<size_t> next_{0};
  std::atomic<int> done_{0};
  CheckRecord stamp_;  // when, where and by whom, taken at the start
  std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point ended_;

  mutable std::mutex mutex_;
  std::condition_variable endedCv_;
  int running_ = 0;  // workers not yet ended
  std::vector<std::thread> workers_;
};

}  // namespace plinth
