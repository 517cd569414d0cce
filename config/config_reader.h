#pragma once
// The reader of the .bin file: a file is checked whole (size, checksum,
// every node inside the bytes) before anything of it is taken, then its
// master settings and slaves fill an empty configuration.
#include <span>
#include <string>

#include "base/messages.h"
#include "config/configuration.h"

namespace plinth {

struct ReadOutcome {
  bool ok = false;           // the file was valid and read
  bool masterIpSet = false;  // masterIpText was taken from the file
  int entriesInFile = 0;     // SlaveEntry nodes in the file
  bool refused = false;      // the file is there but was not read; a message said why
  std::string reason;        // the system's reason when opening or reading failed
};

// Whether image begins as every configuration file does: after the root's
// total-size length code (1 to 3 bytes), header size 4, data size 16, one
// IoH, version 2 and "GenericBusTable" with its zero byte. The desktop's
// MIME rule reads the same bytes at offsets 1 to 3.
bool BeginsLikeConfigFile(std::span<const uint8_t> image);

// Fills an empty configuration from the bytes of a file. A file that does
// not begin like one is "not a configuration file" (titled with title),
// before its size or checksum is looked at. Reports failures
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
