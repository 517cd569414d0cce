#pragma once
// The network scan: one pacing thread tries a Modbus/TCP connection to every
// host 1 to 254 of the master's network, in rising order from the start
// host and round after round until stopped, each host on a short-lived probe
// thread. A probe that connects reads the module's status block and MAC
// address and hands a "refresh the row with this IP address, or append it"
// change to the user-interface thread (NetState::rowChanges).
//
// Pacing: at most one probe per host at a time, a new probe at most every
// 50 ms, none while 8 probes of hosts that have not yet accepted a
// connection run; 100 ms sleeps when stopped, when every host has accepted
// and when 8 such probes are in flight.
//
// How the window drives it: "S&can bus" switched on creates the scanner once
// and calls Start(scanAddressText) (again on every later switch-on); switched
// off calls RequestStop(). Cancel uses the ScanControl side. Each timer tick
// calls TakeFullNotice() and shows "dataList full" when it says so.
//
// Each probe has its own state (socket, thread, generation): a restart or
// ClearBusy that frees a host slot while its probe still runs never lets
// that probe clear the flags of a newer probe or of a newer scan. Probes
// touch only the scanner's own state and the row-change queue; the
// destructor stops the pacing thread and waits for every probe, each bounded
// by the connect bound and the Modbus client's reply bound.
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/messages.h"
#include "net/modbus_registers.h"
#include "net/net_state.h"
#include "net/scan_control.h"
#include "net/tcp_connect.h"

namespace plinth {

struct ScanOptions {
  uint16_t port = kModbusPort;
  int connectTimeoutMs = kConnectTimeoutMs;
  // Least time between two probe starts (tests that need many rounds
  // shorten it).
  std::chrono::milliseconds probeInterval{50};
  // 0: until stopped. Otherwise the scan stops itself once the cursor has
  // passed over the 254 hosts this many times, or every host has answered.
  int rounds = 0;
};

// Told what the scan does, on the pacing and probe threads.
class ScanObserver {
 public:
  virtual ~ScanObserver() = default;
  virtual void ProbeStarted(int /*host*/) {}
  // A module answered; record is the row it makes ("ok", texts only).
  virtual void ModuleFound(const SlaveRecord& /*record*/) {}
};

class NetScanner : public ScanControl {
 public:
  static constexpr int kMaxPendingProbes = 8;
  static constexpr auto kIdleSleep = std::chrono::milliseconds(100);

  NetScanner(NetState& net, Messages& messages, ScanOptions options = {}, ScanObserver* observer = nullptr);
  ~NetScanner() override;
  NetScanner(const NetScanner&) = delete;
  NetScanner& operator=(const NetScanner&) = delete;

  // Switched on: resets the host slots for the network of addressText (its
  // fourth octet is the start host and is left out of the pending count)
  // and clears the stop flag. The first call starts the pacing thread
  // ("BackGround Thread failed!" when it cannot be created).
  void Start(const std::string& addressText);

  // ScanControl: the stop flag and the busy flags of the 256 host slots.
  bool Started() const override { return started_; }
  void RequestStop() override { stop_.store(true, std::memory_order_release); }
  bool AnyBusy() const override;
  void ClearBusy() override;

  bool Stopped() const { return stop_.load(std::memory_order_acquire); }
  // Stopped and no probe thread running, within limit.
  bool WaitUntilIdle(std::chrono::milliseconds limit);
  // True once per scan when a found module could not be stored because all
  // slots of dataList were taken.
  bool TakeFullNotice();
  // Messages about found modules that were not stored because another row
  // has their node, each module once per scan; taken once.
  std::vector<std::string> TakeNodeNotices();

 private:
  struct HostSlot {
    std::atomic<uint32_t> busy{0};     // generation of the running probe, 0: free
    std::atomic<uint32_t> pending{0};  // run in which the host has not yet accepted, 0: not pending
  };
  struct Probe;
  struct Refusals;

  void Pace();
  // Both false when the scanner is ending.
  bool Sleep(std::chrono::milliseconds time);
  bool SleepUntil(std::chrono::steady_clock::time_point end);
  void Launch(int host, uint32_t network, uint32_t run);
  void RunProbe(Probe& probe);
  void Reap(bool all);

  NetState& net_;
  Messages& messages_;
  const ScanOptions options_;
  ScanObserver* observer_;
  std::array<HostSlot, 256> slots_;
  // Found modules the list refused; shared with the row changes, which may
  // be applied after the scanner is gone.
  std::shared_ptr<Refusals> refusals_;
  bool started_ = false;  // user-interface thread only
  std::atomic<bool> stop_{false};
  std::atomic<uint32_t> network_{0};  // network order; 0: no readable address, nothing is tried
  std::atomic<uint32_t> run_{0};      // counts Start calls
  uint32_t shownRun_ = 0;             // run whose "dataList full" was taken
  std::atomic<int> running_{0};       // probe threads not yet ended
  uint32_t generation_ = 0;           // pacing thread only
  std::vector<std::unique_ptr<Probe>> probes_;  // pacing thread, then the destructor

  std::mutex cursorMutex_;  // a restart's start host against the pacing thread's step
  std::mutex wakeMutex_;
  std::condition_variable wake_;
  bool ending_ = false;
  std::thread pacer_;
};

}  // namespace plinth
