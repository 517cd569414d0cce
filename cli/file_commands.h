#pragma once
// plinthctl's commands on configuration files. Each returns the exit status.
#include <string>

#include "config/configuration.h"

namespace plinth {

// Reads a configuration file the way the window does, printing each message
// with the path and the system's reason; false when nothing could be read.
bool LoadConfigFile(const std::string& path, Configuration& config);

int ShowCommand(const std::string& path, bool asJson, bool asCsv = false);
// Input ending in ".csv" is a spreadsheet of slaves; the master settings
// then come from the .bin file masterFrom (none: a new configuration's).
int BuildCommand(const std::string& inputPath, const std::string& outputPath, const std::string& masterFrom = "");
int CheckCommand(const std::string& path);

}  // namespace plinth
