#include "logic/io_test_logic.h"

#include <arpa/inet.h>

#include <cstdio>
#include <optional>

#include "net/modbus_client.h"
#include "net/modbus_registers.h"

namespace plinth {

std::string HexWord(uint16_t wireWord) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", ntohs(wireWord));
  return text;
}

IoTestLogic::IoTestLogic(int socket, uint16_t moduleId, uint8_t unit, int inputCount, int outputCount)
    : socket_(socket),
      unit_(unit),
      inputCount_(inputCount),
      outputCount_(outputCount),
      inputs_(inputCount > 0 ? static_cast<size_t>(inputCount) : 0, 0),
      outputs_(SeedOutputImage(moduleId, outputCount)) {
  for (int i = 0; i < ShownOutputs(); ++i) outputTexts[static_cast<size_t>(i)] = HexWord(outputs_[static_cast<size_t>(i)]);
}

bool IoTestLogic::Cycle(Messages& messages) { return Report(Exchange(), messages); }

IoTestLogic::Exchanged IoTestLogic::Exchange() {
  Exchanged done;
  if (inputCount_ > 0)
    done.readOk = ReadNode(socket_, unit_, inputs_.data(), kIoImageAddress, inputCount_, &done.readError);
  if (outputCount_ > 0)
    done.writeOk = WriteNode(socket_, unit_, outputs_.data(), kIoImageAddress, outputCount_, &done.writeError);
  return done;
}

bool IoTestLogic::Report(const Exchanged& done, Messages& messages) {
  if (!done.readOk) messages.Show("Write to module failed!");
  for (int i = 0; i < ShownInputs(); ++i) inputTexts[static_cast<size_t>(i)] = HexWord(inputs_[static_cast<size_t>(i)]);
  if (!done.writeOk) messages.Show("Write to module failed!");
  return done.readOk && done.writeOk;
}

bool IoTestLogic::SetOutput(Messages& messages) {
  if (outputCount_ <= 0) {
    messages.Show("No output words defined!");
    return false;
  }
  std::array<uint16_t, kShownWords> values{};
  for (int i = 0; i < ShownOutputs(); ++i) {
    std::optional<uint16_t> value = ScanOutputWord(outputTexts[static_cast<size_t>(i)]);
    if (!value) {
      messages.Show("Output Word " + std::to_string(i + 1), "Please check your input string");
      return false;
    }
    values[static_cast<size_t>(i)] = *value;
  }
  for (int i = 0; i < ShownOutputs(); ++i) outputs_[static_cast<size_t>(i)] = htons(values[static_cast<size_t>(i)]);
  return true;
}

}  // namespace plinth
