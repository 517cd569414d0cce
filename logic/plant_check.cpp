#include "logic/plant_check.h"

#include <arpa/inet.h>

#include <algorithm>
#include <map>
#include <system_error>

#include "base/text_scan.h"

namespace plinth {

namespace {

// The address to connect to for r, or 0: none, 0.0.0.0 (how a file keeps
// "none") or a text that is not four octets.
uint32_t CheckableAddress(const SlaveRecord& r) { return ReadIpv4Octets(r.ipAddress) ? ParseIpv4(r.ipAddress) : 0; }

}  // namespace

std::optional<uint32_t> SweepNetwork(const std::string& masterIp) {
  const auto octets = ReadIpv4Octets(masterIp);
  if (!octets) return std::nullopt;
  return ParseIpv4(FormatDotted((*octets)[0], (*octets)[1], (*octets)[2], 0));
}

PlantCheck::PlantCheck(std::vector<SlaveRecord> slaves, std::string masterIp, PlantCheckOptions options)
    : slaves_(std::move(slaves)), masterIp_(std::move(masterIp)), options_(options) {
  // One target per address, in the order of the rows that name it first.
  std::map<uint32_t, size_t> byAddress;
  for (int row = 0; row < static_cast<int>(slaves_.size()); ++row) {
    const uint32_t address = CheckableAddress(slaves_[static_cast<size_t>(row)]);
    if (address == 0) continue;
    auto [at, added] = byAddress.try_emplace(address, targets_.size());
    if (added) targets_.push_back({address, {}});
    targets_[at->second].rows.push_back(row);
  }
  const std::optional<uint32_t> network = options_.sweep ? SweepNetwork(masterIp_) : std::nullopt;
  if (network) {
    // Every other host of the /24 but the master itself.
    const uint32_t master = ParseIpv4(masterIp_);
    for (uint32_t host = 1; host <= 254; ++host) {
      const uint32_t address = htonl(ntohl(*network) | host);
      if (address != master && !byAddress.count(address)) targets_.push_back({address, {}});
    }
  }
  probes_.resize(targets_.size());
}

PlantCheck::~PlantCheck() {
  Cancel();
  for (std::thread& t : workers_)
    if (t.joinable()) t.join();
}

bool PlantCheck::Start() {
  StampCheckRecord(stamp_);
  started_ = std::chrono::steady_clock::now();
  const int parallel = std::clamp(options_.parallel, 1, PlantCheckOptions::kMaxParallel);
  const size_t wanted = std::min(static_cast<size_t>(parallel), targets_.size());
  std::lock_guard lock(mutex_);
  if (wanted == 0) {
    ended_ = started_;
    return true;
  }
  for (size_t i = 0; i < wanted; ++i) {
    try {
      workers_.emplace_back([this] { Work(); });
      ++running_;
    } catch (const std::system_error&) {
      break;  // fewer workers take longer, but do all the work
    }
  }
  return running_ > 0;
}

void PlantCheck::Work() {
  for (;;) {
    const size_t i = next_.fetch_add(1, std::memory_order_relaxed);
    if (i >= targets_.size() || cancel_.Cancelled()) break;
    probes_[i] = ProbeModule(targets_[i].address, options_.port, options_.connectTimeoutMs, cancel_);
    done_.fetch_add(1, std::memory_order_release);
  }
  std::lock_guard lock(mutex_);
  if (--running_ == 0) {
    ended_ = std::chrono::steady_clock::now();
    endedCv_.notify_all();
  }
}

void PlantCheck::Cancel() { cancel_.Cancel(); }

bool PlantCheck::WaitUntilDone(std::chrono::milliseconds wait) {
  std::unique_lock lock(mutex_);
  return endedCv_.wait_for(lock, wait, [this] { return running_ == 0; });
}

CheckReport PlantCheck::Report() const {
  CheckReport report;
  CheckRecord& record = report.record;
  record = stamp_;
  record.master = masterIp_;
  if (const auto network = SweepNetwork(masterIp_)) record.network = FormatIpv4(*network) + "/24";
  record.port = options_.port;
  record.sweep = options_.sweep;
  record.parallel = std::clamp(options_.parallel, 1, PlantCheckOptions::kMaxParallel);
  {
    std::lock_guard lock(mutex_);
    record.durationMs = std::chrono::duration_cast<std::chrono::milliseconds>(ended_ - started_).count();
  }

  report.slaves.resize(slaves_.size());
  for (size_t row = 0; row < slaves_.size(); ++row) {
    CheckEntry& entry = report.slaves[row];
    entry.row = static_cast<int>(row);
    entry.slave = slaves_[row];
    if (CheckableAddress(slaves_[row]) != 0) continue;
    const std::string& ip = slaves_[row].ipAddress;
    entry.findings.push_back({FindingKind::kNotCheckable, "", "",
                              ip.empty() || ReadIpv4Octets(ip) ? "no IP address" : "IP address " + ip + " cannot be read"});
  }
  for (size_t i = 0; i < targets_.size(); ++i) {
    const ModuleProbe& probe = probes_[i];
    if (targets_[i].rows.empty()) {
      if (!probe.Connected()) continue;  // nothing answers there
      CheckEntry entry;
      entry.slave = SweptRecord(targets_[i].address, probe);
      entry.found = FoundFrom(probe);
      report.notInList.push_back(std::move(entry));
      continue;
    }
    for (int row : targets_[i].rows) {
      CheckEntry& entry = report.slaves[static_cast<size_t>(row)];
      entry.findings = ClassifySlave(entry.slave, probe, options_.connectTimeoutMs);
      if (probe.Connected()) entry.found = FoundFrom(probe);
    }
  }
  return report;
}

}  // namespace plinth
