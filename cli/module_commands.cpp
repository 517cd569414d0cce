#include "cli/module_commands.h"

#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <thread>

#include "cli/console_messages.h"
#include "config/text_scan.h"
#include "net/io_image.h"
#include "net/modbus_client.h"
#include "net/module_status.h"
#include "net/tcp_connect.h"

namespace plinth {
namespace {

constexpr uint8_t kModuleUnit = 1;
constexpr int kShownWords = 8;
constexpr auto kCyclePeriod = std::chrono::milliseconds(100);

// Owns the connection for one command.
class ModuleConnection {
 public:
  ~ModuleConnection() { CloseSocket(socket_); }
  // False (message shown) when the address is unreadable or nobody answers.
  bool Open(const std::string& ip, int port, Messages& messages) {
    const uint32_t address = ParseIpv4(ip);
    if (address == 0) {
      messages.Show("cannot read ip-address!");
      return false;
    }
    socket_ = ConnectTcp(address, static_cast<uint16_t>(port));
    if (socket_ < 0) messages.Show("connect to module failed!");
    return socket_ >= 0;
  }
  int Socket() const { return socket_; }

 private:
  int socket_ = -1;
};

std::string Hex4(uint16_t value, bool upper) {
  char text[8];
  std::snprintf(text, sizeof text, upper ? "%04X" : "%04x", value);
  return text;
}

std::string Words(const IoImage& image) {
  std::string line;
  for (size_t i = 0; i < std::min<size_t>(image.size(), kShownWords); ++i)
    line += (i ? " " : "") + Hex4(ntohs(image[i]), false);
  return line;
}

// Output words typed as "Set Output" reads its fields; false (message
// shown) when one cannot be read, and then image is unchanged.
bool ApplyOutputText(const std::string& text, IoImage& image, Messages& messages) {
  if (image.empty()) {
    messages.Show("No output words defined!");
    return false;
  }
  std::vector<uint16_t> values;
  size_t from = 0;
  for (;;) {
    const size_t comma = text.find(',', from);
    const std::string item = text.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
    const auto value = ScanOutputWord(item);
    const size_t word = values.size() + 1;
    if (!value || word > std::min<size_t>(image.size(), kShownWords)) {
      messages.Show("Output Word " + std::to_string(word), "Please check your input string");
      return false;
    }
    values.push_back(*value);
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  for (size_t i = 0; i < values.size(); ++i) image[i] = htons(values[i]);
  return true;
}

}  // namespace

int StatusCommand(const std::string& ip, int port, bool asJson) {
  ConsoleMessages messages;
  ModuleConnection connection;
  if (!connection.Open(ip, port, messages)) return 1;
  const ModuleStatus status = ReadModuleStatus(connection.Socket(), kModuleUnit);
  if (!status.statusRead) messages.Show("ReadNode STATUS_BLOCK failed!");
  if (!status.statisticsRead) messages.Show("GetStatistics for MAC-Addr failed!");

  const auto& w = status.words;
  if (asJson) {
    nlohmann::json out;
    out["ip"] = ip;
    out["statusRead"] = status.statusRead;
    const auto field = [&](auto value) { return status.statusRead ? nlohmann::json(value) : nlohmann::json(); };
    out["moduleId"] = field(w[kStatusModuleId]);
    out["inputWords"] = field(w[kStatusInputWords]);
    out["outputWords"] = field(w[kStatusOutputWords]);
    out["health"] = field(Hex4(w[kStatusHealth], true));
    out["lastError"] = field(Hex4(w[kStatusLastError], true));
    out["errorCount"] = field(w[kStatusErrorCount]);
    out["mac"] = status.macField;
    std::printf("%s\n", out.dump(2).c_str());
  } else {
    const auto field = [&](auto text) { return status.statusRead ? std::string(text) : std::string(); };
    std::printf("Slave IP-Addr: %s\n", ip.c_str());
    std::printf("Module ID: %s\n", field(std::to_string(w[kStatusModuleId])).c_str());
    std::printf("Words of input: %s\n", field(std::to_string(w[kStatusInputWords])).c_str());
    std::printf("Words of output: %s\n", field(std::to_string(w[kStatusOutputWords])).c_str());
    std::printf("8000 is good health: %s\n", field(Hex4(w[kStatusHealth], true)).c_str());
    std::printf("Last I/O module error: %s\n", field(Hex4(w[kStatusLastError], true)).c_str());
    std::printf("Count of I/O module errors: %s\n", field(std::to_string(w[kStatusErrorCount])).c_str());
    std::printf("MAC: %s\n", status.macField.c_str());
  }
  return status.statusRead && status.statisticsRead ? 0 : 1;
}

int FlashCommand(const std::string& ip, int port, bool keepAddress) {
  ConsoleMessages messages;
  ModuleConnection connection;
  if (!connection.Open(ip, port, messages)) return 1;
  // The module's acknowledgement is not awaited, as in the window.
  WriteFlashFlag(connection.Socket(), keepAddress);
  std::printf("%s: %s\n", ip.c_str(), keepAddress ? "Flash IP Address sent" : "Reset to BOOTP sent");
  return 0;
}

int IoCommand(const std::string& ip, int port, int cycles, const std::string& setText) {
  ConsoleMessages messages;
  ModuleConnection connection;
  if (!connection.Open(ip, port, messages)) return 1;
  std::array<uint16_t, kStatusBlockWords> status{};
  if (!ReadNode(connection.Socket(), kModuleUnit, status.data(), STATUS_BLOCK, kStatusBlockWords)) {
    messages.Show("ReadNode STATUS_BLOCK failed!");
    return 1;
  }
  const int inputCount = ntohs(status[kStatusInputWords]);
  const int outputCount = ntohs(status[kStatusOutputWords]);
  IoImage inputs(static_cast<size_t>(inputCount), 0);
  IoImage outputs = SeedOutputImage(ntohs(status[kStatusModuleId]), outputCount);
  if (!setText.empty() && !ApplyOutputText(setText, outputs, messages)) return 2;

  for (int cycle = 1; cycle <= cycles; ++cycle) {
    std::this_thread::sleep_for(kCyclePeriod);
    bool failed = false;
    // A failed read does not skip the write of the same cycle.
    if (inputCount > 0 && !ReadNode(connection.Socket(), kModuleUnit, inputs.data(), kIoImageAddress, inputCount)) {
      messages.Show("Write to module failed!");
      failed = true;
    }
    if (outputCount > 0 && !WriteNode(connection.Socket(), kModuleUnit, outputs.data(), kIoImageAddress, outputCount)) {
      messages.Show("Write to module failed!");
      failed = true;
    }
    if (failed) return 1;
    std::printf("%d: in %s | out %s\n", cycle, Words(inputs).c_str(), Words(outputs).c_str());
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace plinth
