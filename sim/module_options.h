#pragma once
// The --module option of plinth-sim: "key=value,key=value,...".
#include <string>
#include <string_view>
#include <vector>

#include "sim/sim_module.h"

namespace plinth {

// Adds the modules that text describes to out, starting from defaults. With
// count=N there are N modules on consecutive addresses with consecutive MAC
// addresses. False, with the reason in error, when text cannot be read.
bool ParseModuleOptions(std::string_view text, const SimModuleConfig& defaults, std::vector<SimModuleConfig>& out,
                        std::string& error);

// The keys and their meaning, for --help.
const char* ModuleOptionsHelp();

}  // namespace plinth
