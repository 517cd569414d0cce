#include "cli/module_commands.h"

#include <arpa/inet.h>

#include <cstdio>
#include <optional>
#include <vector>

#include "cli/command_support.h"
#include "logic/io_test_logic.h"
#include "logic/module_session.h"
#include "net/modbus_client.h"
#include "net/tcp_connect.h"

namespace plinth {
namespace {

constexpr uint8_t kModuleUnit = ModuleSession::kUnit;

// Owns the connection for one command. Messages name the module as
// "ADDRESS port N", then what failed and why.
class ModuleConnection {
 public:
  ModuleConnection(const std::string& ip, int port) : where_(ip + " port " + std::to_string(port)) {}
  ~ModuleConnection() { CloseSocket(socket_); }
  // False (failure() says why) when nobody accepts the connection.
  bool Open(uint32_t address, int port) {
    int error = 0;
    socket_ = ConnectTcp(address, static_cast<uint16_t>(port), kConnectTimeoutMs, &error);
    if (socket_ < 0) failure_ = Failed("connect to module failed!", DescribeConnectError(error));
    return socket_ >= 0;
  }
  int Socket() const { return socket_; }
  const std::string& Failure() const { return failure_; }
  std::string Failed(const std::string& what, const std::string& why) const {
    return where_ + ": " + what + " (" + why + ")";
  }
  std::string Failed(const std::string& what, const ModbusError& error) const {
    return Failed(what, DescribeModbusError(error));
  }
  const std::string& Where() const { return where_; }

 private:
  std::string where_;
  int socket_ = -1;
  std::string failure_;
};

void PrintError(const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }

// Output words typed as a comma-separated list, for words 1, 2, ...
std::vector<std::string> OutputItems(const std::string& text) {
  std::vector<std::string> items;
  for (size_t from = 0;;) {
    const size_t comma = text.find(',', from);
    items.push_back(text.substr(from, comma == std::string::npos ? comma : comma - from));
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  return items;
}

// The words themselves, before any connection: each must read as "Set
// Output" reads a field, and there are only eight fields.
bool OutputItemsReadable(const std::vector<std::string>& items) {
  for (size_t i = 0; i < items.size(); ++i) {
    if (i < IoTestLogic::kShownWords && ScanOutputWord(items[i])) continue;
    PrintError("Please check your input string: Output Word " + std::to_string(i + 1));
    return false;
  }
  return true;
}

// The words into the first output fields and "Set Output"; false (message
// shown) when the module has fewer output words than were given.
bool ApplyOutputItems(const std::vector<std::string>& items, IoTestLogic& io, Messages& messages) {
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

// The status in the slave keys of "show --json" (texts, as the window's
// fields show them), null where nothing was read, and the failures.
nlohmann::ordered_json StatusJson(const std::string& ip, int port, const ModuleStatus* status,
                                  const ModuleFields& f, const std::vector<std::string>& errors) {
  const bool read = status && status->statusRead;
  const auto field = [read](const std::string& text) { return read ? nlohmann::ordered_json(text) : nullptr; };
  std::string error;
  for (const std::string& e : errors) error += (error.empty() ? "" : "; ") + e;
  return Versioned({{"ipAddress", ip},
                    {"port", port},
                    {"moduleId", field(f.moduleId)},
                    {"inputWords", field(f.inputWords)},
                    {"outputWords", field(f.outputWords)},
                    {"health", field(f.health)},
                    {"lastError", field(f.lastError)},
                    {"errorCount", field(f.errorCount)},
                    {"macAddress", status && status->statisticsRead ? nlohmann::ordered_json(f.mac) : nullptr},
                    {"text", status && !status->textBlock.empty() ? nlohmann::ordered_json(status->textBlock) : nullptr},
                    {"error", errors.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(error)}});
}

}  // namespace

int StatusCommand(const std::string& ip, int port, bool asJson) {
  const std::optional<uint32_t> address = ReadAddressArgument("status", ip);
  if (!address) return kBadArgumentStatus;
  ModuleConnection connection(ip, port);
  if (!connection.Open(*address, port)) {
    PrintError(connection.Failure());
    if (asJson) PrintOut(JsonText(StatusJson(ip, port, nullptr, {}, {connection.Failure()}), 2) + "\n");
    return 1;
  }
  // The reads of the module status window; nothing here touches the BOOTP
  // tables, and the messages name the module and the reason.
  static BootpTables noTables;
  int socket = connection.Socket();
  RecordedMessages windowMessages;
  ModuleSession module(socket, ip, noTables, windowMessages);
  module.Read();
  module.Report();
  const ModuleStatus& status = module.Status();
  std::vector<std::string> errors;
  if (!status.statusRead) errors.push_back(connection.Failed("ReadNode STATUS_BLOCK failed!", status.statusError));
  if (!status.statisticsRead)
    errors.push_back(connection.Failed("GetStatistics for MAC-Addr failed!", status.statisticsError));
  for (const std::string& e : errors) PrintError(e);

  const ModuleFields& f = module.fields;
  if (asJson) {
    PrintOut(JsonText(StatusJson(ip, port, &status, f, errors), 2) + "\n");
  } else {
    std::printf("Slave IP-Addr: %s\n", ip.c_str());
    std::printf("Module ID: %s\n", f.moduleId.c_str());
    std::printf("Words of input: %s\n", f.inputWords.c_str());
    std::printf("Words of output: %s\n", f.outputWords.c_str());
    std::printf("8000 is good health: %s\n", f.health.c_str());
    std::printf("Last I/O module error: %s\n", f.lastError.c_str());
    std::printf("Count of I/O module errors: %s\n", f.errorCount.c_str());
    std::printf("MAC: %s\n", TerminalText(f.mac).c_str());
    std::fflush(stdout);
  }
  return errors.empty() ? 0 : 1;
}

int FlashCommand(const std::string& ip, int port, bool keepAddress) {
  const char* command = keepAddress ? "Flash IP Address" : "Reset to BOOTP";
  const std::optional<uint32_t> address = ReadAddressArgument(keepAddress ? "flash" : "reset", ip);
  if (!address) return kBadArgumentStatus;
  ModuleConnection connection(ip, port);
  if (!connection.Open(*address, port)) {
    PrintError(connection.Failure());
    return 1;
  }
  // Unlike the window, the command line waits for the module's answer: a
  // module that closes or stays silent has not taken the flag.
  ModbusError error;
  if (!WriteFlashFlagAcknowledged(connection.Socket(), keepAddress, &error)) {
    PrintError(connection.Failed(std::string(command) + " not acknowledged", error));
    return 1;
  }
  std::printf("%s: %s acknowledged\n", ip.c_str(), command);
  return 0;
}

int IoCommand(const std::string& ip, int port, int cycles, const std::string& setText) {
  const std::optional<uint32_t> address = ReadAddressArgument("io", ip);
  if (!address) return kBadArgumentStatus;
  const std::vector<std::string> items = setText.empty() ? std::vector<std::string>() : OutputItems(setText);
  if (!OutputItemsReadable(items)) return kBadArgumentStatus;

  StopSignals stop;
  ModuleConnection connection(ip, port);
  if (!connection.Open(*address, port)) {
    PrintError(connection.Failure());
    return 1;
  }
  std::array<uint16_t, kStatusBlockWords> status{};
  ModbusError error;
  if (!ReadNode(connection.Socket(), kModuleUnit, status.data(), STATUS_BLOCK, kStatusBlockWords, &error)) {
    PrintError(connection.Failed("ReadNode STATUS_BLOCK failed!", error));
    return 1;
  }
  IoTestLogic io(connection.Socket(), ntohs(status[kStatusModuleId]), kModuleUnit, ntohs(status[kStatusInputWords]),
                 ntohs(status[kStatusOutputWords]));
  RecordedMessages refused;
  if (!items.empty() && !ApplyOutputItems(items, io, refused)) {
    for (const auto& m : refused.entries) PrintError(m.title == kAppName ? m.text : m.title + ": " + m.text);
    return kBadArgumentStatus;
  }

  for (int cycle = 1; cycle <= cycles; ++cycle) {
    if (stop.Wait(std::chrono::milliseconds(IoTestLogic::kCyclePeriodMs))) {
      std::fprintf(stderr, "interrupted after %d cycle%s\n", cycle - 1, cycle == 2 ? "" : "s");
      return ExitStatusOfSignal(stop.Taken());
    }
    const IoTestLogic::Exchanged done = io.Exchange();
    RecordedMessages windowMessages;  // the window's words; here the reads say "read"
    io.Report(done, windowMessages);
    if (!done.readOk) PrintError(connection.Failed("Read from module failed!", done.readError));
    if (!done.writeOk) PrintError(connection.Failed("Write to module failed!", done.writeError));
    if (!done.readOk || !done.writeOk) return 1;
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
