#include "net/traffic_pcap.h"

#include <algorithm>
#include <cerrno>
#include <vector>

namespace plinth {
namespace {

constexpr uint8_t kSyn = 0x02, kRst = 0x04, kPsh = 0x08, kAck = 0x10;
constexpr uint16_t kBootpServerPort = 67, kBootpClientPort = 68;

void Put16(std::string& out, uint16_t v) {
  out += static_cast<char>(v >> 8);
  out += static_cast<char>(v);
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, static_cast<uint16_t>(v >> 16));
  Put16(out, static_cast<uint16_t>(v));
}
// The pcap headers are in the writer's byte order; little-endian here.
void PutLe32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>(v >> (8 * i));
}
// An address kept in network order, written as it goes on the wire.
void PutAddress(std::string& out, uint32_t networkOrder) {
  out.append(reinterpret_cast<const char*>(&networkOrder), 4);
}

uint32_t Sum(const std::string& bytes, size_t from, size_t to, uint32_t sum = 0) {
  for (size_t i = from; i + 1 < to; i += 2)
    sum += static_cast<uint32_t>(static_cast<uint8_t>(bytes[i]) << 8 | static_cast<uint8_t>(bytes[i + 1]));
  if ((to - from) % 2) sum += static_cast<uint32_t>(static_cast<uint8_t>(bytes[to - 1]) << 8);
  return sum;
}
uint16_t Fold(uint32_t sum) {
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint16_t>(~sum);
}
void Store16(std::string& out, size_t at, uint16_t v) {
  out[at] = static_cast<char>(v >> 8);
  out[at + 1] = static_cast<char>(v);
}

struct Ends {
  TrafficEndpoint from, to;
};

// One IPv4 packet around a transport header and payload, with checksums.
// wireSize: the payload's size on the wire (more than captured when the log
// kept only its start).
std::string Packet(const Ends& ends, uint8_t protocol, const std::string& transport,
                   const std::vector<uint8_t>& payload, size_t wireSize) {
  std::string p;
  Put16(p, 0x4500);
  Put16(p, static_cast<uint16_t>(std::min<size_t>(20 + transport.size() + wireSize, 0xFFFF)));
  Put32(p, 0x00004000);  // id 0, don't fragment
  p += static_cast<char>(64);
  p += static_cast<char>(protocol);
  Put16(p, 0);
  PutAddress(p, ends.from.address);
  PutAddress(p, ends.to.address);
  Store16(p, 10, Fold(Sum(p, 0, 20)));
  const size_t transportAt = p.size();
  p += transport;
  p.append(payload.begin(), payload.end());
  if (payload.size() == wireSize) {
    // Pseudo header: addresses, protocol, transport length.
    const size_t length = p.size() - transportAt;
    uint32_t sum = Sum(p, 12, 20) + protocol + static_cast<uint32_t>(length);
    const size_t checksumAt = transportAt + (protocol == 6 ? 16 : 6);
    uint16_t checksum = Fold(Sum(p, transportAt, p.size(), sum));
    if (protocol == 17 && checksum == 0) checksum = 0xFFFF;
    Store16(p, checksumAt, checksum);
  }
  return p;
}

std::string TcpHeader(const Ends& ends, uint32_t seq, uint32_t ack, uint8_t flags) {
  std::string t;
  Put16(t, ends.from.port);
  Put16(t, ends.to.port);
  Put32(t, seq);
  Put32(t, ack);
  t += static_cast<char>(5 << 4);
  t += static_cast<char>(flags);
  Put16(t, 65535);  // window
  Put16(t, 0);      // checksum, filled in later
  Put16(t, 0);
  return t;
}

std::string UdpHeader(const Ends& ends, size_t payloadSize) {
  std::string u;
  Put16(u, ends.from.port);
  Put16(u, ends.to.port);
  Put16(u, static_cast<uint16_t>(std::min<size_t>(8 + payloadSize, 0xFFFF)));
  Put16(u, 0);
  return u;
}

// A packet record: time, captured and original length, the packet.
std::string Record(int64_t timeUs, const std::string& packet, size_t originalSize) {
  std::string r;
  PutLe32(r, static_cast<uint32_t>(timeUs / 1000000));
  PutLe32(r, static_cast<uint32_t>(timeUs % 1000000));
  PutLe32(r, static_cast<uint32_t>(packet.size()));
  PutLe32(r, static_cast<uint32_t>(std::max(originalSize, packet.size())));
  return r + packet;
}

}  // namespace

std::string PcapEncoder::FileHeader() {
  std::string h;
  PutLe32(h, 0xA1B2C3D4);  // microsecond time stamps
  h += '\x02', h += '\x00', h += '\x04', h += '\x00';  // version 2.4
  PutLe32(h, 0);  // time zone
  PutLe32(h, 0);  // accuracy
  PutLe32(h, 65535);
  PutLe32(h, kPcapLinkTypeRaw);
  return h;
}

PcapEncoder::Flow& PcapEncoder::FlowOf(const TrafficEntry& e) {
  return flows_[FlowKey{e.local.address, e.local.port, e.remote.address, e.remote.port}];
}

std::string PcapEncoder::Records(const TrafficEntry& e) {
  const Ends out{e.local, e.remote}, back{e.remote, e.local};
  const int64_t t = e.timeUs;
  std::string records;
  auto tcp = [&](const Ends& ends, uint32_t seq, uint32_t ack, uint8_t flags, const std::vector<uint8_t>& data,
                 size_t wire) {
    const std::string packet = Packet(ends, 6, TcpHeader(ends, seq, ack, flags), data, wire);
    records += Record(t, packet, packet.size() - data.size() + wire);
  };
  switch (e.kind) {
    case TrafficKind::kConnect: {
      Flow& f = FlowOf(e);
      f = Flow{};
      tcp(out, f.clientNext - 1, 0, kSyn, {}, 0);
      if (e.error == 0) {
        tcp(back, f.serverNext - 1, f.clientNext, kSyn | kAck, {}, 0);
        tcp(out, f.clientNext, f.serverNext, kAck, {}, 0);
      } else if (e.error == ECONNREFUSED) {
        tcp(back, 0, f.clientNext, kRst | kAck, {}, 0);
      }
      break;
    }
    case TrafficKind::kModbus: {
      if (e.bytes.empty()) break;
      Flow& f = FlowOf(e);
      const bool sent = e.direction == TrafficDirection::kSent;
      uint32_t& seq = sent ? f.clientNext : f.serverNext;
      const uint32_t ack = sent ? f.serverNext : f.clientNext;
      tcp(sent ? out : back, seq, ack, kPsh | kAck, e.bytes, e.size);
      seq += e.size;
      break;
    }
    case TrafficKind::kBootp: {
      // The server's end is 67 and the module's 68, whatever ports served.
      const bool sent = e.direction == TrafficDirection::kSent;
      Ends ends = sent ? out : back;
      ends.from.port = sent ? kBootpServerPort : kBootpClientPort;
      ends.to.port = sent ? kBootpClientPort : kBootpServerPort;
      const std::string packet = Packet(ends, 17, UdpHeader(ends, e.size), e.bytes, e.size);
      records += Record(t, packet, packet.size() - e.bytes.size() + e.size);
      break;
    }
  }
  return records;
}

}  // namespace plinth
