// Feeds arbitrary bytes to a simulated module as a request stream: framing
// and answers must stay within their buffers, and every reply must be a
// consistent Modbus/TCP frame.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "sim/sim_module.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  plinth::SimModuleConfig config;
  config.changingInputs = false;
  config.moduleId = size ? static_cast<uint16_t>(data[0] * 7) : 0;  // known and unknown IDs
  plinth::SimModule module(config);
  std::span<const uint8_t> stream(data, size);
  for (;;) {
    const int length = plinth::RequestFrameLength(stream);
    if (length <= 0) break;
    const plinth::SimAnswer answer = module.Answer(stream.first(static_cast<size_t>(length)));
    const auto& reply = answer.reply;
    if (!reply.empty()) {
      // Length field, echoed transaction and unit, and the size of a frame.
      if (reply.size() < 9 || reply.size() > 260) std::abort();
      if (reply.size() != 6 + ((size_t{reply[4]} << 8) | reply[5])) std::abort();
      if (reply[0] != stream[0] || reply[1] != stream[1] || reply[6] != stream[6]) std::abort();
    }
    stream = stream.subspan(static_cast<size_t>(length));
  }
  return 0;
}
