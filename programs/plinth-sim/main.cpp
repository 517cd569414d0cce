// plinth-sim: plays one or many I/O modules on Modbus/TCP, for tests and for
// trying the configurator without hardware.
#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>

#include "base/command_line.h"
#include "base/text_scan.h"
#include "sim/bootp_modules.h"
#include "sim/module_options.h"
#include "sim/sim_server.h"

namespace {

plinth::SimServer* runningServer = nullptr;

void StopOnSignal(int) {
  if (runningServer) runningServer->RequestStop();
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"plinth-sim - simulated Ethernet I/O modules answering Modbus/TCP", "plinth-sim"};
  app.footer(plinth::ModuleOptionsHelp());
  std::vector<std::string> moduleTexts;
  std::string address = "127.0.0.1";
  int port = plinth::kModbusPort;
  bool verbose = false;
  app.add_option("-m,--module", moduleTexts, "a module to play (repeatable; see below); default: one module id=1217");
  app.add_option("--ip", address, "address of modules without ip=")->capture_default_str();
  app.add_option("-p,--port", port, "TCP port of modules without port=")->capture_default_str()->check(CLI::Range(0, 65535));
  app.add_flag("-v,--verbose", verbose, "print every connection and request");
  // BOOTP: modules with bootp=1 ask for their address; with --bootp every
  // module also goes back to BOOTP when its IP flash flag is written 0.
  bool bootp = false;
  std::string bootpTo = "255.255.255.255";
  int bootpInterval = 2000;
  plinth::SimBootpOptions bootpOptions;
  app.add_flag("--bootp", bootp, "run the BOOTP side even when no module starts with bootp=1");
  app.add_option("--bootp-interface", bootpOptions.client.interfaceName,
                 "ask on this interface only, and add assigned addresses to it (inside a network namespace)");
  app.add_option("--bootp-prefix", bootpOptions.prefixLength, "prefix length of an added address")
      ->capture_default_str()->check(CLI::Range(1, 32));
  app.add_option("--bootp-to", bootpTo, "where requests go")->capture_default_str();
  app.add_option("--bootp-server-port", bootpOptions.client.serverPort, "UDP port requests go to")->capture_default_str();
  app.add_option("--bootp-client-port", bootpOptions.client.clientPort, "UDP port replies arrive on")->capture_default_str();
  app.add_option("--bootp-interval", bootpInterval, "milliseconds between two requests")
      ->capture_default_str()->check(CLI::Range(10, 600000));
  if (const int status = plinth::ParseCommandLine(app, argc, argv); status >= 0) return status;

  plinth::SimModuleConfig defaults;
  defaults.address = plinth::ParseIpv4(address);
  defaults.port = static_cast<uint16_t>(port);
  if (defaults.address == 0) {
    std::fprintf(stderr, "plinth-sim: cannot read address '%s'\n", address.c_str());
    return 2;
  }
  if (moduleTexts.empty()) moduleTexts.push_back("");
  std::vector<plinth::SimModuleConfig> configs;
  for (const std::string& text : moduleTexts) {
    std::string error;
    if (!plinth::ParseModuleOptions(text, defaults, configs, error)) {
      std::fprintf(stderr, "plinth-sim: --module %s: %s\n", text.c_str(), error.c_str());
      return 2;
    }
  }

  plinth::SimServer server;
  if (verbose) server.SetLog(stdout);
  for (const auto& config : configs) server.AddModule(std::make_shared<plinth::SimModule>(config));
  // Handlers first: whoever reads the start lines may stop the program at once.
  runningServer = &server;
  struct sigaction action {};
  action.sa_handler = StopOnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  std::string error;
  if (!server.Open(error)) {
    std::fprintf(stderr, "plinth-sim: cannot listen on %s\n", error.c_str());
    return 1;
  }
  for (const auto& module : server.Modules()) {
    const bool waiting = module->State() == plinth::AddressState::kWaitingForBootp;
    std::printf("module %u (%d in, %d out) mac %s %s%s:%u%s\n", module->ModuleId(), module->InputWords(),
                module->OutputWords(), plinth::FormatMac(module->Mac()).c_str(), waiting ? "waiting for BOOTP, " : "at ",
                plinth::FormatIpv4(module->Address()).c_str(), module->Port(),
                module->Fault() == plinth::FaultMode::kNone ? "" : (std::string(", fault ") + plinth::FaultModeName(module->Fault())).c_str());
  }
  std::fflush(stdout);

  for (const auto& module : server.Modules())
    bootp = bootp || module->State() == plinth::AddressState::kWaitingForBootp;
  std::unique_ptr<plinth::SimBootp> bootpSide;
  if (bootp) {
    bootpOptions.client.serverAddress = plinth::ParseIpv4(bootpTo);
    bootpOptions.client.interval = std::chrono::milliseconds(bootpInterval);
    bootpSide = std::make_unique<plinth::SimBootp>(server, bootpOptions, stdout);
    if (!bootpSide->Start(error)) {
      std::fprintf(stderr, "plinth-sim: BOOTP: %s\n", error.c_str());
      return 1;
    }
  }

  server.Run();
  runningServer = nullptr;
  if (verbose) std::printf("stopped\n");
  return 0;
}
