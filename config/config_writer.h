#pragma once
// The writer of the .bin file: the slaves and master settings become one
// GenericBusTable with one IoH (the master) and one SlaveEntry per slave,
// each with an IoGroup of up to three IoBlocks (input, parameter, output).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/messages.h"
#include "config/configuration.h"

namespace plinth {

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

}  // namespace plinth
