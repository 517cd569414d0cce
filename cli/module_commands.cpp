#include "cli/module_commands.h"

#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <thread>

#include "base/text_scan.h"
#include "cli/console_messages.h"
#include "logic/io_test_logic.h"
#include "logic/module_session.h"
#include "net/modbus_client.h"
#include "net/tcp_connect.h"

namespace plinth {
namespace {

constexpr uint8_t kModuleUnit = ModuleSession::kUnit;

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

// Output words typed as a comma-separated list: words 1, 2, ... of the
// fields of "Set Output"; false (message shown) when one cannot be read or
// there are more than fields.
bool ApplyOutputText(const std::string& text, IoTestLogic& io, Messages& messages) {
  std::vector<std::string> items;
  for (size_t from = 0;;) {
    const size_t comma = text.find(',', from);
    items.push_back(text.substr(from, comma == std::string::npos ? comma : comma - from));
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  for (size_t i = 0; i < items.size() && i < io.outputTexts.size(); ++i) io.outputTexts[i] = items[i];
  if (!io.SetOutput(messages)) return false;
  if (items.size() > static_cast<size_t>(io.ShownOutputs())) {
    messages.Show("Output Word " + std::to_string(io.ShownOutputs() + 1), "Please check your input string");
    return false;
  }
  return true;
}

std::string Words(const IoTestLogic::Texts& texts, int count) {
  std::string line;
  for (int i = 0; i < count; ++i) line += (i ? " " : "") + texts[static_cast<size_t>(i)];
  return line;
}

}  // namespace

int StatusCommand(const std::string& ip, int port, bool asJson) {
  ConsoleMessages messages;
  ModuleConnection connection;
  if (!connection.Open(ip, port, messages)) return 1;
  // The reads and messages of the module status window; nothing here
  // touches the BOOTP tables.
  static BootpTables noTables;
  int socket = connection.Socket();
  ModuleSession module(socket, ip, noTables, messages);
  module.Open();
  const ModuleStatus& status = module.Status();

  const ModuleFields& f = module.fields;
  const auto& w = status.words;
  if (asJson) {
    nlohmann::json out;
    out["ip"] = ip;
    out["statusRead"] = status.statusRead;
    const auto field = [&](auto value) { return status.statusRead ? nlohmann::json(value) : nlohmann::json(); };
    out["moduleId"] = field(w[kStatusModuleId]);
    out["inputWords"] = field(w[kStatusInputWords]);
    out["outputWords"] = field(w[kStatusOutputWords]);
    out["health"] = field(f.health);
    out["lastError"] = field(f.lastError);
    out["errorCount"] = field(w[kStatusErrorCount]);
    out["mac"] = f.mac;
    std::printf("%s\n", out.dump(2).c_str());
  } else {
    std::printf("Slave IP-Addr: %s\n", ip.c_str());
    std::printf("Module ID: %s\n", f.moduleId.c_str());
    std::printf("Words of input: %s\n", f.inputWords.c_str());
    std::printf("Words of output: %s\n", f.outputWords.c_str());
    std::printf("8000 is good health: %s\n", f.health.c_str());
    std::printf("Last I/O module error: %s\n", f.lastError.c_str());
    std::printf("Count of I/O module errors: %s\n", f.errorCount.c_str());
    std::printf("MAC: %s\n", f.mac.c_str());
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
  IoTestLogic io(connection.Socket(), ntohs(status[kStatusModuleId]), kModuleUnit, ntohs(status[kStatusInputWords]),
                 ntohs(status[kStatusOutputWords]));
  if (!setText.empty() && !ApplyOutputText(setText, io, messages)) return 2;

  for (int cycle = 1; cycle <= cycles; ++cycle) {
    std::this_thread::sleep_for(std::chrono::milliseconds(IoTestLogic::kCyclePeriodMs));
    if (!io.Cycle(messages)) return 1;
    // The output words as the module receives them, not as typed.
    IoTestLogic::Texts out;
    for (int i = 0; i < io.ShownOutputs(); ++i) out[static_cast<size_t>(i)] = HexWord(io.Outputs()[static_cast<size_t>(i)]);
    std::printf("%d: in %s | out %s\n", cycle, Words(io.inputTexts, io.ShownInputs()).c_str(),
                Words(out, io.ShownOutputs()).c_str());
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace plinth
