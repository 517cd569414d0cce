#include "logic/advanced_settings.h"

#include "logic/slave_config_logic.h"

namespace plinth {

AdvancedValues UnpackAdvancedSettings(uint16_t word) {
  return {word & 0xFF, (word & (1u << 14)) != 0, (word & (1u << 13)) != 0};
}

uint16_t PackAdvancedSettings(const AdvancedValues& values) {
  auto word = static_cast<uint16_t>(values.burstCount & 0xFF);
  if (values.fillUdpDummyFrame) word |= 1u << 14;
  if (values.oneCycleOutputInput) word |= 1u << 13;
  return word;
}

std::optional<int> ReadBurstCount(std::string_view text, UserPrompts& prompts) {
  std::optional<int> count = ReadWholeDecimal(text);
  if (!count) {
    prompts.ShowMessage("Please enter an integer.");
    return std::nullopt;
  }
  if (*count < 0 || *count > kMaxBurstCount) {
    prompts.ShowMessage("Please enter an integer between 0 and 255.");
    return std::nullopt;
  }
  return count;
}

}  // namespace plinth
