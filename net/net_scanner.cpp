#include "net/net_scanner.h"

#include <arpa/inet.h>

#include <cstring>
#include <set>
#include <utility>
#include <system_error>

#include "base/text_scan.h"
#include "base/thread_priority.h"
#include "net/modbus_client.h"

namespace plinth {
namespace {

constexpr int kFirstHost = 1;
constexpr int kLastHost = 254;

// The row a module that answered makes: texts only, as the list shows them.
SlaveRecord FoundRecord(int host, uint32_t address, const std::array<uint16_t, kStatusBlockWords>& wire,
                        const uint8_t* mac) {
  SlaveRecord record;
  record.node = std::to_string(host);
  record.status = "ok";
  record.ipAddress = FormatIpv4(address);
  if (mac) {
    MacAddress bytes;
    std::memcpy(bytes.data(), mac, bytes.size());
    record.macAddress = FormatMac(bytes);
  }
  record.moduleId = std::to_string(ntohs(wire[kStatusModuleId]));
  record.inputWords = std::to_string(ntohs(wire[kStatusInputWords]));
  record.outputWords = std::to_string(ntohs(wire[kStatusOutputWords]));
  return record;
}

}  // namespace

struct NetScanner::Probe {
  int host = 0;
  uint32_t address = 0;  // network order
  uint32_t generation = 0;
  uint32_t run = 0;
  int socket = -1;
  std::atomic<bool> ended{false};
  std::thread thread;
};

struct NetScanner::Refusals {
  std::mutex mutex;
  uint32_t fullRun = 0;  // run of the last module refused for a full list
  std::vector<std::string> nodeNotices;          // not yet taken
  std::set<std::pair<uint32_t, int>> nodeTold;   // (run, host) of a module refused for its node
};

NetScanner::NetScanner(NetState& net, Messages& messages, ScanOptions options, ScanObserver* observer)
    : net_(net), messages_(messages), options_(options), observer_(observer), refusals_(std::make_shared<Refusals>()) {}

NetScanner::~NetScanner() {
  {
    std::lock_guard<std::mutex> lock(wakeMutex_);
    ending_ = true;
  }
  wake_.notify_all();
  stop_.store(true, std::memory_order_release);
  if (pacer_.joinable()) pacer_.join();
  Reap(true);
}

void NetScanner::Start(const std::string& addressText) {
  const uint32_t address = ParseIpv4(addressText);
  // An unreadable address starts at host 1 like one ending in .255, and
  // tries nothing; host 0 is never tried either.
  const int own = address ? static_cast<int>(ntohl(address) & 0xFF) : 255;
  // Held until the new run is published, so that the pacing thread cannot
  // step past the start host on behalf of the run before.
  std::lock_guard<std::mutex> cursorLock(cursorMutex_);
  net_.scanCursor.store(own == 0 || own == 255 ? kFirstHost : own, std::memory_order_release);
  const uint32_t run = run_.load(std::memory_order_relaxed) + 1;
  for (int host = 0; host < 256; ++host) {
    slots_[host].busy.store(0, std::memory_order_release);
    const bool pending = host >= kFirstHost && host <= kLastHost && host != own;
    slots_[host].pending.store(pending ? run : 0, std::memory_order_release);
  }
  network_.store(address & htonl(0xFFFFFF00u), std::memory_order_release);
  run_.store(run, std::memory_order_release);
  stop_.store(false, std::memory_order_release);
  if (started_) return;
  started_ = true;
  try {
    pacer_ = std::thread(&NetScanner::Pace, this);
  } catch (const std::system_error&) {
    messages_.Show("BackGround Thread failed!");
  }
}

bool NetScanner::AnyBusy() const {
  for (const HostSlot& slot : slots_)
    if (slot.busy.load(std::memory_order_acquire)) return true;
  return false;
}

void NetScanner::ClearBusy() {
  for (HostSlot& slot : slots_) slot.busy.store(0, std::memory_order_release);
}

bool NetScanner::WaitUntilIdle(std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!Stopped() || running_.load(std::memory_order_acquire) > 0) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

bool NetScanner::TakeFullNotice() {
  const uint32_t run = run_.load(std::memory_order_acquire);
  std::lock_guard<std::mutex> lock(refusals_->mutex);
  if (refusals_->fullRun != run || shownRun_ == run) return false;
  shownRun_ = run;
  return true;
}

std::vector<std::string> NetScanner::TakeNodeNotices() {
  std::lock_guard<std::mutex> lock(refusals_->mutex);
  return std::exchange(refusals_->nodeNotices, {});
}

bool NetScanner::SleepUntil(std::chrono::steady_clock::time_point end) {
  std::unique_lock<std::mutex> lock(wakeMutex_);
  return !wake_.wait_until(lock, end, [this] { return ending_; });
}

bool NetScanner::Sleep(std::chrono::milliseconds time) { return SleepUntil(std::chrono::steady_clock::now() + time); }

void NetScanner::Pace() {
  uint32_t countedRun = 0;
  int steps = 0;  // cursor steps in the run countedRun
  for (;;) {
    Reap(false);
    if (stop_.load(std::memory_order_acquire)) {
      if (!Sleep(kIdleSleep)) return;
      continue;
    }
    const uint32_t run = run_.load(std::memory_order_acquire);
    if (run != countedRun) {
      countedRun = run;
      steps = 0;
    }
    const uint32_t network = network_.load(std::memory_order_acquire);
    int pending = 0, busy = 0;
    for (int host = kFirstHost; host <= kLastHost; ++host) {
      if (!slots_[host].pending.load(std::memory_order_acquire)) continue;
      ++pending;
      if (slots_[host].busy.load(std::memory_order_acquire)) ++busy;
    }
    // Every host has answered: a scan of so many rounds has no more to find.
    if (pending == 0 && options_.rounds > 0) stop_.store(true, std::memory_order_release);
    if (network == 0 || pending == 0 || busy >= kMaxPendingProbes) {
      if (!Sleep(kIdleSleep)) return;
      continue;
    }
    for (int i = 0; i < kMaxPendingProbes - busy; ++i) {
      // Stopped: the top of the loop sleeps. Restarted: count afresh.
      if (stop_.load(std::memory_order_acquire) || run_.load(std::memory_order_acquire) != run) break;
      int host = net_.scanCursor.load(std::memory_order_acquire);
      if (host < kFirstHost || host > kLastHost) host = kFirstHost;
      if (!slots_[host].busy.load(std::memory_order_acquire)) {
        // The pause counts from the start as observers see it, so that
        // making the thread does not stretch the pace.
        if (observer_) observer_->ProbeStarted(host);
        const auto started = std::chrono::steady_clock::now();
        Launch(host, network, run);
        if (!SleepUntil(started + options_.probeInterval)) return;
      }
      {
        // A restart meanwhile has set the cursor to its own start host, which
        // may be this very host: keep it.
        std::lock_guard<std::mutex> cursorLock(cursorMutex_);
        if (run_.load(std::memory_order_acquire) != run) break;
        net_.scanCursor.store(host == kLastHost ? kFirstHost : host + 1, std::memory_order_release);
      }
      if (options_.rounds > 0 && ++steps >= options_.rounds * kLastHost) stop_.store(true, std::memory_order_release);
    }
  }
}

void NetScanner::Launch(int host, uint32_t network, uint32_t run) {
  auto probe = std::make_unique<Probe>();
  probe->host = host;
  probe->address = network | htonl(static_cast<uint32_t>(host));
  if (++generation_ == 0) ++generation_;
  probe->generation = generation_;
  probe->run = run;
  slots_[host].busy.store(probe->generation, std::memory_order_release);
  running_.fetch_add(1, std::memory_order_acq_rel);
  try {
    probe->thread = std::thread(&NetScanner::RunProbe, this, std::ref(*probe));
  } catch (const std::system_error&) {
    // The slot stays busy without a thread until a restart or Cancel frees it.
    running_.fetch_sub(1, std::memory_order_acq_rel);
    messages_.Show("BackGround Thread failed!");
    return;
  }
  probes_.push_back(std::move(probe));
}

void NetScanner::RunProbe(Probe& probe) {
  RaiseThreadPriority();
  HostSlot& slot = slots_[probe.host];
  probe.socket = ConnectTcp(probe.address, options_.port, options_.connectTimeoutMs);
  if (probe.socket >= 0) {
    // Only a probe of the current run counts for it.
    uint32_t run = probe.run;
    slot.pending.compare_exchange_strong(run, 0, std::memory_order_acq_rel);
    const auto unit = static_cast<uint8_t>(probe.host);
    std::array<uint16_t, kStatusBlockWords> wire{};
    if (ReadNode(probe.socket, unit, wire.data(), STATUS_BLOCK, kStatusBlockWords)) {
      std::array<uint8_t, kStatisticsSize> statistics{};
      const bool macRead = GetStatistics(probe.socket, unit, statistics);
      SlaveRecord record =
          FoundRecord(probe.host, probe.address, wire, macRead ? statistics.data() + kStatisticsMacOffset : nullptr);
      if (observer_) observer_->ModuleFound(record);
      RowChange change{std::move(record), {}};
      change.done = [refusals = refusals_, run = probe.run, host = probe.host,
                     ip = FormatIpv4(probe.address)](RowChangeResult result) {
        std::lock_guard<std::mutex> lock(refusals->mutex);
        if (result == RowChangeResult::kListFull) refusals->fullRun = run;
        if (result == RowChangeResult::kNodeTaken && refusals->nodeTold.insert({run, host}).second)
          refusals->nodeNotices.push_back("Module " + ip + " not added: node " + std::to_string(host) +
                                          " is already used by another slave.");
      };
      net_.rowChanges.Post(std::move(change));
    }
    CloseSocket(probe.socket);
  }
  // Frees the slot only if no restart or Cancel has handed it to a newer probe.
  uint32_t generation = probe.generation;
  slot.busy.compare_exchange_strong(generation, 0, std::memory_order_acq_rel);
  running_.fetch_sub(1, std::memory_order_acq_rel);
  probe.ended.store(true, std::memory_order_release);
}

void NetScanner::Reap(bool all) {
  for (auto it = probes_.begin(); it != probes_.end();) {
    if (all || (*it)->ended.load(std::memory_order_acquire)) {
      (*it)->thread.join();
      it = probes_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace plinth
