#include "net/modbus_trace.h"

namespace plinth {
namespace {

// The two ends of the socket this thread traced last, while no client
// socket was connected or closed since.
struct KnownEnds {
  int socket = -1;
  uint64_t generation = 0;
  TrafficEndpoint local, remote;
};
thread_local KnownEnds known;

}  // namespace

TrafficRecord ModbusTrace::Record(TrafficDirection direction, int error) {
  if (!haveEnds_) {
    const uint64_t generation = SocketGeneration().load(std::memory_order_acquire);
    if (known.socket != socket_ || known.generation != generation) {
      known = KnownEnds{socket_, generation, {}, {}};
      SocketEndpoints(socket_, known.local, known.remote);
    }
    local_ = known.local;
    remote_ = known.remote;
    haveEnds_ = true;
  }
  TrafficRecord r;
  r.timeUs = TrafficNow();
  r.kind = TrafficKind::kModbus;
  r.direction = direction;
  r.local = local_;
  r.remote = remote_;
  r.error = error;
  return r;
}

void ModbusTrace::Sent(std::span<const uint8_t> frame, int error) {
  if (!log_) return;
  if (frame.size() >= 12) {
    function_ = frame[7];
    start_ = static_cast<uint16_t>(frame[8] << 8 | frame[9]);
    count_ = frame[11];  // counts of this client fit in the low byte
  }
  TrafficRecord r = Record(TrafficDirection::kSent, error);
  log_->Add(r, frame);
}

void ModbusTrace::Received(std::span<const uint8_t> reply, int error) {
  if (!log_) return;
  TrafficRecord r = Record(TrafficDirection::kReceived, error);
  r.requestFunction = function_;
  r.requestStart = start_;
  r.requestCount = count_;
  log_->Add(r, reply);
}

}  // namespace plinth
