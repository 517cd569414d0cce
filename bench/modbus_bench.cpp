// Round trips per second of ReadNode (13 registers, the status block) against
// a libmodbus server on loopback, with the traffic log off and on, and of
// libmodbus's own client against the same server in the same run; prints the
// rates and their ratios.
#include <benchmark/benchmark.h>
#include <modbus.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <map>
#include <string>

#include "base/text_scan.h"
#include "net/modbus_client.h"
#include "net/tcp_connect.h"
#include "net/traffic_log.h"
#include "tests/support/libmodbus_server.h"

namespace {

plinth::test::LibmodbusServer* server = nullptr;

void BM_ReadNode(benchmark::State& state) {
  const int s = plinth::ConnectTcp(plinth::ParseIpv4("127.0.0.1"), server->Port());
  if (s < 0) {
    state.SkipWithError("connect failed");
    return;
  }
  uint16_t status[plinth::kStatusBlockWords];
  for (auto _ : state) {
    if (!plinth::ReadNode(s, 1, status, plinth::STATUS_BLOCK, plinth::kStatusBlockWords)) {
      state.SkipWithError("ReadNode failed");
      break;
    }
  }
  plinth::CloseSocket(s);
  state.SetItemsProcessed(state.iterations());
}

void BM_LibmodbusReadRegisters(benchmark::State& state) {
  modbus_t* ctx = modbus_new_tcp("127.0.0.1", server->Port());
  if (modbus_connect(ctx) != 0) {
    state.SkipWithError("connect failed");
    modbus_free(ctx);
    return;
  }
  uint16_t status[plinth::kStatusBlockWords];
  for (auto _ : state) {
    if (modbus_read_registers(ctx, plinth::STATUS_BLOCK, plinth::kStatusBlockWords, status) != plinth::kStatusBlockWords) {
      state.SkipWithError("modbus_read_registers failed");
      break;
    }
  }
  modbus_close(ctx);
  modbus_free(ctx);
  state.SetItemsProcessed(state.iterations());
}

// The same with the traffic log on, as in the window: every request and
// reply goes into the ring; a reader takes them out every 200 ms.
void BM_ReadNodeTrafficLog(benchmark::State& state) {
  plinth::TrafficLog log;
  plinth::SetTrafficLog(&log);
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    uint64_t next = 0;
    while (!stop) {
      next = log.Read(next).next;
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
  });
  BM_ReadNode(state);
  plinth::SetTrafficLog(nullptr);
  stop = true;
  reader.join();
}

// What one entry costs the thread that reports it: a 35-byte reply (the
// status block) into a ring that has long wrapped, as in a long session.
void BM_TrafficLogAdd(benchmark::State& state) {
  plinth::TrafficLog log;
  const uint8_t reply[35] = {0, 1, 0, 0, 0, 29, 1, 3, 26};
  plinth::TrafficRecord r;
  r.kind = plinth::TrafficKind::kModbus;
  r.direction = plinth::TrafficDirection::kReceived;
  for (int i = 0; i < 3 * static_cast<int>(log.Capacity()); ++i) log.Add(r, reply);
  for (auto _ : state) {
    r.timeUs = plinth::TrafficNow();
    log.Add(r, reply);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TrafficLogAdd)->Name("TrafficLog/add_35_bytes");

// Off and on twice each, alternating, so that a change in the machine's load
// does not fall on one of them only.
BENCHMARK(BM_ReadNode)->MinTime(2.0)->UseRealTime()->Name("ReadNode/log_off");
BENCHMARK(BM_ReadNodeTrafficLog)->MinTime(2.0)->UseRealTime()->Name("ReadNode/log_on");
BENCHMARK(BM_ReadNode)->MinTime(2.0)->UseRealTime()->Name("ReadNode/log_off");
BENCHMARK(BM_ReadNodeTrafficLog)->MinTime(2.0)->UseRealTime()->Name("ReadNode/log_on");
BENCHMARK(BM_LibmodbusReadRegisters)->MinTime(2.0)->UseRealTime()->Name("libmodbus");
BENCHMARK(BM_LibmodbusReadRegisters)->MinTime(2.0)->UseRealTime()->Name("libmodbus");

// Keeps the round-trip rate of each benchmark for the ratio.
class RateReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const auto it = run.counters.find("items_per_second");
      if (it == run.counters.end()) continue;
      // The mean of the runs of one name.
      auto& [sum, count] = runs_[run.benchmark_name()];
      sum += it->second.value;
      rates[run.benchmark_name()] = sum / ++count;
    }
  }
  std::map<std::string, double> rates;

 private:
  std::map<std::string, std::pair<double, int>> runs_;
};

}  // namespace

int main(int argc, char** argv) {
  plinth::test::LibmodbusServer modbusServer("127.0.0.1");
  if (!modbusServer.Listening()) {
    std::fprintf(stderr, "cannot start the libmodbus server on 127.0.0.1\n");
    return 1;
  }
  server = &modbusServer;
  benchmark::Initialize(&argc, argv);
  RateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const double ours = reporter.rates["ReadNode/log_off/min_time:2.000/real_time"];
  const double logged = reporter.rates["ReadNode/log_on/min_time:2.000/real_time"];
  const double theirs = reporter.rates["libmodbus/min_time:2.000/real_time"];
  if (ours > 0 && theirs > 0)
    std::printf("ReadNode %.0f round trips/s, libmodbus client %.0f round trips/s, ratio %.2f\n", ours, theirs,
                ours / theirs);
  if (const double add = reporter.rates["TrafficLog/add_35_bytes"]; add > 0)
    std::printf("one traffic log entry costs its writer %.0f ns\n", 1e9 / add);
  if (ours > 0 && logged > 0)
    std::printf("ReadNode with the traffic log off %.0f, on %.0f round trips/s: %.1f %% slower with the log on\n",
                ours, logged, 100.0 * (1.0 - logged / ours));
  return 0;
}
