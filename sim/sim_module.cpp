#include "sim/sim_module.h"

#include <algorithm>
#include <cstdio>

#include "config/module_catalog.h"
#include "net/modbus_frames.h"

namespace plinth {
namespace {

constexpr uint8_t kIllegalFunction = 1;
constexpr uint8_t kIllegalDataAddress = 2;
constexpr uint8_t kIllegalDataValue = 3;
constexpr uint8_t kServerDeviceFailure = 4;

uint16_t Be16(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint16_t>((bytes[at] << 8) | bytes[at + 1]);
}

void PutBe16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}

// The reply's MBAP header: transaction and unit echoed, length filled in last.
std::vector<uint8_t> ReplyHeader(std::span<const uint8_t> request, uint8_t function) {
  return {request[0], request[1], 0, 0, 0, 0, request[6], function};
}

void FinishLength(std::vector<uint8_t>& reply) {
  const size_t length = reply.size() - 6;
  reply[4] = static_cast<uint8_t>(length >> 8);
  reply[5] = static_cast<uint8_t>(length);
}

int CountFrom(int given, int catalogue) { return given >= 0 ? given : catalogue; }

std::string Hex(uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", value);
  return text;
}

}  // namespace

std::optional<FaultMode> ParseFaultMode(std::string_view name) {
  for (FaultMode mode : {FaultMode::kNone, FaultMode::kNeverAnswer, FaultMode::kSplitReply, FaultMode::kWrongFunction,
                         FaultMode::kShortReply, FaultMode::kCloseOnAccept, FaultMode::kNoAccept,
                         FaultMode::kStatusException})
    if (name == FaultModeName(mode)) return mode;
  return std::nullopt;
}

const char* FaultModeName(FaultMode mode) {
  switch (mode) {
    case FaultMode::kNone: return "none";
    case FaultMode::kNeverAnswer: return "silent";
    case FaultMode::kSplitReply: return "split";
    case FaultMode::kWrongFunction: return "wrong-function";
    case FaultMode::kShortReply: return "short";
    case FaultMode::kCloseOnAccept: return "close";
    case FaultMode::kNoAccept: return "no-accept";
    case FaultMode::kStatusException: return "status-exception";
  }
  return "none";
}

SimModule::SimModule(const SimModuleConfig& config)
    : mac_(config.mac),
      moduleId_(config.moduleId),
      text_(config.text ? *config.text : std::string(FindModule(config.moduleId).partNumber)),
      changingInputs_(config.changingInputs),
      started_(std::chrono::steady_clock::now()),
      fault_(config.fault),
      address_(config.address),
      port_(config.port),
      state_(config.hasAddress ? AddressState::kHasAddress : AddressState::kWaitingForBootp),
      timeout_(config.timeout),
      flashFlag_(config.flashFlag) {
  const ModuleCatalogEntry& entry = FindModule(config.moduleId);
  inputs_.assign(static_cast<size_t>(std::clamp(CountFrom(config.inputWords, entry.inputWords), 0, 0x7FFF)), 0);
  outputs_.assign(static_cast<size_t>(std::clamp(CountFrom(config.outputWords, entry.outputWords), 0, 0x7FFF)), 0);
  // Input word i starts at i << 12 so that words are told apart at a glance.
  for (size_t i = 0; i < inputs_.size(); ++i) inputs_[i] = static_cast<uint16_t>(i << 12);
  status_[kStatusInputWords] = static_cast<uint16_t>(inputs_.size());
  status_[kStatusOutputWords] = static_cast<uint16_t>(outputs_.size());
  status_[kStatusModuleId] = config.moduleId;
  // The text with its terminating zero, capped at what one read can carry.
  status_[kStatusTextWords] = text_.empty() ? 0 : static_cast<uint16_t>(std::min<size_t>(text_.size() / 2 + 1, kMaxReadCount));
  status_[kStatusHealth] = config.health;
  status_[kStatusLastError] = config.lastError;
  status_[kStatusErrorCount] = config.errorCount;
}

AddressState SimModule::State() const {
  std::lock_guard lock(mutex_);
  return state_;
}

uint32_t SimModule::Address() const {
  std::lock_guard lock(mutex_);
  return address_;
}

uint16_t SimModule::Port() const {
  std::lock_guard lock(mutex_);
  return port_;
}

void SimModule::AssignAddress(uint32_t addressNetworkOrder) {
  std::lock_guard lock(mutex_);
  address_ = addressNetworkOrder;
  state_ = AddressState::kHasAddress;
}

void SimModule::WaitForBootp() {
  std::lock_guard lock(mutex_);
  state_ = AddressState::kWaitingForBootp;
}

void SimModule::SetBoundPort(uint16_t port) {
  std::lock_guard lock(mutex_);
  port_ = port;
}

void SimModule::SetFlashFlagHandler(FlashFlagHandler handler) {
  std::lock_guard lock(mutex_);
  flashHandler_ = std::move(handler);
}

std::vector<uint16_t> SimModule::Outputs() const {
  std::lock_guard lock(mutex_);
  return outputs_;
}

std::vector<uint16_t> SimModule::Inputs() const {
  std::lock_guard lock(mutex_);
  std::vector<uint16_t> values(inputs_.size());
  for (size_t i = 0; i < values.size(); ++i) values[i] = InputValue(i);
  return values;
}

void SimModule::SetInput(int index, uint16_t value) {
  std::lock_guard lock(mutex_);
  if (index >= 0 && static_cast<size_t>(index) < inputs_.size()) inputs_[static_cast<size_t>(index)] = value;
}

bool SimModule::FlashFlag() const {
  std::lock_guard lock(mutex_);
  return flashFlag_;
}

uint16_t SimModule::TimeoutRegister() const {
  std::lock_guard lock(mutex_);
  return timeout_;
}

int SimModule::RequestsAnswered() const {
  std::lock_guard lock(mutex_);
  return requestsAnswered_;
}

void SimModule::ConnectionOpened() {
  std::lock_guard lock(mutex_);
  mostConnections_ = std::max(mostConnections_, ++connections_);
}

void SimModule::ConnectionClosed() {
  std::lock_guard lock(mutex_);
  --connections_;
}

int SimModule::MostConnections() const {
  std::lock_guard lock(mutex_);
  return mostConnections_;
}

uint16_t SimModule::InputValue(size_t index) const {
  if (!changingInputs_) return inputs_[index];
  const auto ticks = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started_).count() / 100;
  return static_cast<uint16_t>(inputs_[index] + static_cast<uint16_t>(ticks));
}

std::optional<uint16_t> SimModule::ReadRegister(uint16_t address) const {
  if (address < inputs_.size()) return InputValue(address);
  if (address == kTimeoutRegister) return timeout_;
  if (address == kIpFlashFlagRegister) return flashFlag_ ? 1 : 0;
  if (address >= STATUS_BLOCK && address < STATUS_BLOCK + kStatusBlockWords) return status_[address - STATUS_BLOCK];
  const size_t textWords = status_[kStatusTextWords];
  if (address >= kTextBlockAddress && address < kTextBlockAddress + textWords) {
    const size_t at = 2 * (address - kTextBlockAddress);
    const auto byte = [&](size_t i) -> uint16_t { return i < text_.size() ? static_cast<uint8_t>(text_[i]) : 0; };
    return static_cast<uint16_t>(byte(at) << 8 | byte(at + 1));
  }
  return std::nullopt;
}

uint8_t SimModule::WriteRegister(uint16_t address, uint16_t value, bool& flashWritten) {
  if (address < outputs_.size()) {
    outputs_[address] = value;
  } else if (address == kTimeoutRegister) {
    timeout_ = value;
  } else if (address == kIpFlashFlagRegister) {
    if (value > 1) return kIllegalDataValue;
    flashFlag_ = value == 1;
    flashWritten = true;
  } else {
    return kIllegalDataAddress;
  }
  return 0;
}

SimAnswer SimModule::Answer(std::span<const uint8_t> request) {
  SimAnswer answer;
  if (request.size() < 8) return answer;  // no function code: nothing to answer
  const uint8_t function = request[7];
  const std::span<const uint8_t> pdu = request.subspan(8);
  uint8_t exception = 0;
  bool flashWritten = false;
  bool flashValue = false;
  FlashFlagHandler handler;
  {
    std::lock_guard lock(mutex_);
    if (function == kReadHoldingRegisters && pdu.size() == 4) {
      const uint16_t start = Be16(pdu, 0), count = Be16(pdu, 2);
      answer.summary = "read " + Hex(start) + " x" + std::to_string(count);
      if (!ReadCountValid(count)) {
        exception = kIllegalDataValue;
      } else if (fault_.load() == FaultMode::kStatusException && start < STATUS_BLOCK + kStatusBlockWords &&
                 start + count > STATUS_BLOCK) {
        exception = kServerDeviceFailure;
      } else {
        answer.reply = ReplyHeader(request, function);
        answer.reply.push_back(static_cast<uint8_t>(2 * count));
        for (uint32_t a = start; a < uint32_t{start} + count && !exception; ++a) {
          const auto value = a <= 0xFFFF ? ReadRegister(static_cast<uint16_t>(a)) : std::nullopt;
          if (value) PutBe16(answer.reply, *value);
          else exception = kIllegalDataAddress;
        }
      }
    } else if (function == kWriteMultipleRegisters && pdu.size() >= 5) {
      const uint16_t start = Be16(pdu, 0), count = Be16(pdu, 2);
      answer.summary = "write " + Hex(start) + " x" + std::to_string(count);
      if (!WriteCountValid(count) || pdu[4] != 2 * count || pdu.size() != 5 + 2u * count) {
        exception = kIllegalDataValue;
      } else {
        // Check every address first, so a refused write changes nothing.
        for (uint32_t a = start; a < uint32_t{start} + count && !exception; ++a) {
          const bool writable = a < outputs_.size() || a == kTimeoutRegister || a == kIpFlashFlagRegister;
          if (!writable) exception = kIllegalDataAddress;
        }
        for (uint32_t i = 0; i < count && !exception; ++i)
          exception = WriteRegister(static_cast<uint16_t>(start + i), Be16(pdu, 5 + 2 * i), flashWritten);
        if (!exception) {
          answer.reply = ReplyHeader(request, function);
          answer.reply.insert(answer.reply.end(), pdu.begin(), pdu.begin() + 4);
        }
        flashValue = flashFlag_;
        if (flashWritten) handler = flashHandler_;
      }
    } else if (function == kDiagnostics && pdu.size() == 4 && Be16(pdu, 0) == kStatisticsSubFunction) {
      answer.summary = "statistics";
      // Sub-function and data echoed, a byte count, the MAC address, then
      // counters: 91 bytes, so the caller's 84 bytes take all of it.
      answer.reply = ReplyHeader(request, function);
      answer.reply.insert(answer.reply.end(), pdu.begin(), pdu.end());
      answer.reply.push_back(78);
      answer.reply.insert(answer.reply.end(), mac_.begin(), mac_.end());
      PutBe16(answer.reply, static_cast<uint16_t>(requestsAnswered_ + 1));
      PutBe16(answer.reply, static_cast<uint16_t>(exceptionsSent_));
      answer.reply.resize(91, 0);
    } else {
      answer.summary = "function " + std::to_string(function);
      // A known function with a bad length is a bad value; a sub-function of
      // diagnostics other than the statistics is unknown, like a function.
      const bool unknownSubFunction = function == kDiagnostics && pdu.size() >= 2 &&
                                      Be16(pdu, 0) != kStatisticsSubFunction;
      exception = (function == kReadHoldingRegisters || function == kWriteMultipleRegisters ||
                   function == kDiagnostics) && !unknownSubFunction
                      ? kIllegalDataValue
                      : kIllegalFunction;
    }
    if (exception) {
      answer.reply = ReplyHeader(request, static_cast<uint8_t>(function | 0x80));
      answer.reply.push_back(exception);
      answer.summary += ": exception " + std::to_string(exception);
      ++exceptionsSent_;
    }
    ++requestsAnswered_;
  }
  FinishLength(answer.reply);
  if (handler) handler(*this, flashValue);
  return answer;
}

int RequestFrameLength(std::span<const uint8_t> stream) {
  if (stream.size() < 6) return 0;
  if (stream[2] != 0 || stream[3] != 0) return -1;  // protocol identifier is always 0
  const size_t length = Be16(stream, 4);
  if (length < 2 || length > 254) return -1;  // unit + function .. largest PDU
  return stream.size() >= 6 + length ? static_cast<int>(6 + length) : 0;
}

}  // namespace plinth
