#pragma once
// plinthctl's commands on configuration files. Each returns the exit status.
#include <string>

namespace plinth {

int ShowCommand(const std::string& path, bool asJson);
int BuildCommand(const std::string& inputPath, const std::string& outputPath);
int CheckCommand(const std::string& path);

}  // namespace plinth
