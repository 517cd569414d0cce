#include "ui/configurator_app.h"

#include "base/thread_priority.h"
#include "net/host_addresses.h"
#include "net/net_state.h"
#include "ui/main_dialog.h"

namespace plinth {

std::string ConfigPathFromArguments(const QStringList& arguments) {
  return arguments.mid(1).join(QLatin1Char(' ')).toStdString();
}

int ConfiguratorApp::Run(const std::string& configPath) {
  int result;
  {
    MainDialog window(net_, configPath, prompts_);
    RaiseThreadPriority();
    // The sockets layer needs no start on this platform.
    PromptMessages messages(prompts_);
    bool hostFound = collectHost_ ? collectHost_(net_, messages) : CollectHostAddresses(net_, messages);
    window.SetStartupFailed(!hostFound);
    window.Initialise();
    if (onMainWindow_) onMainWindow_(window);
    result = window.StartupFailed() ? QDialog::Rejected : window.Run();
    window.Timer1().stop();
    Shutdown(net_, window.Config(), shutdown_);
  }
  return result;
}

}  // namespace plinth
