#pragma once
// Reading numbers out of the texts the user typed. Records keep what was
// typed; these helpers read it where it is used, like "%d" (leading blanks,
// optional sign, digits, 0 when nothing reads) and like "%d.%d.%d.%d" for
// dotted addresses.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plinth {

// Reads a decimal number at the start of text as "%d" does; 0 when none.
int ScanDecimal(std::string_view text);

// Like ScanDecimal, but tells whether a number could be read at all.
std::optional<int> TryScanDecimal(std::string_view text);

// Reads text as exactly one decimal number (leading blanks and a sign
// allowed), optionally followed by blanks; nullopt for anything else.
// Numbers beyond int's range are clamped.
std::optional<int> ReadWholeDecimal(std::string_view text);
// Reads up to four dot-separated decimal numbers as "%d.%d.%d.%d" does;
// octets that cannot be read stay 0.
std::array<int, 4> ScanDotted(std::string_view text);

// The one reading of an IPv4 address that every part of the program uses
// (typed in a dialog, given on the command line or in JSON, scanned): the
// octets of text when it is exactly four decimal numbers 0..255 joined by
// dots, each "0" or without a leading zero ("011" could be octal to other
// programs, and would not be the text the program shows for it); nullopt
// for anything else.
std::optional<std::array<int, 4>> ReadIpv4Octets(std::string_view text);

// Formats four octets as "%d.%d.%d.%d".
std::string FormatDotted(int a, int b, int c, int d);

// Dotted text to an IPv4 address in network byte order, read as
// ReadIpv4Octets reads it; 0 when the text is not such an address.
uint32_t ParseIpv4(std::string_view text);

// An IPv4 address in network byte order as dotted decimal.
std::string FormatIpv4(uint32_t addressNetworkOrder);

// A 16-bit word as "%04X" (health, last error, checksums).
std::string FormatHex4(uint16_t value);

}  // namespace plinth
