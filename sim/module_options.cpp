#include "sim/module_options.h"

#include <arpa/inet.h>

#include <cctype>
#include <charconv>

#include "base/text_scan.h"
#include "config/mac_text.h"

namespace plinth {
namespace {

// A whole number in base 10, or base 16 for the hex keys; nothing else.
bool ReadNumber(std::string_view text, long max, int base, long& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return ec == std::errc() && end == text.data() + text.size() && value >= 0 && value <= max;
}

bool ReadFlag(std::string_view text, bool& flag) {
  if (text == "1" || text == "yes" || text == "true") flag = true;
  else if (text == "0" || text == "no" || text == "false") flag = false;
  else return false;
  return true;
}

}  // namespace

const char* ModuleOptionsHelp() {
  return "Module description for --module, comma-separated key=value pairs:\n"
         "  ip=A.B.C.D      address to serve on (127.0.0.0/8 for tests)\n"
         "  port=N          TCP port (default: --port)\n"
         "  id=N            module ID; word counts and text come from the catalogue\n"
         "  in=N, out=N     numbers of input and output words (override the catalogue)\n"
         "  mac=HEX         MAC address, 12 hex digits, ':' or '-' allowed\n"
         "  health=HEX      health word (default 8000)\n"
         "  error=HEX       last I/O module error (default 0000)\n"
         "  errors=N        count of I/O module errors (default 0)\n"
         "  text=TEXT       text block (default: the catalogue's part number)\n"
         "  timeout=N       time-out register, units of 10 ms (default 100)\n"
         "  flash=0|1       IP flash flag at start (default 1)\n"
         "  bootp=0|1       1: start without an address, waiting for BOOTP\n"
         "  static=0|1      1: inputs keep their values instead of counting up\n"
         "  fault=MODE      none, silent, split, wrong-function, short, close, no-accept,\n"
         "                  status-exception\n"
         "  count=N         N modules on consecutive addresses and MAC addresses\n";
}

bool ParseModuleOptions(std::string_view text, const SimModuleConfig& defaults, std::vector<SimModuleConfig>& out,
                        std::string& error) {
  SimModuleConfig config = defaults;
  long count = 1;
  while (!text.empty()) {
    const size_t comma = text.find(',');
    const std::string_view item = text.substr(0, comma);
    text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
    if (item.empty()) continue;
    const size_t eq = item.find('=');
    const std::string_view key = item.substr(0, eq);
    const std::string_view value = eq == std::string_view::npos ? std::string_view{} : item.substr(eq + 1);
    long n = 0;
    bool ok = eq != std::string_view::npos;
    if (!ok) {
    } else if (key == "ip") {
      config.address = ParseIpv4(value);
      ok = config.address != 0;
    } else if (key == "port") {
      ok = ReadNumber(value, 65535, 10, n);
      config.port = static_cast<uint16_t>(n);
    } else if (key == "id") {
      ok = ReadNumber(value, 65535, 10, n);
      config.moduleId = static_cast<uint16_t>(n);
    } else if (key == "in") {
      ok = ReadNumber(value, 0x7FFF, 10, n);
      config.inputWords = static_cast<int>(n);
    } else if (key == "out") {
      ok = ReadNumber(value, 0x7FFF, 10, n);
      config.outputWords = static_cast<int>(n);
    } else if (key == "mac") {
      ok = ReadMacExact(value, config.mac);
    } else if (key == "health" || key == "error") {
      ok = ReadNumber(value, 0xFFFF, 16, n);
      (key == "health" ? config.health : config.lastError) = static_cast<uint16_t>(n);
    } else if (key == "errors") {
      ok = ReadNumber(value, 0xFFFF, 10, n);
      config.errorCount = static_cast<uint16_t>(n);
    } else if (key == "text") {
      config.text = std::string(value);
      ok = value.size() <= 2 * 125 - 1;
    } else if (key == "timeout") {
      ok = ReadNumber(value, 0xFFFF, 10, n);
      config.timeout = static_cast<uint16_t>(n);
    } else if (key == "flash") {
      ok = ReadFlag(value, config.flashFlag);
    } else if (key == "bootp") {
      bool waiting = false;
      ok = ReadFlag(value, waiting);
      config.hasAddress = !waiting;
    } else if (key == "static") {
      bool fixed = false;
      ok = ReadFlag(value, fixed);
      config.changingInputs = !fixed;
    } else if (key == "fault") {
      const auto mode = ParseFaultMode(value);
      ok = mode.has_value();
      if (ok) config.fault = *mode;
    } else if (key == "count") {
      ok = ReadNumber(value, 254, 10, count) && count >= 1;
    } else {
      error = "unknown key '" + std::string(key) + "'";
      return false;
    }
    if (!ok) {
      error = "bad value in '" + std::string(item) + "'";
      return false;
    }
  }
  for (long i = 0; i < count; ++i) {
    SimModuleConfig one = config;
    one.address = htonl(ntohl(config.address) + static_cast<uint32_t>(i));
    uint32_t low = (uint32_t{config.mac[3]} << 16 | uint32_t{config.mac[4]} << 8 | config.mac[5]) + static_cast<uint32_t>(i);
    one.mac[3] = static_cast<uint8_t>(low >> 16);
    one.mac[4] = static_cast<uint8_t>(low >> 8);
    one.mac[5] = static_cast<uint8_t>(low);
    out.push_back(one);
  }
  return true;
}

}  // namespace plinth
