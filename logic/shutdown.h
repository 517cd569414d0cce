#pragma once
// The end of the program, after the main window has closed: the BOOTP
// server is asked to stop and given at most 5 s, then the slaves and the
// loaded file image are freed.
#include <chrono>
#include <functional>

namespace plinth {

struct NetState;
struct Configuration;

struct ShutdownSteps {
  // Asks the BOOTP server to stop (sets bootpStop and wakes its thread);
  // none while no server was ever built.
  std::function<void()> stopBootpServer;
  std::chrono::milliseconds waitStep{10};
  int maxWaits = 500;
  // Pause between freeing the records and the rest, for workers still
  // finishing.
  std::chrono::milliseconds pause{1000};
};

void Shutdown(NetState& net, Configuration& config, const ShutdownSteps& steps);

}  // namespace plinth
