#pragma once
// plinthctl verify: the plant check of a configuration file against the live
// network, with its commissioning report.
#include <cstdint>
#include <string>
#include <vector>

#include "logic/plant_check.h"

namespace plinth {

struct VerifyCommandOptions {
  std::string path;  // the .bin file
  PlantCheckOptions check;
  bool json = false;  // standard output: the JSON report instead of lines
  bool csv = false;   // standard output: the CSV report instead of lines
  std::vector<std::string> reports;  // files to write, format from the extension
};

// Prints one line per slave and a summary (or the JSON or CSV report) on
// standard output, progress on standard error when that is a terminal.
// Exit status: 0 when every checkable slave matches, 1 when any differs or
// is missing, 2 for bad usage, a file that cannot be read or a report that
// cannot be written; 130 after SIGINT, 143 after SIGTERM (nothing written).
int VerifyCommand(const VerifyCommandOptions& options);

}  // namespace plinth
