#pragma once
// plinthctl scan: the network scan without a window, on the same scanner and
// pacing as the window's "S&can bus".
#include <cstdint>
#include <string>

namespace plinth {

struct ScanCommandOptions {
  std::string masterAddress;  // its /24 is scanned, from its host number on
  uint16_t port = 502;
  int rounds = 1;
  bool json = false;
  bool csv = false;
  std::string configPath;  // rows that found modules refresh or join
  std::string outputPath;  // .bin written with the result
};

// Prints the modules found (table, JSON or CSV) on standard output, progress on
// standard error when that is a terminal. SIGINT or SIGTERM ends the scan
// early; what it found so far is printed and written. Returns the exit status.
int ScanCommand(const ScanCommandOptions& options);

}  // namespace plinth
