// Round trips per second of ReadNode (13 registers, the status block) against
// a libmodbus server on loopback, and of libmodbus's own client against the
// same server in the same run; prints both and their ratio.
#include <benchmark/benchmark.h>
#include <modbus.h>

#include <cstdio>
#include <map>
#include <string>

#include "base/text_scan.h"
#include "net/modbus_client.h"
#include "net/tcp_connect.h"
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

BENCHMARK(BM_ReadNode)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_LibmodbusReadRegisters)->MinTime(2.0)->UseRealTime();

// Keeps the round-trip rate of each benchmark for the ratio.
class RateReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const auto it = run.counters.find("items_per_second");
      if (it != run.counters.end()) rates[run.benchmark_name()] = it->second.value;
    }
  }
  std::map<std::string, double> rates;
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
  const double ours = reporter.rates["BM_ReadNode/min_time:2.000/real_time"];
  const double theirs = reporter.rates["BM_LibmodbusReadRegisters/min_time:2.000/real_time"];
  if (ours > 0 && theirs > 0)
    std::printf("ReadNode %.0f round trips/s, libmodbus client %.0f round trips/s, ratio %.2f\n", ours, theirs,
                ours / theirs);
  return 0;
}
