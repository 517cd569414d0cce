#pragma once
// How one Modbus/TCP exchange of the client reaches the traffic log: the
// request as sent and the reply as received, with the socket's two ends read
// once per exchange and only while a log is set.
#include <cstdint>
#include <span>

#include "net/traffic_log.h"

namespace plinth {

class ModbusTrace {
 public:
  explicit ModbusTrace(int socket) : log_(ActiveTrafficLog()), socket_(socket) {}
  bool On() const { return log_ != nullptr; }
  // The request; error is the send's errno, 0 when it went out whole.
  void Sent(std::span<const uint8_t> frame, int error);
  // The reply received for the last request sent (bytes may be none);
  // error says why it is not one: 0 when it came whole.
  void Received(std::span<const uint8_t> reply, int error);

 private:
  TrafficRecord Record(TrafficDirection direction, int error);
  TrafficLog* const log_;
  const int socket_;
  bool haveEnds_ = false;
  TrafficEndpoint local_, remote_;
  uint8_t function_ = 0, count_ = 0;
  uint16_t start_ = 0;
};

}  // namespace plinth
