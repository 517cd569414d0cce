#include "logic/shutdown.h"

#include <thread>

#include "config/configuration.h"
#include "net/net_state.h"

namespace plinth {

void Shutdown(NetState& net, Configuration& config, const ShutdownSteps& steps) {
  net.bootpStop.store(1, std::memory_order_release);
  if (steps.stopBootpServer) steps.stopBootpServer();
  for (int i = 0; i < steps.maxWaits && net.bootpRunning.load(std::memory_order_acquire); ++i)
    std::this_thread::sleep_for(steps.waitStep);
  // Nothing of the window is woken any more; later results are dropped.
  net.rowChanges.SetWake(nullptr);
  config.dataList.Clear();
  std::this_thread::sleep_for(steps.pause);
  config.image.reset();
}

}  // namespace plinth
