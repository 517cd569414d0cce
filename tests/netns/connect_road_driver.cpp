// connect_road_driver OUT.bin: the window (headless) as a user drives it
// through the road of one module, inside the configurator's namespace: BOOTP
// server on, the "bootp" row edited, node 50 and 10.77.0.50 typed, "Connect
// to module", "Flash IP Address", OK, OK, and OK in the main window saves
// OUT.bin. It prints what the user saw; connect_road_test.sh checks it.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

#include "app/configurator_app.h"
#include "app/net_state.h"
#include "config/text_scan.h"
#include "ui/bootp_control.h"
#include "ui/connect_control.h"
#include "ui/main_dialog.h"
#include "ui/scripted_prompts.h"
#include "ui/slave_list_model.h"

using namespace plinth;

namespace {

std::string Text(QWidget* w, const char* name) { return w->findChild<QLineEdit*>(name)->text().toStdString(); }
void Click(QWidget* w, const char* name) {
  QMetaObject::invokeMethod(w->findChild<QPushButton*>(name), &QPushButton::click, Qt::QueuedConnection);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication qt(argc, argv);
  NetState net;
  testing::ScriptedPrompts prompts;
  prompts.files.push_back(argc > 1 ? argv[1] : "road.bin");
  ConfiguratorApp app(net, prompts);
  app.SetHostCollector([](NetState& n, Messages&) {
    n.hostName = "road";
    n.localAddrs = {ParseIpv4("10.77.0.1")};
    return true;
  });
  BootpControl* bootp = nullptr;
  QTimer user;
  int step = 0;
  app.SetOnMainWindow([&](MainDialog& window) {
    bootp = new BootpControl(window, ProgramBootpOptions());
    new ConnectControl(window);
    window.BootpButton()->click();
    // Every 50 ms the user looks at the window in front and takes the next step.
    user.callOnTimeout([&window, &step] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal == &window) modal = nullptr;  // the main window runs modally too
      const std::string name = modal ? modal->objectName().toStdString() : "";
      const auto row = [&] { return window.ListModel()->Row(0); };
      if (step == 0 && !modal && window.RowCount() == 1 && row()[1] == "bootp") {
        std::printf("row %s %s\n", row()[1].c_str(), row()[3].c_str());
        QMetaObject::invokeMethod(&window, [&window] { window.DoubleClickRow(0); }, Qt::QueuedConnection);
        ++step;
      } else if (step == 1 && name == "slaveConfigDialog") {
        modal->findChild<QLineEdit*>("nodeEdit")->setText("50");
        modal->findChild<QLineEdit*>("ipEdit")->setText("10.77.0.50");
        Click(modal, "connectButton");
        ++step;
      } else if (step == 2 && name == "moduleDialog") {
        std::printf("module %s %s %s %s %s\n", Text(modal, "moduleIdEdit").c_str(), Text(modal, "inputWordsEdit").c_str(),
                    Text(modal, "outputWordsEdit").c_str(), Text(modal, "macEdit").c_str(),
                    modal->windowTitle().toStdString().c_str());
        Click(modal, "flashButton");
        ++step;
      } else if (step == 3 && name == "moduleDialog") {
        Click(modal, "okButton");
        ++step;
      } else if (step == 4 && name == "slaveConfigDialog") {
        std::printf("slave %s %s %s %s %s %s, row %s\n", Text(modal, "moduleIdEdit").c_str(), Text(modal, "nameEdit").c_str(),
                    Text(modal, "inputEdit").c_str(), Text(modal, "outputEdit").c_str(), Text(modal, "macEdit").c_str(),
                    Text(modal, "ipEdit").c_str(), row()[1].c_str());
        Click(modal, "okButton");
        ++step;
      } else if (step == 5 && !modal) {
        std::printf("row %s %s\n", row()[1].c_str(), row()[2].c_str());
        QMetaObject::invokeMethod(&window, &MainDialog::accept, Qt::QueuedConnection);
        ++step;
      }
      std::fflush(stdout);
    });
    user.start(50);
    QTimer::singleShot(60000, [&] {
      std::printf("FAIL: stuck at step %d, server %d\n", step, net.bootpRunning.load());
      for (const auto& s : prompts.shown) std::printf("%s: %s\n", s.kind.c_str(), s.text.c_str());
      std::fflush(stdout);
      std::_Exit(1);
    });
  });
  app.ShutdownOptions().stopBootpServer = [&bootp] {
    if (bootp) bootp->StopForShutdown();
  };
  app.ShutdownOptions().pause = std::chrono::milliseconds(0);
  app.Run("");
  for (const auto& s : prompts.shown) std::printf("%s: %s\n", s.kind.c_str(), s.text.c_str());
  return step == 6 && prompts.shown.size() == 1 ? 0 : 1;  // only the save dialog
}
