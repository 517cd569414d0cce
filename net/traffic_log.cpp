#include "net/traffic_log.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace plinth {
namespace {

constexpr size_t kHeaderWords = 4;
constexpr size_t kByteWords = kMaxTrafficBytes / 8;

// A slot's sequence word: 2 * (entry sequence + 1) once the entry is whole,
// odd while a writer fills it, 0 while it was never used.
constexpr uint64_t Complete(uint64_t sequence) { return 2 * (sequence + 1); }

}  // namespace

// Every field is an atomic word, so a reader that copies a slot while a
// writer refills it sees a torn copy (and drops it), never a data race.
struct TrafficLog::Slot {
  std::atomic<uint64_t> sequence{0};
  std::atomic<uint64_t> words[kHeaderWords + kByteWords] = {};
};

TrafficLog::TrafficLog(size_t capacity)
    : capacity_(std::max<size_t>(capacity, 1)), slots_(std::make_unique<Slot[]>(capacity_)) {}

TrafficLog::~TrafficLog() = default;

void TrafficLog::Add(TrafficRecord record, std::span<const uint8_t> bytes) {
  if (record.size == 0) record.size = static_cast<uint16_t>(std::min<size_t>(bytes.size(), UINT16_MAX));
  const size_t kept = std::min({bytes.size(), kMaxTrafficBytes, static_cast<size_t>(record.size)});
  uint64_t packed[kHeaderWords + kByteWords] = {};
  packed[0] = static_cast<uint64_t>(record.timeUs);
  packed[1] = uint64_t{record.local.address} | uint64_t{record.remote.address} << 32;
  packed[2] = uint64_t{record.local.port} | uint64_t{record.remote.port} << 16 |
              uint64_t{static_cast<uint8_t>(record.kind)} << 32 |
              uint64_t{static_cast<uint8_t>(record.direction)} << 40 | uint64_t{record.requestFunction} << 48 |
              uint64_t{record.requestCount} << 56;
  packed[3] = uint64_t{static_cast<uint32_t>(record.error)} | uint64_t{record.requestStart} << 32 |
              uint64_t{record.size} << 48;
  if (kept) std::memcpy(&packed[kHeaderWords], bytes.data(), kept);

  const uint64_t sequence = next_.fetch_add(1, std::memory_order_relaxed);
  Slot& slot = slots_[sequence % capacity_];
  const uint64_t mine = Complete(sequence);
  uint64_t current = slot.sequence.load(std::memory_order_relaxed);
  for (;;) {
    if (current >= mine) return;  // a later entry holds the slot: this one is already past the ring
    if (current & 1) {
      // Another writer, a whole ring ahead or behind, fills it: only writers
      // ever wait here, and only when the ring is far too small.
      std::this_thread::yield();
      current = slot.sequence.load(std::memory_order_relaxed);
      continue;
    }
    if (slot.sequence.compare_exchange_weak(current, mine - 1, std::memory_order_acquire,
                                            std::memory_order_relaxed))
      break;
  }
  std::atomic_thread_fence(std::memory_order_release);
  const size_t used = kHeaderWords + (kept + 7) / 8;
  for (size_t i = 0; i < used; ++i) slot.words[i].store(packed[i], std::memory_order_relaxed);
  slot.sequence.store(mine, std::memory_order_release);
}

TrafficLog::Batch TrafficLog::Read(uint64_t from, size_t limit) const {
  Batch batch;
  const uint64_t end = Next();
  const uint64_t oldest = end > capacity_ ? end - capacity_ : 0;
  uint64_t at = std::max(from, oldest);
  batch.lost = at - from;
  for (; at < end && batch.entries.size() < limit; ++at) {
    const Slot& slot = slots_[at % capacity_];
    const uint64_t before = slot.sequence.load(std::memory_order_acquire);
    if (before < Complete(at)) break;  // still being written
    if (before > Complete(at)) {
      ++batch.lost;  // overwritten
      continue;
    }
    uint64_t packed[kHeaderWords + kByteWords];
    for (size_t i = 0; i < kHeaderWords; ++i) packed[i] = slot.words[i].load(std::memory_order_relaxed);
    const uint16_t size = static_cast<uint16_t>(packed[3] >> 48);
    const size_t kept = std::min<size_t>(size, kMaxTrafficBytes);
    for (size_t i = 0; i < (kept + 7) / 8; ++i)
      packed[kHeaderWords + i] = slot.words[kHeaderWords + i].load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (slot.sequence.load(std::memory_order_relaxed) != before) {
      ++batch.lost;  // overwritten while copied
      continue;
    }
    TrafficEntry e;
    e.sequence = at;
    e.timeUs = static_cast<int64_t>(packed[0]);
    e.local.address = static_cast<uint32_t>(packed[1]);
    e.remote.address = static_cast<uint32_t>(packed[1] >> 32);
    e.local.port = static_cast<uint16_t>(packed[2]);
    e.remote.port = static_cast<uint16_t>(packed[2] >> 16);
    e.kind = static_cast<TrafficKind>(static_cast<uint8_t>(packed[2] >> 32));
    e.direction = static_cast<TrafficDirection>(static_cast<uint8_t>(packed[2] >> 40));
    e.requestFunction = static_cast<uint8_t>(packed[2] >> 48);
    e.requestCount = static_cast<uint8_t>(packed[2] >> 56);
    e.error = static_cast<int32_t>(static_cast<uint32_t>(packed[3]));
    e.requestStart = static_cast<uint16_t>(packed[3] >> 32);
    e.size = size;
    const auto* raw = reinterpret_cast<const uint8_t*>(&packed[kHeaderWords]);
    e.bytes.assign(raw, raw + kept);
    batch.entries.push_back(std::move(e));
  }
  batch.next = at;
  return batch;
}

void SetTrafficLog(TrafficLog* log) {
  TrafficLogPointer().store(log, std::memory_order_release);
  SocketGeneration().fetch_add(1, std::memory_order_release);
}

int64_t TrafficNow() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

void SocketEndpoints(int socket, TrafficEndpoint& local, TrafficEndpoint& remote) {
  sockaddr_in a{};
  socklen_t length = sizeof a;
  if (getsockname(socket, reinterpret_cast<sockaddr*>(&a), &length) == 0 && a.sin_family == AF_INET)
    local = {a.sin_addr.s_addr, ntohs(a.sin_port)};
  length = sizeof a;
  a = {};
  if (getpeername(socket, reinterpret_cast<sockaddr*>(&a), &length) == 0 && a.sin_family == AF_INET)
    remote = {a.sin_addr.s_addr, ntohs(a.sin_port)};
}

}  // namespace plinth
