// plinthctl: the configuration tool's work without a display.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>

#include "base/command_line.h"
#include "cli/bootp_command.h"
#include "cli/file_commands.h"
#include "cli/module_commands.h"
#include "cli/scan_command.h"
#include "cli/trace_output.h"
#include "cli/verify_command.h"

int main(int argc, char** argv) {
  CLI::App app{"plinthctl - configure an Ethernet I/O bus from the command line", "plinthctl"};
  app.require_subcommand(1);
  // Options of plinthctl itself may stand before or after the command.
  app.fallthrough();
  bool trace = false;
  std::string traceFile;
  app.add_flag("--trace", trace, "print the network traffic, decoded, to standard error as the command runs");
  app.add_option("--trace-file", traceFile,
                 "write the network traffic to FILE: .pcap a capture, .jsonl JSON Lines, else text");

  std::string path;
  bool json = false;
  auto* show = app.add_subcommand("show", "Show the master settings and slaves of a .bin file");
  show->add_option("FILE", path, "configuration file (.bin)")->required();
  show->add_flag("--json", json, "print JSON instead of a table");
  bool csv = false;
  show->add_flag("--csv", csv, "print the slaves as CSV (a header row of the JSON key names)")->excludes("--json");

  std::string input, output;
  std::string masterFrom;
  auto* build = app.add_subcommand("build", "Write a .bin file from a JSON description or a CSV list of slaves");
  build->add_option("INPUT", input, "JSON file, - for standard input, or a .csv file of slaves")->required();
  build->add_option("-o,--output", output, "configuration file to write")->required();
  build->add_option("--master-from", masterFrom, "with a .csv input: take the master settings from this .bin file");

  auto* check = app.add_subcommand("check", "Check that a .bin file reads");
  check->add_option("FILE", path, "configuration file (.bin)")->required();

  // Commands on a live module over Modbus/TCP.
  std::string moduleIp, outputWords;
  int modulePort = 502, cycles = 10;
  auto* status = app.add_subcommand("status", "Show what a module reports: ID, word counts, health, errors, MAC");
  auto* flash = app.add_subcommand("flash", "Make a module keep its current IP address");
  auto* reset = app.add_subcommand("reset", "Send a module back to BOOTP for its IP address");
  auto* io = app.add_subcommand("io", "Run the I/O test: read inputs, write outputs every 100 ms");
  for (auto* command : {status, flash, reset, io}) {
    command->add_option("IP", moduleIp, "IP address of the module")->required();
    command->add_option("--port", modulePort, "Modbus/TCP port")->capture_default_str()->check(CLI::Range(1, 65535));
  }
  status->add_flag("--json", json, "print JSON");
  io->add_option("--cycles", cycles, "number of exchanges")->capture_default_str()->check(CLI::Range(1, 1000000));
  io->add_option("--set", outputWords, "output words 1, 2, ... as HEX,HEX,... (default: catalogue parameters)");

  // The network scan.
  plinth::ScanCommandOptions scanOptions;
  auto* scan = app.add_subcommand("scan", "Scan the master's /24 for modules on Modbus/TCP and list them");
  scan->add_option("ADDRESS", scanOptions.masterAddress, "the master's IP address; the scan starts at its host number")
      ->required();
  scan->add_option("--port", scanOptions.port, "Modbus/TCP port")->capture_default_str()->check(CLI::Range(1, 65535));
  scan->add_option("--rounds", scanOptions.rounds, "rounds over the 254 hosts")->capture_default_str()->check(CLI::Range(1, 1000));
  scan->add_flag("--json", scanOptions.json, "print JSON in the slave shape of show --json");
  scan->add_flag("--csv", scanOptions.csv, "print the modules found as CSV, in the columns of show --csv")
      ->excludes("--json");
  scan->add_option("--config", scanOptions.configPath, "a .bin whose rows the found modules refresh or join");
  std::string scanOutput;
  auto* scanOutputOption =
      scan->add_option("-o,--output", scanOutput, "write the resulting configuration (.bin); a file that is there "
                                                  "needs --config naming it (update) or --force (replace)");
  scan->add_flag("--force", scanOptions.force, "let -o replace a file that is there");

  // The BOOTP server without a window.
  plinth::BootpCommandOptions bootpOptions;
  auto* bootp = app.add_subcommand("bootp", "Serve BOOTP: answer registered modules, list unknown ones, until SIGINT/SIGTERM");
  bootp->add_option("--assign", bootpOptions.assign, "register a module: MAC=IP (repeatable)");
  bootp->add_option("--config", bootpOptions.configPath, "register the slaves of this .bin that have a MAC address");
  bootp->add_flag("--json", bootpOptions.json, "print one JSON object per event");
  bootp->add_option("--server-port", bootpOptions.serverPort, "UDP port to serve on")->capture_default_str();
  bootp->add_option("--client-port", bootpOptions.clientPort, "UDP port replies go to")->capture_default_str();
  bootp->add_option("--bind", bootpOptions.bindAddress, "local address to serve on")->capture_default_str();
  bootp->add_option("--reply", bootpOptions.replyAddress, "address replies go to")->capture_default_str();

  // The plant check against the live network.
  plinth::VerifyCommandOptions verifyOptions;
  auto* verify = app.add_subcommand("verify", "Check the live modules against a .bin file; write a commissioning report");
  verify->add_option("FILE", verifyOptions.path, "configuration file (.bin)")->required();
  verify->add_option("--port", verifyOptions.check.port, "Modbus/TCP port")->capture_default_str()->check(CLI::Range(1, 65535));
  verify->add_flag("--sweep", verifyOptions.check.sweep, "also list the modules of the master's /24 that are in no row");
  verify->add_option("--parallel", verifyOptions.check.parallel, "modules looked at at once")
      ->capture_default_str()
      ->check(CLI::Range(1, plinth::PlantCheckOptions::kMaxParallel));
  auto* verifyJson = verify->add_flag("--json", verifyOptions.json, "print the report as JSON");
  verify->add_flag("--csv", verifyOptions.csv, "print the report as CSV")->excludes(verifyJson);
  verify->add_option("--report", verifyOptions.reports, "write the report to FILE (.json, .csv or .html; repeatable)");

  // Without a command, the usage says what there is to do.
  if (argc < 2) {
    std::cout << app.help();
    return plinth::kUsageStatus;
  }
  // A first word that is no command: name it rather than ask for a command.
  if (argv[1][0] != '-') {
    bool known = false;
    for (const CLI::App* command : app.get_subcommands({})) known = known || command->get_name() == argv[1];
    if (!known) {
      std::cerr << "plinthctl: \"" << argv[1] << "\" is not a command; plinthctl --help lists the commands\n";
      return plinth::kUsageStatus;
    }
  }
  if (const int status = plinth::ParseCommandLine(app, argc, argv); status >= 0) return status;

  auto runCommand = [&]() -> int {
    if (*show) return plinth::ShowCommand(path, json, csv);
    if (*build) return plinth::BuildCommand(input, output, masterFrom);
    if (*check) return plinth::CheckCommand(path);
    if (*status) return plinth::StatusCommand(moduleIp, modulePort, json);
    if (*flash) return plinth::FlashCommand(moduleIp, modulePort, true);
    if (*reset) return plinth::FlashCommand(moduleIp, modulePort, false);
    if (*io) return plinth::IoCommand(moduleIp, modulePort, cycles, outputWords);
    if (*bootp) return plinth::BootpCommand(bootpOptions);
    if (*scan) {
      if (scanOutputOption->count()) scanOptions.outputPath = scanOutput;
      return plinth::ScanCommand(scanOptions);
    }
    if (*verify) return plinth::VerifyCommand(verifyOptions);
    return 2;
  };
  plinth::TraceOutput traceOutput;
  if ((trace || !traceFile.empty()) && !traceOutput.Start(trace, traceFile)) return 1;
  const int result = runCommand();
  return traceOutput.Stop() ? result : std::max(result, 1);
}
