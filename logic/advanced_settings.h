#pragma once
// The three I/O-cycle settings of the master station and the 16-bit word
// that carries them in the configuration file: bits 0-7 burst count, bit 13
// "One cycle output/input", bit 14 "Fill UDP dummy-frame".
#include <cstdint>
#include <optional>
#include <string_view>

#include "base/user_prompts.h"

namespace plinth {

struct AdvancedValues {
  int burstCount = 0;
  bool fillUdpDummyFrame = false;
  bool oneCycleOutputInput = false;
};

inline constexpr int kMaxBurstCount = 255;

AdvancedValues UnpackAdvancedSettings(uint16_t word);
// Bits other than the three settings are not kept.
uint16_t PackAdvancedSettings(const AdvancedValues& values);

// The burst count field on OK: a whole decimal number from 0 to 255. Else
// the user is told what to enter and nullopt is returned.
std::optional<int> ReadBurstCount(std::string_view text, UserPrompts& prompts);

}  // namespace plinth
