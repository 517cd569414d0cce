// The plant check on loopback, with simulated modules on /24s of their own
// (127.x.1.0 and 127.x.2.0, one port): the time to check 254 answering
// modules, a plant of 254 addresses that never answer a connect (their
// listen queues full), and the most connections any module ever had open at
// once. Prints the figures. Usage: bench_plant_check [RUNS] [PARALLEL]
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "base/text_scan.h"
#include "logic/plant_check.h"
#include "tests/support/running_sim.h"

namespace plinth {
namespace {

using Clock = std::chrono::steady_clock;

uint32_t Host(int net, int host) {
  return htonl(0x7F000000u | (200u + uint32_t(getpid()) % 50u) << 16 | uint32_t(net) << 8 | uint32_t(host));
}

// 254 slaves of module 1217 on net, one per host, each with its MAC address.
std::vector<SlaveRecord> Plant(int net) {
  std::vector<SlaveRecord> slaves;
  for (int h = 1; h <= 254; ++h) {
    SlaveRecord r;
    r.node = std::to_string(h), r.ipAddress = FormatIpv4(Host(net, h)), r.moduleId = "1217";
    r.inputWords = "16", r.outputWords = "4";
    char mac[13];
    std::snprintf(mac, sizeof mac, "0050c20000%02x", h);
    r.macAddress = mac;
    slaves.push_back(r);
  }
  return slaves;
}

std::vector<SimModuleConfig> Modules(int net, uint16_t port, FaultMode fault) {
  std::vector<SimModuleConfig> modules;
  for (int h = 1; h <= 254; ++h) {
    SimModuleConfig m;
    m.address = Host(net, h), m.port = port, m.fault = fault, m.changingInputs = false;
    m.mac[5] = static_cast<uint8_t>(h);
    modules.push_back(m);
  }
  return modules;
}

// One check; its time in seconds and its summary line.
double Check(int net, uint16_t port, int parallel, std::string& summary) {
  PlantCheckOptions options;
  options.port = port;
  options.parallel = parallel;
  PlantCheck check(Plant(net), FormatIpv4(Host(net, 0)), options);
  const auto start = Clock::now();
  if (!check.Start() || !check.WaitUntilDone(std::chrono::minutes(5))) std::exit(1);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  summary = check.Report().SummaryLine();
  return seconds;
}

int MostConnections(test::RunningSim& sim) {
  int most = 0;
  for (size_t i = 0; i < 254; ++i) most = std::max(most, sim.Module(i).MostConnections());
  return most;
}

}  // namespace
}  // namespace plinth

int main(int argc, char** argv) {
  using namespace plinth;
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const int parallel = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, PlantCheckOptions::kMaxParallel)
                                : PlantCheckOptions::kDefaultParallel;
  // 254 listeners, and as many connections that fill the silent ones' queues.
  rlimit files{};
  getrlimit(RLIMIT_NOFILE, &files);
  files.rlim_cur = files.rlim_max;
  setrlimit(RLIMIT_NOFILE, &files);
  const uint16_t port = test::UnusedPort();
  test::RunningSim answering(Modules(1, port, FaultMode::kNone));
  test::RunningSim silent(Modules(2, port, FaultMode::kNoAccept));
  if (!answering.Opened() || !silent.Opened()) {
    std::fprintf(stderr, "simulated modules: %s%s\n", answering.Error().c_str(), silent.Error().c_str());
    return 1;
  }
  std::printf("parallel %d, %d runs of 254 answering modules (goal: under 1.5 s)\n", parallel, runs);
  std::vector<double> times;
  std::string summary;
  for (int i = 0; i < runs; ++i) times.push_back(Check(1, port, parallel, summary));
  std::sort(times.begin(), times.end());
  std::printf("  fastest %.3f s, median %.3f s, slowest %.3f s: %s\n", times.front(), times[times.size() / 2],
              times.back(), summary.c_str());
  const double bound = kConnectTimeoutMs / 1000.0 * ((254 + parallel - 1) / parallel);
  std::printf("254 silent addresses (bound: %d ms x 254 / %d at a time = %.1f s)\n", kConnectTimeoutMs, parallel, bound);
  const double silentTime = Check(2, port, parallel, summary);
  std::printf("  %.3f s, %.3fx the bound: %s\n", silentTime, silentTime / bound, summary.c_str());
  std::printf("most connections ever open to one module: %d (must be 1)\n", MostConnections(answering));
  return MostConnections(answering) == 1 ? 0 : 1;
}
