#pragma once
// One simulated I/O module: its registers, its address state and how it
// answers a Modbus/TCP request. Thread-safe: the server thread answers
// requests while tests and the BOOTP side look at and change the state.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "config/slave_record.h"
#include "net/modbus_registers.h"

namespace plinth {

// Misbehaviour on purpose, for tests of the client.
enum class FaultMode {
  kNone,
  kNeverAnswer,    // reads requests, sends nothing
  kSplitReply,     // each reply in two TCP segments, 20 ms apart
  kWrongFunction,  // function code of each reply plus one
  kShortReply,     // each reply one byte short
  kCloseOnAccept,  // closes every connection as soon as it is accepted
  kNoAccept,       // never accepts, its listen queue full: connects get no answer
  kStatusException,  // reads of the status block get exception 04
};
std::optional<FaultMode> ParseFaultMode(std::string_view name);
const char* FaultModeName(FaultMode mode);

struct SimModuleConfig {
  uint32_t address = 0x0100007f;  // network byte order: 127.0.0.1
  uint16_t port = kModbusPort;    // 0: any free port (see SimModule::Port)
  MacAddress mac{0x00, 0x50, 0xc2, 0x00, 0x00, 0x01};
  uint16_t moduleId = 1217;
  int inputWords = -1;   // -1: from the catalogue
  int outputWords = -1;  // -1: from the catalogue
  uint16_t health = kGoodHealth;
  uint16_t lastError = 0;
  uint16_t errorCount = 0;
  std::optional<std::string> text;  // text block; none: the catalogue's part number
  uint16_t timeout = 100;           // units of 10 ms
  bool flashFlag = true;            // the IP address is kept in flash
  bool hasAddress = true;           // false: waiting for BOOTP, serves nothing
  bool changingInputs = true;       // inputs count up every 100 ms
  FaultMode fault = FaultMode::kNone;
};

// Whether a module can be reached over Modbus/TCP yet.
enum class AddressState { kHasAddress, kWaitingForBootp };

struct SimAnswer {
  std::vector<uint8_t> reply;  // empty: no reply
  std::string summary;         // one line for --verbose
};

class SimModule {
 public:
  explicit SimModule(const SimModuleConfig& config);

  // Answers one whole request frame (MBAP header included).
  SimAnswer Answer(std::span<const uint8_t> request);

  // Address state. The server listens on Address():Port() while the module
  // has an address, and stops serving it while it waits for BOOTP.
  AddressState State() const;
  uint32_t Address() const;  // network byte order
  uint16_t Port() const;
  void AssignAddress(uint32_t addressNetworkOrder);  // e.g. from a BOOTREPLY
  void WaitForBootp();                               // forget the address
  void SetBoundPort(uint16_t port);                  // the server's bound port, for port 0

  // Called on the server thread, outside the module's lock, after a write
  // to the IP flash flag; value false means "go back to BOOTP".
  using FlashFlagHandler = std::function<void(SimModule& module, bool keepAddress)>;
  void SetFlashFlagHandler(FlashFlagHandler handler);

  MacAddress Mac() const { return mac_; }
  uint16_t ModuleId() const { return moduleId_; }
  int InputWords() const { return static_cast<int>(inputs_.size()); }
  int OutputWords() const { return static_cast<int>(outputs_.size()); }
  FaultMode Fault() const { return fault_.load(); }
  void SetFault(FaultMode mode) { fault_.store(mode); }

  std::vector<uint16_t> Outputs() const;  // host order
  std::vector<uint16_t> Inputs() const;   // host order, as a read now sees them
  void SetInput(int index, uint16_t value);
  bool FlashFlag() const;
  uint16_t TimeoutRegister() const;
  int RequestsAnswered() const;
  // Connections the server holds open to this module: now, and the most at
  // any one time.
  void ConnectionOpened();
  void ConnectionClosed();
  int MostConnections() const;

 private:
  // Register value at address, or none when the module has no such register.
  std::optional<uint16_t> ReadRegister(uint16_t address) const;
  // Stores value; 0 = done, else the Modbus exception code.
  uint8_t WriteRegister(uint16_t address, uint16_t value, bool& flashWritten);
  uint16_t InputValue(size_t index) const;

  const MacAddress mac_;
  const uint16_t moduleId_;
  const std::string text_;
  const bool changingInputs_;
  const std::chrono::steady_clock::time_point started_;
  std::atomic<FaultMode> fault_;

  mutable std::mutex mutex_;
  uint32_t address_;
  uint16_t port_;
  AddressState state_;
  std::array<uint16_t, kStatusBlockWords> status_{};
  uint16_t timeout_;
  bool flashFlag_;
  std::vector<uint16_t> inputs_;
  std::vector<uint16_t> outputs_;
  int requestsAnswered_ = 0;
  int connections_ = 0;
  int mostConnections_ = 0;
  int exceptionsSent_ = 0;
  FlashFlagHandler flashHandler_;
};

// How many bytes the first frame of a request stream takes: 0 when more
// bytes are needed, -1 when the stream cannot be Modbus/TCP.
int RequestFrameLength(std::span<const uint8_t> stream);

}  // namespace plinth
