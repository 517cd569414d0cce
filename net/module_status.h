#pragma once
// What a connected module reports about itself, read in the order the
// module status dialog reads it on opening: status block, text block,
// time-out, then the MAC address from the statistics.
#include <array>
#include <cstdint>
#include <string>

#include "net/modbus_frames.h"
#include "net/modbus_registers.h"

namespace plinth {

struct ModuleStatus {
  bool statusRead = false;
  ModbusError statusError;      // why the status block was not read
  std::array<uint16_t, kStatusBlockWords> words{};  // host order; zero unless read
  bool timeoutRead = false;
  int timeoutMs = 0;  // the time-out register times 10
  bool statisticsRead = false;
  ModbusError statisticsError;  // why the statistics were not read
  // The text block (up to its first zero byte), replaced by the MAC address
  // as twelve lower-case hex digits when the statistics were read.
  std::string macField;
  std::string textBlock;  // the text block as read (bytes, not always UTF-8)
};

// The reads run one after another even when an earlier one failed.
ModuleStatus ReadModuleStatus(int socket, uint8_t unit = 1);

}  // namespace plinth
