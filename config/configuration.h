#pragma once
// The configuration being edited (slaves and master settings) and the .bin
// file that holds it: one GenericBusTable with one IoH (the master) and one
// SlaveEntry per slave, each with an IoGroup of up to three IoBlocks.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/messages.h"
#include "config/slave_record.h"

namespace plinth {

struct MasterSettings {
  std::string masterIpText;
  std::string boardText = "0";
  uint16_t fileWord1 = 50;
  uint16_t fileWord2 = 0;
  bool saveUnknownSlaves = false;
  // Bits 0-7 burst count, bit 13 one cycle output/input, bit 14 fill UDP
  // dummy-frame; travels whole to and from the file.
  uint16_t advancedSettings = 0;
};

struct Configuration {
  DataList dataList;
  MasterSettings master;
  int nextNode = 1;
  ConfigImagePtr image;  // bytes of the file last read
};

// Files larger than this are refused before they are read.
inline constexpr uint64_t kMaxConfigFileSize = 16u * 1024 * 1024;

// A block's word and value counts are 16-bit: no block holds more words.
inline constexpr int kMaxBlockWords = 65535;

// How messages name the record in slot: "slave 3 (node 12)".
std::string SlaveLabel(int slot, const SlaveRecord& r);

// Why r's word counts cannot be written (a block would need more than
// kMaxBlockWords words), or "" when they can.
std::string WordCountProblem(const SlaveRecord& r);

// Encodes the slaves and master settings as the bytes of a .bin file.
// Reports "Copy of GenericBusTable failed!" and returns nullopt when the
// tree cannot be encoded; a second line names the slave and what does not
// fit. Sizes are checked before any block is built.
std::optional<std::vector<uint8_t>> EncodeConfiguration(const DataList& list, const MasterSettings& master,
                                                        Messages& messages);

// Writes the configuration to path, atomically: the previous file stays
// untouched when anything fails. Reports its own failures; true on success.
// reason (if given) receives the system's reason of a failed write.
bool WriteConfiguration(const std::string& path, const Configuration& config, Messages& messages,
                        std::string* reason = nullptr);

// Writes bytes to path atomically (temporary file in the same folder,
// flushed, renamed over the target). A symbolic link is written through to
// the file it names, also when that file does not exist yet; a loop of
// links fails. systemError (if given) receives errno of a failure.
enum class WriteFileError { None, Open, Write };
WriteFileError WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                                   int* systemError = nullptr);

struct ReadOutcome {
  bool ok = false;           // the file was valid and read
  bool masterIpSet = false;  // masterIpText was taken from the file
  int entriesInFile = 0;     // SlaveEntry nodes in the file
  bool refused = false;      // the file is there but was not read; a message said why
  std::string reason;        // the system's reason when opening or reading failed
};

// Fills an empty configuration from the bytes of a file. Reports failures
// through messages ("size not valid" and "checksum error" titled with
// title); nothing is read from a file that fails any check.
ReadOutcome ReadConfigurationBytes(ConfigImagePtr image, const std::string& title, Configuration& config,
                                   Messages& messages);

// Reads the file at path into config, whose dataList must be empty.
ReadOutcome ReadConfiguration(const std::string& path, Configuration& config, Messages& messages);

// Checks that every node of a loaded image lies inside the image and that
// every field the reader uses can be read.
bool ValidateConfigTree(std::span<const uint8_t> image, const NodeCursor& root);

}  // namespace plinth
