// The end of the program: the wait for the BOOTP server, and what is freed.
#include <gtest/gtest.h>
#include <atomic>
#include <chrono>
#include <thread>
#include "config/configuration.h"
#include "logic/shutdown.h"
#include "net/net_state.h"

namespace plinth {
namespace {

TEST(Shutdown, WaitsForTheBootpServerOnlyWhileItRuns) {
  using namespace std::chrono_literals;
  NetState net;
  Configuration config;
  config.dataList.Append(std::make_unique<SlaveRecord>());
  config.image = std::make_shared<ConfigImage>(10);
  int stops = 0;
  ShutdownSteps steps{[&] { ++stops; }, 10ms, 1000000, 0ms};  // a wait of hours, unless something ends it
  Shutdown(net, config, steps);  // no server running: no wait
  EXPECT_EQ(stops * 10 + net.bootpStop.load(), 11);
  EXPECT_TRUE(config.dataList.Count() == 0 && !config.image);
  // A server that ends while waited for ends the wait, not sooner.
  net.bootpRunning = 1;
  std::atomic<bool> ended{false};
  std::thread server([&] { std::this_thread::sleep_for(50ms), ended = true, net.bootpRunning = 0; });
  Shutdown(net, config, steps);
  EXPECT_TRUE(ended);
  server.join();
}

}  // namespace
}  // namespace plinth
