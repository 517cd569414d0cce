// Feeds arbitrary bytes, as any kind of traffic log entry, to the decoder
// and to the text, JSON Lines and pcap forms: frames off the wire must give
// words or an error, never a crash or a read outside the bytes.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "net/traffic_decode.h"
#include "net/traffic_pcap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  plinth::TrafficEntry e;
  e.kind = static_cast<plinth::TrafficKind>(data[0] % 3);
  e.direction = static_cast<plinth::TrafficDirection>(data[1] % 2);
  e.error = data[2] % 4 == 0 ? 110 : 0;
  e.requestFunction = data[3];
  e.requestCount = static_cast<uint8_t>(size);
  e.bytes.assign(data + 4, data + std::min(size, 4 + plinth::kMaxTrafficBytes));
  e.size = static_cast<uint16_t>(size - 4);  // may say more than was kept
  plinth::DecodeTraffic(e);
  plinth::TrafficTextLine(e);
  plinth::TrafficJsonLine(e);
  plinth::PcapEncoder pcap;
  pcap.Records(e);
  return 0;
}
