#include "cli/scan_command.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "base/text_scan.h"
#include "cli/console_messages.h"
#include "cli/file_commands.h"
#include "config/config_writer.h"
#include "config/configuration.h"
#include "config/mac_text.h"
#include "config/module_catalog.h"
#include "config/slave_csv.h"
#include "logic/bootp_report.h"
#include "logic/list_rows.h"
#include "net/net_scanner.h"
#include "net/scan_log.h"

namespace plinth {
namespace {

// A found module in the slave shape of "show --json": word counts as the
// module reports them, name, description and parameter words from the
// catalogue.
nlohmann::ordered_json SlaveJson(const SlaveRecord& r) {
  const ModuleCatalogEntry& entry = FindModuleByText(r.moduleId);
  return {{"node", r.node},
          {"status", r.status},
          {"ipAddress", r.ipAddress},
          {"macAddress", r.macAddress},
          {"moduleId", r.moduleId},
          {"name", std::string(entry.partNumber)},
          {"description", std::string(entry.description)},
          {"inputWords", r.inputWords},
          {"outputWords", r.outputWords},
          {"paramWords", std::to_string(entry.paramWords)}};
}

// The found modules as CSV, in the columns and values of SlaveJson.
std::string FoundCsv(const std::map<int, SlaveRecord>& found) {
  std::string out;
  AppendSlaveCsvHeader(out);
  for (const auto& [host, module] : found) {
    SlaveRecord r = module;
    const ModuleCatalogEntry& entry = FindModuleByText(r.moduleId);
    r.name = entry.partNumber;
    r.description = entry.description;
    r.paramWords = std::to_string(entry.paramWords);
    ReadMacText(r.macAddress, r.mac);
    AppendSlaveCsvRow(out, r);
  }
  return out;
}

void PrintTable(const std::map<int, SlaveRecord>& found) {
  std::printf("%-5s %-15s %-12s %-6s %-5s %-5s %s\n", "Node", "IP Address", "MAC Address", "ID", "In", "Out",
              "Name");
  for (const auto& [host, r] : found)
    std::printf("%-5s %-15s %-12s %-6s %-5s %-5s %s\n", r.node.c_str(), r.ipAddress.c_str(),
                r.macAddress.empty() ? "-" : r.macAddress.c_str(), r.moduleId.c_str(), r.inputWords.c_str(),
                r.outputWords.c_str(), std::string(FindModuleByText(r.moduleId).partNumber).c_str());
  std::printf("%zu module%s found\n", found.size(), found.size() == 1 ? "" : "s");
}

}  // namespace

int ScanCommand(const ScanCommandOptions& options) {
  if (ParseIpv4(options.masterAddress) == 0) {
    std::fprintf(stderr, "scan: %s is not a dotted IPv4 address\n", options.masterAddress.c_str());
    return 2;
  }
  ConsoleMessages messages;
  Configuration config;
  if (!options.configPath.empty() && !LoadConfigFile(options.configPath, config)) return 1;
  if (options.configPath.empty()) config.master.masterIpText = options.masterAddress;
  ListRows rows(config.dataList, messages);
  rows.RenderAll();

  NetState net;
  ScanLog log;
  ScanOptions scanOptions;
  scanOptions.port = options.port;
  scanOptions.rounds = options.rounds;
  const bool progress = isatty(STDERR_FILENO);
  // SIGINT or SIGTERM stops the scan early; what it found is still printed
  // and written. Blocked before any thread starts, so every thread inherits
  // the mask and sigtimedwait below takes them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  {
    NetScanner scanner(net, messages, scanOptions, &log);
    scanner.Start(options.masterAddress);
    // The loop of the window's timer: found modules become rows here.
    const timespec tick{0, 100 * 1000 * 1000};
    for (bool idle = false; !idle;) {
      const int signal = sigtimedwait(&stopSignals, nullptr, &tick);
      if (signal == SIGINT || signal == SIGTERM) scanner.RequestStop();  // probes in flight finish
      idle = scanner.WaitUntilIdle(std::chrono::milliseconds(0));
      net.rowChanges.Apply(rows, true);
      if (scanner.TakeFullNotice()) messages.Show("dataList full");
      if (progress)
        std::fprintf(stderr, "\rtrying %-15s  found %zu ",
                     ScanAddressStep(options.masterAddress, net.scanCursor.load()).c_str(), log.Found().size());
    }
    if (progress) std::fprintf(stderr, "\r%zu probes, %zu modules found%12s\n", log.Starts().size(), log.Found().size(), "");
  }

  const std::map<int, SlaveRecord> found = log.Found();
  if (options.csv) {
    std::cout << FoundCsv(found);
  } else if (options.json) {
    nlohmann::ordered_json slaves = nlohmann::ordered_json::array();
    for (const auto& [host, r] : found) slaves.push_back(SlaveJson(r));
    nlohmann::ordered_json out{{"master", {{"ip", options.masterAddress}}}, {"slaves", slaves}};
    std::cout << out.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
  } else {
    PrintTable(found);
  }
  if (!options.outputPath.empty() && !WriteConfiguration(options.outputPath, config, messages)) {
    std::fprintf(stderr, "%s: not written\n", options.outputPath.c_str());
    return 1;
  }
  return 0;
}

}  // namespace plinth
