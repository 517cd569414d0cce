#pragma once
// plinthctl bootp: the BOOTP server without a window, on the same code as the
// window's "Boot&P server" button and timer step.
#include <cstdint>
#include <string>
#include <vector>

namespace plinth {

struct BootpCommandOptions {
  std::vector<std::string> assign;  // "MAC=IP"
  std::string configPath;           // .bin whose slaves with a MAC address are registered
  bool json = false;
  uint16_t serverPort = 67;
  uint16_t clientPort = 68;
  std::string bindAddress = "0.0.0.0";
  std::string replyAddress = "255.255.255.255";
  int tickMilliseconds = 300;  // the window's timer 1
};

// Serves until SIGINT or SIGTERM; prints one line per event on standard
// output. Returns the exit status.
int BootpCommand(const BootpCommandOptions& options);

}  // namespace plinth
