#include "cli/verify_command.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/utf8_text.h"
#include "cli/command_support.h"
#include "cli/console_messages.h"
#include "cli/file_commands.h"
#include "config/configuration.h"
#include "logic/check_report_formats.h"
#include "logic/list_rows.h"

namespace plinth {
namespace {

// A report's folder must take a new file before the check starts, so that
// a long check is not lost to a typing error.
bool ReportWritable(const std::string& path) {
  if (!ReportFormatFor(path)) {
    std::fprintf(stderr, "verify: %s: the report's name must end in .json, .csv or .html\n", path.c_str());
    return false;
  }
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  if (access(folder.c_str(), W_OK) != 0) {
    std::fprintf(stderr, "verify: %s: cannot write in %s: %s\n", path.c_str(), folder.c_str(), std::strerror(errno));
    return false;
  }
  return true;
}

void PrintLines(const CheckReport& report) {
  auto line = [](const CheckEntry& e) {
    const std::string node = e.slave.node.empty() ? "-" : e.slave.node;
    const std::string ip = e.slave.ipAddress.empty() ? "-" : e.slave.ipAddress;
    std::printf("%5s  %-15s  %s\n", ValidUtf8(node).c_str(), ValidUtf8(ip).c_str(), ValidUtf8(e.ResultText()).c_str());
  };
  for (const CheckEntry& e : report.slaves) line(e);
  for (const CheckEntry& e : report.notInList) line(e);
  std::printf("%s\n", report.SummaryLine().c_str());
}

}  // namespace

int VerifyCommand(const VerifyCommandOptions& options) {
  for (const std::string& path : options.reports)
    if (!ReportWritable(path)) return 2;
  Configuration config;
  if (!LoadConfigFile(options.path, config)) return 2;
  if (options.check.sweep && !SweepNetwork(config.master.masterIpText)) {
    std::fprintf(stderr, "verify: --sweep: the file's master address '%s' is not a dotted IPv4 address\n",
                 config.master.masterIpText.c_str());
    return 2;
  }
  // The rows as the window shows them (catalogue word counts, MAC texts), so
  // that both check the same values.
  ConsoleMessages messages;
  ListRows rows(config.dataList, messages);
  rows.RenderAll();
  std::vector<SlaveRecord> slaves;
  for (int i = 0; i < config.dataList.Count(); ++i) slaves.push_back(*config.dataList.At(i));

  // SIGINT or SIGTERM cancels the check (taken before any thread starts);
  // a closed standard output is no reason to die before the reports are
  // written.
  StopSignals stop;
  signal(SIGPIPE, SIG_IGN);

  const bool progress = isatty(STDERR_FILENO);
  PlantCheck check(std::move(slaves), config.master.masterIpText, options.check);
  if (!check.Start()) {
    std::fprintf(stderr, "verify: no thread could be started for the check\n");
    return 2;
  }
  while (!check.WaitUntilDone(std::chrono::milliseconds(0))) {
    if (const int signal = stop.Wait(std::chrono::milliseconds(100))) {
      check.Cancel();
      check.WaitUntilDone(std::chrono::seconds(10));
      if (progress) std::fprintf(stderr, "\r%40s\r", "");
      std::fprintf(stderr, "verify: interrupted; nothing written\n");
      return ExitStatusOfSignal(signal);
    }
    if (progress) std::fprintf(stderr, "\rchecked %d of %d addresses ", check.Done(), check.Total());
  }
  if (progress) std::fprintf(stderr, "\r%40s\r", "");

  CheckReport report = check.Report();
  DescribeCheckedFile(report.record, options.path, config.image ? *config.image : std::vector<uint8_t>{});

  int status = report.ExitStatus();
  for (const std::string& path : options.reports) {
    std::string error;
    if (!WriteReportFile(path, report, error)) {
      std::fprintf(stderr, "verify: %s\n", error.c_str());
      status = 2;
    }
  }
  if (options.json) std::fputs(ReportJson(report).c_str(), stdout);
  else if (options.csv) std::fputs(ReportCsv(report).c_str(), stdout);
  else PrintLines(report);
  std::fflush(stdout);
  return status;
}

}  // namespace plinth
