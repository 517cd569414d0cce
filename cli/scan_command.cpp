#include "cli/scan_command.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <vector>

#include "base/text_scan.h"
#include "cli/command_support.h"
#include "cli/console_messages.h"
#include "cli/file_commands.h"
#include "cli/json_config.h"
#include "config/config_writer.h"
#include "config/configuration.h"
#include "config/duplicate_macs.h"
#include "config/module_catalog.h"
#include "config/slave_csv.h"
#include "logic/bootp_report.h"
#include "logic/list_rows.h"
#include "net/net_scanner.h"
#include "net/scan_log.h"

namespace plinth {
namespace {

constexpr int kOutputWritable = -1;  // CheckOutput: the output file may be written

// Whether the scan may write path: an empty path, a folder, a file that is
// there without --force or --config naming it, or a folder that takes no
// new file are refused with a message, before anything is scanned.
int CheckOutput(const ScanCommandOptions& o, const std::string& path) {
  if (path.empty()) {
    std::fprintf(stderr, "scan: -o: the output path is empty\n");
    return kBadArgumentStatus;
  }
  struct stat there {};
  if (stat(path.c_str(), &there) == 0) {
    if (S_ISDIR(there.st_mode)) {
      std::fprintf(stderr, "scan: -o %s: is a folder\n", path.c_str());
      return kBadArgumentStatus;
    }
    struct stat config {};
    const bool updated = !o.configPath.empty() && stat(o.configPath.c_str(), &config) == 0 &&
                         config.st_dev == there.st_dev && config.st_ino == there.st_ino;
    if (!updated && !o.force) {
      std::fprintf(stderr,
                   "scan: %s is there already: give --config %s to add the modules found to it, or --force to "
                   "replace it with them\n",
                   path.c_str(), path.c_str());
      return kBadArgumentStatus;
    }
  } else if (errno != ENOENT) {
    std::fprintf(stderr, "scan: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
    return 1;
  }
  // The file is written to a temporary file beside it, then renamed: the
  // folder must take a new file.
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  std::string probe = ((folder.empty() ? std::filesystem::path(".") : folder) / ".plinth-scan-XXXXXX").string();
  const int fd = mkstemp(probe.data());
  if (fd < 0) {
    std::fprintf(stderr, "scan: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
    return 1;
  }
  close(fd);
  unlink(probe.c_str());
  return kOutputWritable;
}

// A module found, and what the list holds for it.
struct FoundModule {
  SlaveRecord reading;                // as the module reported it
  const SlaveRecord* stored = nullptr;  // its row, none when it was not stored
  std::string whyNotStored;
};

std::vector<FoundModule> MatchFound(const std::map<int, SlaveRecord>& found, const DataList& list) {
  std::vector<FoundModule> modules;
  for (const auto& [host, reading] : found) {
    FoundModule m{reading, nullptr, {}};
    const int slot = list.FindByIpText(reading.ipAddress);
    if (slot >= 0) {
      m.stored = list.At(slot);
    } else {
      for (int i = 0; i < list.Count() && m.whyNotStored.empty(); ++i)
        if (!list.At(i)->node.empty() && ScanDecimal(list.At(i)->node) == host)
          m.whyNotStored = "node " + std::to_string(host) + " is already used by " + SlaveLabel(i, *list.At(i));
      if (m.whyNotStored.empty())
        m.whyNotStored = "the list holds " + std::to_string(DataList::kCapacity) + " slaves and is full";
    }
    modules.push_back(std::move(m));
  }
  return modules;
}

struct Difference {
  const char* field;
  std::string stored, reported;
};

// Where the module reports something else than its row holds (a row keeps
// its own texts; a module of the catalogue takes the catalogue's word
// counts). A MAC address the module did not report is no difference.
std::vector<Difference> Differences(const FoundModule& m) {
  const SlaveRecord& s = *m.stored;
  const SlaveRecord& r = m.reading;
  const std::string mac = IsZeroMac(s.mac) ? std::string() : FormatMac(s.mac);
  std::vector<Difference> out;
  if (!r.macAddress.empty() && r.macAddress != mac) out.push_back({"macAddress", mac, r.macAddress});
  if (r.moduleId != s.moduleId) out.push_back({"moduleId", s.moduleId, r.moduleId});
  if (r.inputWords != s.inputWords) out.push_back({"inputWords", s.inputWords, r.inputWords});
  if (r.outputWords != s.outputWords) out.push_back({"outputWords", s.outputWords, r.outputWords});
  return out;
}

std::string TableText(const std::vector<FoundModule>& modules) {
  std::string text;
  char line[512];
  std::snprintf(line, sizeof line, "%-5s %-15s %-12s %-6s %-5s %-5s %-16s %s\n", "Node", "IP Address", "MAC Address",
                "ID", "In", "Out", "Name", "Module reports");
  text += line;
  size_t stored = 0;
  for (const FoundModule& m : modules) {
    const SlaveRecord& r = m.stored ? *m.stored : m.reading;
    const std::string mac = m.stored ? (IsZeroMac(r.mac) ? "" : FormatMac(r.mac)) : r.macAddress;
    std::string reports;
    if (m.stored) {
      ++stored;
      static const std::map<std::string, std::string> shortName{
          {"macAddress", "MAC"}, {"moduleId", "ID"}, {"inputWords", "in"}, {"outputWords", "out"}};
      for (const Difference& d : Differences(m))
        reports += (reports.empty() ? "" : ", ") + shortName.at(d.field) + " " + d.reported;
    } else {
      reports = "not stored";
    }
    std::snprintf(line, sizeof line, "%-5s %-15s %-12s %-6s %-5s %-5s %-16s %s\n", TerminalText(r.node).c_str(),
                  r.ipAddress.c_str(), mac.empty() ? "-" : mac.c_str(), TerminalText(r.moduleId).c_str(),
                  TerminalText(r.inputWords).c_str(), TerminalText(r.outputWords).c_str(),
                  TerminalText(m.stored ? r.name : std::string(FindModuleByText(r.moduleId).partNumber)).c_str(),
                  reports.c_str());
    text += line;
  }
  std::snprintf(line, sizeof line, "%zu module%s found, %zu stored\n", modules.size(), modules.size() == 1 ? "" : "s",
                stored);
  return text + line;
}

nlohmann::ordered_json ScanJson(const std::string& master, const std::vector<FoundModule>& modules) {
  using ojson = nlohmann::ordered_json;
  ojson slaves = ojson::array(), differences = ojson::array(), notStored = ojson::array();
  for (const FoundModule& m : modules) {
    if (!m.stored) {
      notStored.push_back({{"node", m.reading.node},
                           {"ipAddress", m.reading.ipAddress},
                           {"macAddress", m.reading.macAddress},
                           {"moduleId", m.reading.moduleId},
                           {"reason", m.whyNotStored}});
      continue;
    }
    // The file keeps no status; a module that answered is "ok", as its row shows.
    nlohmann::ordered_json slave = SlaveToJson(*m.stored);
    slave["status"] = "ok";
    slaves.push_back(std::move(slave));
    for (const Difference& d : Differences(m))
      differences.push_back(
          {{"ipAddress", m.stored->ipAddress}, {"field", d.field}, {"stored", d.stored}, {"reported", d.reported}});
  }
  return Versioned(
      {{"master", {{"ip", master}}}, {"slaves", slaves}, {"differences", differences}, {"notStored", notStored}});
}

// The rows of the modules found as CSV, in the columns of show --csv.
std::string ScanCsv(const std::vector<FoundModule>& modules) {
  std::string out;
  AppendSlaveCsvHeader(out);
  for (const FoundModule& m : modules) {
    if (!m.stored) continue;
    SlaveRecord r = *m.stored;
    r.status = "ok";  // as its row shows; the file keeps no status
    AppendSlaveCsvRow(out, r);
  }
  return out;
}

// SIGPIPE ignored while the object lives: a reader that went away makes the
// writes fail, which ends the printing only.
class PipeSignalIgnored {
 public:
  PipeSignalIgnored() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &saved_);
  }
  ~PipeSignalIgnored() { sigaction(SIGPIPE, &saved_, nullptr); }
  PipeSignalIgnored(const PipeSignalIgnored&) = delete;
  PipeSignalIgnored& operator=(const PipeSignalIgnored&) = delete;

 private:
  struct sigaction saved_ {};
};

}  // namespace

int ScanCommand(const ScanCommandOptions& options) {
  if (!ReadAddressArgument("scan", options.masterAddress)) return kBadArgumentStatus;
  if (options.outputPath)
    if (const int status = CheckOutput(options, *options.outputPath); status != kOutputWritable) return status;
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
  scanOptions.probeInterval = options.probeInterval;
  const bool progress = isatty(STDERR_FILENO);
  StopSignals stop;  // before any thread starts, so every thread inherits the mask
  {
    NetScanner scanner(net, messages, scanOptions, &log);
    scanner.Start(options.masterAddress);
    // The loop of the window's timer: found modules become rows here.
    for (bool idle = false; !idle;) {
      if (stop.Wait(NetScanner::kIdleSleep)) scanner.RequestStop();  // probes in flight finish
      idle = scanner.WaitUntilIdle(std::chrono::milliseconds(0));
      net.rowChanges.Apply(rows, true);
      if (progress)
        std::fprintf(stderr, "\rtrying %-15s  found %zu ",
                     ScanAddressStep(options.masterAddress, net.scanCursor.load()).c_str(), log.Found().size());
    }
    if (progress) std::fprintf(stderr, "\r%zu probes, %zu modules found%12s\n", log.Starts().size(), log.Found().size(), "");
  }

  const std::vector<FoundModule> modules = MatchFound(log.Found(), config.dataList);
  int status = 0;
  // The file first: whatever happens to the printing, the result is kept.
  const bool written = options.outputPath && WriteConfiguration(*options.outputPath, config, messages);
  if (options.outputPath && !written) {
    std::fprintf(stderr, "%s: not written\n", options.outputPath->c_str());
    status = 1;
  }
  {
    PipeSignalIgnored pipeSignal;
    PrintOut(options.csv    ? ScanCsv(modules)
             : options.json ? JsonText(ScanJson(config.master.masterIpText, modules), 2) + "\n"
                            : TableText(modules));
  }
  size_t stored = 0;
  for (const FoundModule& m : modules) {
    if (m.stored) {
      ++stored;
      continue;
    }
    std::fprintf(stderr, "not stored: node %s, %s, MAC %s: %s\n", m.reading.node.c_str(), m.reading.ipAddress.c_str(),
                 m.reading.macAddress.empty() ? "-" : m.reading.macAddress.c_str(), m.whyNotStored.c_str());
    status = 1;
  }
  for (const std::string& line : DescribeSharedMacs(config.dataList)) {
    std::fprintf(stderr, "%s; BOOTP can give an address to one of them only\n", line.c_str());
    status = 1;
  }
  if (stop.Taken()) {
    const size_t hosts = log.Starts().size();
    std::fprintf(stderr, "interrupted after %zu host%s; %zu module%s %s\n", hosts, hosts == 1 ? "" : "s", stored,
                 stored == 1 ? "" : "s", written ? "written" : "found");
    return ExitStatusOfSignal(stop.Taken());
  }
  return status;
}

}  // namespace plinth
