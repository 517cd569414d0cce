#pragma once
// Reading the MAC address texts that users type and files hold.
#include <string_view>

#include "config/slave_record.h"

namespace plinth {

// Reads a MAC address text into mac (cleared first). ':' and '-' separators
// are dropped; up to 12 hex digits fill three 16-bit groups from the right.
void ReadMacText(std::string_view text, MacAddress& mac);

// Reads a MAC address given as exactly 12 hex digits, with or without ':'
// or '-' separators; false (mac unchanged) for any other text.
bool ReadMacExact(std::string_view text, MacAddress& mac);

// A MAC text a slave may keep: empty (none) or one ReadMacExact reads.
bool IsMacText(std::string_view text);

}  // namespace plinth
