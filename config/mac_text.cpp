#include "config/mac_text.h"

#include <cctype>
#include <string>

namespace plinth {
namespace {

// A group of 1 to 4 hex digits; anything else reads as 0.
uint16_t ReadHexGroup(std::string_view text) {
  if (text.empty() || text.size() > 4) return 0;
  unsigned value = 0;
  for (char c : text) {
    unsigned digit;
    if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
    else if (c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
    else return 0;
    value = value * 16 + digit;
  }
  return static_cast<uint16_t>(value);
}

void PutGroup(MacAddress& mac, int group, uint16_t value) {
  mac[static_cast<size_t>(2 * group)] = static_cast<uint8_t>(value >> 8);
  mac[static_cast<size_t>(2 * group + 1)] = static_cast<uint8_t>(value & 0xFF);
}

}  // namespace

void ReadMacText(std::string_view text, MacAddress& mac) {
  std::string digits;
  digits.reserve(text.size());
  for (char c : text)
    if (c != ':' && c != '-') digits.push_back(c);
  mac.fill(0);
  std::string_view d(digits);
  size_t length = d.size();
  if (length <= 4) {
    PutGroup(mac, 2, ReadHexGroup(d));
  } else if (length <= 8) {
    PutGroup(mac, 2, ReadHexGroup(d.substr(length - 4)));
    PutGroup(mac, 1, ReadHexGroup(d.substr(0, length - 4)));
  } else {
    if (length > 12) length = 12;
    PutGroup(mac, 2, ReadHexGroup(d.substr(length - 4, 4)));
    PutGroup(mac, 1, ReadHexGroup(d.substr(length - 8, 4)));
    PutGroup(mac, 0, ReadHexGroup(d.substr(0, length - 8)));
  }
}

bool ReadMacExact(std::string_view text, MacAddress& mac) {
  size_t digits = 0;
  for (char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c))) ++digits;
    else if (c != ':' && c != '-') return false;
  }
  if (digits != 12) return false;
  ReadMacText(text, mac);
  return true;
}

bool IsMacText(std::string_view text) {
  MacAddress mac{};
  return text.empty() || ReadMacExact(text, mac);
}

}  // namespace plinth
