// plinth: the configuration tool's window. The command line is the path of
// a configuration file to load at start-up.
#include <QApplication>
#include <cstdio>
#include <cstring>

#include "net/net_state.h"
#include "ui/bootp_control.h"
#include "ui/configurator_app.h"
#include "ui/connect_control.h"
#include "ui/help_window.h"
#include "ui/main_dialog.h"
#include "ui/net_scan_control.h"
#include "ui/plant_check_control.h"
#include "ui/qt_user_prompts.h"
#include "ui/resources.h"

namespace {
// Built before anything else runs: the BOOTP tables start empty.
plinth::NetState netState;
}  // namespace

int main(int argc, char** argv) {
  // The one command line that is not a path: "--version" alone (a file of
  // that name opens as ./--version). No display is needed for it.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("plinth %s\n", PLINTH_VERSION);
    return 0;
  }
  netState.bootp.Clear();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(plinth::kAppName));
  plinth::LoadResources();
  plinth::HelpKeyFilter helpKey;
  app.installEventFilter(&helpKey);

  plinth::QtUserPrompts prompts;
  plinth::ConfiguratorApp plinthApp(netState, prompts);
  // The BOOTP server, the network scan and the plant check live with the main window
  // (children of it).
  plinth::BootpControl* bootp = nullptr;
  plinthApp.SetOnMainWindow([&prompts, &bootp](plinth::MainDialog& window) {
    prompts.SetParent(&window);
    bootp = new plinth::BootpControl(window, plinth::ProgramBootpOptions());
    new plinth::NetScanControl(window);
    new plinth::ConnectControl(window);
    new plinth::PlantCheckControl(window);
  });
  plinthApp.ShutdownOptions().stopBootpServer = [&bootp] {
    if (bootp) bootp->StopForShutdown();
  };
  plinthApp.Run(plinth::ConfigPathFromArguments(QApplication::arguments()));
  return 0;
}
