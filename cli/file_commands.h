#pragma once
// plinthctl's commands on configuration files. Each returns the exit status.
#include <string>

#include "config/configuration.h"

namespace plinth {

// Reads a configuration file the way the window does, printing each message
// with the path and the system's reason; false when nothing could be read.
bool LoadConfigFile(const std::string& path, Configuration& config);

int ShowCommand(const std::string& path, bool asJson);
int BuildCommand(const std::string& inputPath, const std::string& outputPath);
int CheckCommand(const std::string& path);

}  // namespace plinth
