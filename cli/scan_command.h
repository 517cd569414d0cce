#pragma once
// plinthctl scan: the network scan without a window, on the same scanner and
// pacing as the window's "S&can bus".
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace plinth {

struct ScanCommandOptions {
  std::string masterAddress;  // its /24 is scanned, from its host number on
  uint16_t port = 502;
  int rounds = 1;
  bool json = false;
  bool csv = false;
  std::string configPath;                 // rows that found modules refresh or join
  std::optional<std::string> outputPath;  // .bin written with the result (-o)
  bool force = false;                     // -o may replace a file that is there
  std::chrono::milliseconds probeInterval{50};  // the pace; tests shorten it
};

// Checks the arguments and the output file before the first probe: an
// output file that is there needs --force, or --config naming that same
// file (then it is updated); one that cannot be written is refused. Then
// scans, writes -o and prints what the list holds for each module found
// (table, JSON or CSV) on standard output, progress on standard error when that
// is a terminal. SIGINT or SIGTERM ends the scan early: what was found so
// far is written and printed, and the status is 128 + the signal. A reader
// that goes away ends the printing, not the command. Modules that could not
// be stored (list full, node of another row) and slaves sharing a MAC
// address are named on standard error and give status 1.
int ScanCommand(const ScanCommandOptions& options);

}  // namespace plinth
