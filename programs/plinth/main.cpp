// plinth: the configuration tool's window. The command line is the path of
// a configuration file to load at start-up.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "net/net_state.h"
#include "net/traffic_log.h"
#include "ui/application_setup.h"
#include "ui/bootp_control.h"
#include "ui/configurator_app.h"
#include "ui/connect_control.h"
#include "ui/main_dialog.h"
#include "ui/net_scan_control.h"
#include "ui/plant_check_control.h"
#include "ui/qt_user_prompts.h"
#include "ui/traffic_window.h"

namespace {
// Built before anything else runs: the BOOTP tables start empty.
plinth::NetState netState;
}  // namespace

namespace {

const char kUsage[] =
    "Usage: plinth [FILE.bin]\n"
    "The window of the I/O bus configuration tool: edit the slave list of a master\n"
    "station and save it as a .bin configuration file.\n"
    "\n"
    "  FILE.bin   the configuration file to edit; OK writes it back (the arguments,\n"
    "             joined by blanks, are the path; a new file is created by OK)\n"
    "  --help     print this text and exit\n"
    "  --version  print the version and exit\n"
    "\n"
    "Without a display, use plinthctl (the same work on the command line), or\n"
    "bash scripts/start.sh in a source tree, which serves the window to a web browser.\n";

// Qt would abort with a message of its own when there is no display.
bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
    if (const char* value = std::getenv(name); value && *value) return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  // The command lines that are not a path: "--version" or "--help" alone (a
  // file of that name opens as ./--version). No display is needed for them.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("plinth %s\n", PLINTH_VERSION);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!HasDisplay()) {
    std::fputs("plinth: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are not set).\n"
               "Set DISPLAY to an X server (ssh -X does that), use plinthctl for the same work on the\n"
               "command line, or run bash scripts/start.sh in a source tree, which serves the window\n"
               "to a web browser.\n",
               stderr);
    return 1;
  }
  netState.bootp.Clear();
  QApplication app(argc, argv);
  plinth::ApplicationSetup setup(app);

  plinth::QtUserPrompts prompts;
  // The traffic log the network code reports to, shown by the traffic
  // window; kept to the end, as threads may still report while the program exits.
  plinth::SetTrafficLog(new plinth::TrafficLog);
  plinth::TrafficKeyFilter trafficKey(prompts);
  app.installEventFilter(&trafficKey);
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
