// The main window with 300 slaves: sorting the list on a heading click and
// loading a 300-slave file into the list at start-up. Runs on Qt's
// offscreen platform; each figure includes updating the list's model.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <filesystem>
#include <memory>
#include <unistd.h>

#include "config/config_writer.h"
#include "config/configuration.h"
#include "logic/render_row.h"
#include "net/net_state.h"
#include "ui/main_dialog.h"
#include "ui/qt_user_prompts.h"

namespace plinth {
namespace {

class SilentPrompts : public UserPrompts {
 public:
  using UserPrompts::ShowMessage;
  void ShowMessage(const std::string&, const std::string&) override {}
  bool Ask(const std::string&, const std::string&) override { return false; }
  std::optional<std::string> OpenFile() override { return std::nullopt; }
  std::optional<std::string> SaveFile() override { return std::nullopt; }
  std::optional<std::string> SaveOtherFile(const std::string&, const std::string&) override { return std::nullopt; }
};

// 300 slaves, a third of them catalogue modules, addresses out of order.
void FillSlaves(DataList& list) {
  for (int i = 0; i < DataList::kCapacity; ++i) {
    auto r = std::make_unique<SlaveRecord>();
    int node = (i * 7919) % 254 + 1;
    r->node = std::to_string(node);
    r->ipAddress = "192.168." + std::to_string(i / 254) + "." + std::to_string(node);
    r->moduleId = i % 3 == 0 ? "1218" : std::to_string(100 + i);
    r->name = "slave " + std::to_string(i);
    r->description = "line " + std::to_string(300 - i);
    r->inputWords = "8";
    r->outputWords = "8";
    r->paramWords = "2";
    char mac[13];
    std::snprintf(mac, sizeof mac, "0002a100%04x", i);
    r->macAddress = mac;
    list.Append(std::move(r));
  }
}

std::string WriteFile() {
  static std::string path;
  if (!path.empty()) return path;
  path = (std::filesystem::temp_directory_path() / ("plinth-ui-bench-" + std::to_string(getpid()) + ".bin")).string();
  Configuration config;
  config.master.masterIpText = "192.168.0.250";
  FillSlaves(config.dataList);
  RecordedMessages messages;
  for (int i = 0; i < config.dataList.Count(); ++i) RenderRecord(*config.dataList.At(i), nullptr, nullptr, messages);
  WriteConfiguration(path, config, messages);
  return path;
}

void BM_SortThreeHundredRows(benchmark::State& state) {
  NetState net;
  SilentPrompts prompts;
  MainDialog window(net, "", prompts);
  FillSlaves(window.Config().dataList);
  window.Initialise();
  window.Timer1().stop();
  window.show();
  QApplication::processEvents();
  int column = 0;
  for (auto _ : state) {
    // Alternate between two orders so that every sort really moves rows.
    window.SortByColumn(column);
    QApplication::processEvents();  // the view lays out and paints the new rows
    column = column == 2 ? 7 : 2;
    benchmark::DoNotOptimize(window.RowCount());
  }
  state.counters["rows"] = window.RowCount();
}
BENCHMARK(BM_SortThreeHundredRows)->Unit(benchmark::kMillisecond);

void BM_LoadThreeHundredSlaveFile(benchmark::State& state) {
  std::string path = WriteFile();
  for (auto _ : state) {
    NetState net;
    SilentPrompts prompts;
    MainDialog window(net, path, prompts);
    window.Initialise();  // reads the file and fills the list
    window.Timer1().stop();
    window.show();
    QApplication::processEvents();  // the first paint of the window
    if (window.RowCount() != DataList::kCapacity) state.SkipWithError("file not loaded");
  }
}
BENCHMARK(BM_LoadThreeHundredSlaveFile)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace plinth

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove(plinth::WriteFile());
  return 0;
}
