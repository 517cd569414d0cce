#pragma once
// The traffic log as a capture file (pcap, raw IPv4 packets) that standard
// tools read: Modbus/TCP frames as TCP segments between the logged
// addresses and ports, with sequence numbers that follow each connection, a
// connect attempt as its handshake (or its SYN and the refusal), and BOOTP
// messages as UDP datagrams between ports 67 and 68, where the dissectors
// look for them.
#include <cstdint>
#include <map>
#include <string>
#include <tuple>

#include "net/traffic_log.h"

namespace plinth {

inline constexpr uint32_t kPcapLinkTypeRaw = 101;

class PcapEncoder {
 public:
  // The file header, written once at the start.
  static std::string FileHeader();
  // The packet records of one entry (none for an entry without bytes that
  // no packet stands for, such as a reply that never came).
  std::string Records(const TrafficEntry& entry);

 private:
  struct Flow {
    uint32_t clientNext = 1000;  // next sequence number from the client (the local end)
    uint32_t serverNext = 50000;
  };
  using FlowKey = std::tuple<uint32_t, uint16_t, uint32_t, uint16_t>;
  Flow& FlowOf(const TrafficEntry& entry);
  std::map<FlowKey, Flow> flows_;
};

}  // namespace plinth
