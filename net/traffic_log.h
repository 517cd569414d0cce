#pragma once
// The traffic log: every Modbus/TCP frame the client sends or receives,
// every connect attempt with its outcome and every BOOTP datagram the server
// handles, with its time, direction, addresses and raw bytes. It is a
// bounded ring of the last N entries. Writers (the serving and probing
// threads) claim a slot with one atomic step and fill it; they never wait
// for a reader and never touch a terminal or a file. Readers copy entries out
// and check that nothing overwrote them while they copied.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace plinth {

inline constexpr size_t kDefaultTrafficCapacity = 10000;
// Bytes kept with an entry: a whole BOOTP message or Modbus reply.
inline constexpr size_t kMaxTrafficBytes = 304;

enum class TrafficKind : uint8_t { kModbus, kBootp, kConnect };
enum class TrafficDirection : uint8_t { kSent, kReceived };

// Address in network byte order, port in host order.
struct TrafficEndpoint {
  uint32_t address = 0;
  uint16_t port = 0;
};

// What a writer reports, apart from the bytes.
struct TrafficRecord {
  int64_t timeUs = 0;  // microseconds since the epoch
  TrafficKind kind = TrafficKind::kModbus;
  TrafficDirection direction = TrafficDirection::kSent;
  TrafficEndpoint local;
  TrafficEndpoint remote;
  int32_t error = 0;  // errno of a failed connect, send or receive; 0: none
  // For a Modbus reply, the request it answers (a read reply carries
  // neither its start register nor its count).
  uint8_t requestFunction = 0;
  uint8_t requestCount = 0;
  uint16_t requestStart = 0;
  uint16_t size = 0;  // bytes of the frame as it went over the wire
};

struct TrafficEntry : TrafficRecord {
  uint64_t sequence = 0;       // counts from 0 over the log's life
  std::vector<uint8_t> bytes;  // the first kMaxTrafficBytes of the frame
};

class TrafficLog {
 public:
  explicit TrafficLog(size_t capacity = kDefaultTrafficCapacity);
  ~TrafficLog();
  TrafficLog(const TrafficLog&) = delete;
  TrafficLog& operator=(const TrafficLog&) = delete;

  size_t Capacity() const { return capacity_; }

  // Adds one entry; record.size is set from bytes when it is 0 and bytes
  // are given. Safe from any number of threads at once.
  void Add(TrafficRecord record, std::span<const uint8_t> bytes);

  // Sequence number the next entry will get.
  uint64_t Next() const { return next_.load(std::memory_order_acquire); }

  struct Batch {
    std::vector<TrafficEntry> entries;
    uint64_t next = 0;  // where the following read goes on
    uint64_t lost = 0;  // entries from `from` on that the ring no longer held
  };
  // Copies the entries from sequence `from` on, at most `limit` of them. An
  // entry still being written ends the batch: the next read starts there.
  Batch Read(uint64_t from, size_t limit = SIZE_MAX) const;

 private:
  struct Slot;
  const size_t capacity_;
  std::unique_ptr<Slot[]> slots_;
  std::atomic<uint64_t> next_{0};
};

// The log the network code reports to; none (nullptr) at start. Whoever
// sets one keeps it alive until it is replaced.
void SetTrafficLog(TrafficLog* log);
inline std::atomic<TrafficLog*>& TrafficLogPointer() {
  static std::atomic<TrafficLog*> log{nullptr};
  return log;
}
inline TrafficLog* ActiveTrafficLog() { return TrafficLogPointer().load(std::memory_order_acquire); }

// Counts connects and closes of client sockets while a log is set (and
// every change of log), so that tracing may keep a socket's two ends between
// exchanges instead of asking the system for them each time.
inline std::atomic<uint64_t>& SocketGeneration() {
  static std::atomic<uint64_t> generation{0};
  return generation;
}
inline void NoteSocketChange() {
  if (ActiveTrafficLog()) SocketGeneration().fetch_add(1, std::memory_order_release);
}

// The time now for an entry.
int64_t TrafficNow();

// The two ends of a connected socket; zeros for what cannot be read.
void SocketEndpoints(int socket, TrafficEndpoint& local, TrafficEndpoint& remote);

}  // namespace plinth
