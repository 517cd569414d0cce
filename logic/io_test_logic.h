#pragma once
// What the Test I/O window does, apart from its widgets: the input and
// output images of one module, the exchange of each cycle and "Set Output".
// plinthctl io runs the same cycle.
#include <array>
#include <cstdint>
#include <string>

#include "base/messages.h"
#include "net/io_image.h"
#include "net/modbus_frames.h"

namespace plinth {

class IoTestLogic {
 public:
  static constexpr int kShownWords = 8;
  static constexpr int kCyclePeriodMs = 100;  // from the end of one cycle to the next
  using Texts = std::array<std::string, kShownWords>;

  // The output image starts with the catalogue's default parameter words of
  // moduleId; the output fields show its first words.
  IoTestLogic(int socket, uint16_t moduleId, uint8_t unit, int inputCount, int outputCount);

  // One exchange: the input words are read, then the output image is
  // written, the write also after a failed read. "Write to module failed!"
  // once per failed exchange; false when one failed (the test then ends).
  bool Cycle(Messages& messages);
  // Cycle in two halves: the exchange, which may run on another thread (it
  // touches the images only), and its report on the caller's thread.
  struct Exchanged {
    bool readOk = true;
    bool writeOk = true;
    ModbusError readError;   // why the read failed
    ModbusError writeError;  // why the write failed
  };
  Exchanged Exchange();
  bool Report(const Exchanged& done, Messages& messages);
  // Takes the typed output texts into the first words of the output image;
  // nothing changes when one of them cannot be read.
  bool SetOutput(Messages& messages);

  const IoImage& Inputs() const { return inputs_; }
  const IoImage& Outputs() const { return outputs_; }
  int ShownInputs() const { return inputCount_ < kShownWords ? inputCount_ : kShownWords; }
  int ShownOutputs() const { return outputCount_ < kShownWords ? outputCount_ : kShownWords; }

  Texts inputTexts;   // "%04x" of the first input words once read
  Texts outputTexts;  // as typed; "%04x" of the first output words at first

 private:
  int socket_;
  uint8_t unit_;
  int inputCount_;
  int outputCount_;
  IoImage inputs_;
  IoImage outputs_;
};

// "%04x" of a word in wire order.
std::string HexWord(uint16_t wireWord);

}  // namespace plinth
