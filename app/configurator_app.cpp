#include "app/configurator_app.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "app/host_addresses.h"
#include "app/net_state.h"
#include "ui/main_dialog.h"

namespace plinth {
namespace {

// One step above normal, best effort: an unprivileged process may be refused.
void RaiseThreadPriority() {
  auto tid = static_cast<id_t>(syscall(SYS_gettid));
  setpriority(PRIO_PROCESS, tid, -1);
}

}  // namespace

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
    result = window.StartupFailed() ? QDialog::Rejected : window.exec();
    window.Timer1().stop();
    Shutdown(net_, window.Config(), shutdown_);
  }
  return result;
}

}  // namespace plinth
