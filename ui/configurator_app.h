#pragma once
// The application object: starts the program in its fixed order, runs the
// main window and shuts down when it has closed.
#include <QStringList>
#include <functional>
#include <string>

#include "base/user_prompts.h"
#include "logic/shutdown.h"

namespace plinth {

class MainDialog;
struct NetState;

// The configuration path: the command-line arguments after the program's
// name, joined by single blanks and otherwise taken whole.
std::string ConfigPathFromArguments(const QStringList& arguments);

class ConfiguratorApp {
 public:
  ConfiguratorApp(NetState& net, UserPrompts& prompts) : net_(net), prompts_(prompts) {}

  // Called with the main window after its initialisation, before it runs
  // (the network services attach their hooks here; tests drive it).
  void SetOnMainWindow(std::function<void(MainDialog&)> hook) { onMainWindow_ = std::move(hook); }
  ShutdownSteps& ShutdownOptions() { return shutdown_; }
  // Reads the host name and local addresses (CollectHostAddresses); false
  // fails the start-up. Replaced by tests.
  void SetHostCollector(std::function<bool(NetState&, Messages&)> collect) { collectHost_ = std::move(collect); }

  // Start-up, the main window's run, shutdown. Returns the window's result.
  int Run(const std::string& configPath);

 private:
  NetState& net_;
  UserPrompts& prompts_;
  std::function<void(MainDialog&)> onMainWindow_;
  std::function<bool(NetState&, Messages&)> collectHost_;
  ShutdownSteps shutdown_;
};

}  // namespace plinth
