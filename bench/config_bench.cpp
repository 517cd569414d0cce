// Writing and reading a full configuration of 300 slaves.
#include <benchmark/benchmark.h>

#include <memory>

#include "config/config_reader.h"
#include "config/config_writer.h"
#include "config/configuration.h"
#include "logic/render_row.h"

namespace {

void Fill(plinth::Configuration& config) {
  config.master.masterIpText = "192.168.1.10";
  for (int i = 0; i < plinth::DataList::kCapacity; ++i) {
    auto r = std::make_unique<plinth::SlaveRecord>();
    r->node = std::to_string(i % 254 + 1);
    r->ipAddress = "192.168.1." + std::to_string(i % 254 + 1);
    r->moduleId = i % 3 == 0 ? "6115" : "99";
    r->name = "Slave " + std::to_string(i);
    r->description = "bench slave";
    r->inputWords = "8";
    r->outputWords = "8";
    r->paramWords = "2";
    r->macAddress = "02000000" + std::to_string(1000 + i);
    config.dataList.Append(std::move(r));
  }
  plinth::RecordedMessages messages;
  for (int i = 0; i < config.dataList.Count(); ++i)
    plinth::RenderRecord(*config.dataList.At(i), nullptr, nullptr, messages);
}

// The bytes of the full configuration, as a loaded file image.
plinth::ConfigImagePtr FullFile() {
  plinth::Configuration source;
  Fill(source);
  plinth::RecordedMessages messages;
  return std::make_shared<plinth::ConfigImage>(*plinth::EncodeConfiguration(source.dataList, source.master, messages));
}

void BM_Encode300(benchmark::State& state) {
  plinth::Configuration config;
  Fill(config);
  plinth::RecordedMessages messages;
  size_t bytes = 0;
  for (auto _ : state) {
    auto out = plinth::EncodeConfiguration(config.dataList, config.master, messages);
    bytes = out->size();
    benchmark::DoNotOptimize(out);
  }
  state.counters["file_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_Encode300)->Unit(benchmark::kMicrosecond);

void BM_Read300(benchmark::State& state) {
  auto bytes = FullFile();
  plinth::RecordedMessages messages;
  for (auto _ : state) {
    plinth::Configuration config;
    auto outcome = plinth::ReadConfigurationBytes(bytes, "bench", config, messages);
    benchmark::DoNotOptimize(outcome);
  }
}
BENCHMARK(BM_Read300)->Unit(benchmark::kMicrosecond);

// Re-writing a loaded file: every record copies its nodes from the image.
void BM_RewriteLoaded300(benchmark::State& state) {
  auto bytes = FullFile();
  plinth::RecordedMessages messages;
  plinth::Configuration loaded;
  plinth::ReadConfigurationBytes(bytes, "bench", loaded, messages);
  for (auto _ : state) {
    auto out = plinth::EncodeConfiguration(loaded.dataList, loaded.master, messages);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_RewriteLoaded300)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
