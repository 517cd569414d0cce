#pragma once
// The module's register map as the configurator uses it, shared by the
// client's callers and by the module simulator.
#include <cstddef>
#include <cstdint>

namespace plinth {

inline constexpr uint16_t kModbusPort = 502;

// The module status block: 13 registers from 0xF800.
inline constexpr uint16_t STATUS_BLOCK = 0xF800;
inline constexpr int kStatusBlockWords = 13;

// Words of the status block (word k is register STATUS_BLOCK + k).
inline constexpr int kStatusInputWords = 1;
inline constexpr int kStatusOutputWords = 2;
inline constexpr int kStatusModuleId = 3;
inline constexpr int kStatusTextWords = 5;
inline constexpr int kStatusHealth = 9;
inline constexpr int kStatusLastError = 10;
inline constexpr int kStatusErrorCount = 11;

inline constexpr uint16_t kGoodHealth = 0x8000;

// Time-out of the module, in units of 10 ms.
inline constexpr uint16_t kTimeoutRegister = 0xF000;
// 1: keep the current IP address; 0: ask BOOTP for one.
inline constexpr uint16_t kIpFlashFlagRegister = 0xF410;
// Text block; its length in registers is status word 5.
inline constexpr uint16_t kTextBlockAddress = 0xFC00;
// Input image (read) and output image (written) both start at 0.
inline constexpr uint16_t kIoImageAddress = 0;

// Diagnostics (function 8), sub-function 0x0015, data 0x0003: the reply
// from its function code on is the statistics block; callers keep 84 bytes
// of it, and the MAC address is at offset 6 of those (reply bytes 13..18).
inline constexpr uint16_t kStatisticsSubFunction = 0x0015;
inline constexpr uint16_t kStatisticsData = 0x0003;
inline constexpr size_t kStatisticsSize = 84;
inline constexpr size_t kStatisticsMacOffset = 6;

}  // namespace plinth
