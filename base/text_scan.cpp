#include "base/text_scan.h"

#include <arpa/inet.h>

#include <cctype>
#include <climits>
#include <cstdio>

namespace plinth {
namespace {

bool IsBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// One "%d" conversion starting at pos; advances pos past what was read.
// Values beyond the range of long saturate and are then cut to int, which
// is what the C library's scanf does on this platform.
std::optional<int> ScanOne(std::string_view text, size_t& pos) {
  size_t i = pos;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i >= text.size() || !IsDigit(text[i])) return std::nullopt;
  unsigned long long magnitude = 0;
  bool overflow = false;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    unsigned digit = static_cast<unsigned>(text[i] - '0');
    if (magnitude > (ULLONG_MAX - digit) / 10) overflow = true;
    else magnitude = magnitude * 10 + digit;
  }
  long long value;
  const unsigned long long limit = negative ? static_cast<unsigned long long>(LLONG_MAX) + 1
                                            : static_cast<unsigned long long>(LLONG_MAX);
  if (overflow || magnitude > limit) {
    value = negative ? LLONG_MIN : LLONG_MAX;
  } else if (negative) {
    value = magnitude == limit ? LLONG_MIN : -static_cast<long long>(magnitude);
  } else {
    value = static_cast<long long>(magnitude);
  }
  pos = i;
  return static_cast<int>(static_cast<unsigned long long>(value) & 0xFFFFFFFFull);
}

}  // namespace

std::optional<int> TryScanDecimal(std::string_view text) {
  size_t pos = 0;
  return ScanOne(text, pos);
}

int ScanDecimal(std::string_view text) { return TryScanDecimal(text).value_or(0); }

std::array<int, 4> ScanDotted(std::string_view text) {
  std::array<int, 4> octets{0, 0, 0, 0};
  size_t pos = 0;
  for (int k = 0; k < 4; ++k) {
    if (k > 0) {
      if (pos >= text.size() || text[pos] != '.') break;
      ++pos;
    }
    std::optional<int> v = ScanOne(text, pos);
    if (!v) break;
    octets[static_cast<size_t>(k)] = *v;
  }
  return octets;
}

std::optional<std::array<int, 4>> ReadIpv4Octets(std::string_view text) {
  std::array<int, 4> octets{};
  size_t pos = 0;
  for (size_t k = 0; k < 4; ++k) {
    if (k > 0 && (pos >= text.size() || text[pos++] != '.')) return std::nullopt;
    size_t digits = 0;
    int value = 0;
    for (; pos < text.size() && IsDigit(text[pos]) && digits < 4; ++pos, ++digits)
      value = value * 10 + (text[pos] - '0');
    if (digits == 0 || digits > 3 || value > 255) return std::nullopt;
    if (digits > 1 && text[pos - digits] == '0') return std::nullopt;
    octets[k] = value;
  }
  if (pos != text.size()) return std::nullopt;
  return octets;
}

std::string FormatDotted(int a, int b, int c, int d) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%d.%d.%d.%d", a, b, c, d);
  return buffer;
}

uint32_t ParseIpv4(std::string_view text) {
  const std::optional<std::array<int, 4>> octets = ReadIpv4Octets(text);
  if (!octets) return 0;
  uint32_t host = 0;
  for (int octet : *octets) host = host << 8 | static_cast<uint32_t>(octet);
  return htonl(host);
}

std::string FormatIpv4(uint32_t addressNetworkOrder) {
  const auto* b = reinterpret_cast<const unsigned char*>(&addressNetworkOrder);
  return FormatDotted(b[0], b[1], b[2], b[3]);
}

std::optional<int> ReadWholeDecimal(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  size_t digits = i;
  long long value = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
    value = value * 10 + (text[i++] - '0');
    if (value > INT_MAX) value = INT_MAX;  // clamped; larger numbers are out of every range anyway
  }
  if (i == digits) return std::nullopt;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  if (i != text.size()) return std::nullopt;
  return static_cast<int>(negative ? -value : value);
}

std::string FormatHex4(uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", value);
  return text;
}

}  // namespace plinth
