// plinth_screenshots DIR: draws the main window with a few slaves, the Slave
// Configuration, Module Selection, module status and Test I/O windows, and
// saves each as a PNG in DIR (main-window.png, slave-configuration.png,
// module-selection.png, module-status.png, test-io.png). The last two show a
// simulated module on loopback. Used by scripts/screenshots.sh for the
// documentation.
#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QThread>
#include <cstdio>
#include <thread>

#include "base/text_scan.h"
#include "net/net_state.h"
#include "net/tcp_connect.h"
#include "sim/sim_server.h"
#include "ui/io_test_dialog.h"
#include "ui/main_dialog.h"
#include "ui/module_dialog.h"
#include "ui/module_select_dialog.h"
#include "ui/qt_user_prompts.h"
#include "ui/resources.h"
#include "ui/slave_config_dialog.h"

namespace {

plinth::NetState netState;

void AddSlave(plinth::DataList& list, const char* node, const char* ip, const char* mac, const char* id,
              const char* status) {
  auto r = std::make_unique<plinth::SlaveRecord>();
  r->node = node;
  r->ipAddress = ip;
  r->macAddress = mac;
  r->moduleId = id;
  r->status = status;
  list.Append(std::move(r));
}

bool Save(QWidget& widget, const QDir& dir, const char* name) {
  widget.show();
  widget.raise();
  widget.activateWindow();
  for (int i = 0; i < 20; ++i) {
    QApplication::processEvents();
    QThread::msleep(20);
  }
  QString path = dir.filePath(QString::fromLatin1(name));
  bool ok = widget.grab().save(path);
  std::printf("%s %s\n", ok ? "wrote" : "could not write", path.toLocal8Bit().constData());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  plinth::LoadResources();
  QDir dir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
  dir.mkpath(QStringLiteral("."));

  netState.localAddrs = {plinth::ParseIpv4("192.168.1.10")};
  plinth::QtUserPrompts prompts;
  plinth::MainDialog window(netState, "", prompts);
  plinth::DataList& list = window.Config().dataList;
  AddSlave(list, "1", "192.168.1.1", "0002a1000b01", "1218", "ok");
  AddSlave(list, "2", "192.168.1.2", "0002a1000b02", "2", "assigned");
  AddSlave(list, "3", "192.168.1.3", "0002a1000b03", "704", "unknown");
  AddSlave(list, "4", "192.168.1.4", "", "8", "unknown");
  AddSlave(list, "5", "", "0002a1000c77", "", "bootp");
  window.Config().nextNode = 6;
  window.Initialise();
  window.Timer1().stop();
  bool ok = Save(window, dir, "main-window.png");

  plinth::SlaveConfigOwner owner{"192.168.1.10", 6, true, &list};
  plinth::SlaveConfigLogic logic(owner, 0, netState.usedNodes, prompts);
  plinth::CopyRecord(logic.record, *list.At(0));
  plinth::SlaveConfigDialog slave(logic, nullptr, prompts, &window);
  ok = Save(slave, dir, "slave-configuration.png") && ok;
  slave.hide();

  plinth::ModuleSelectDialog select(&window);
  ok = Save(select, dir, "module-selection.png") && ok;
  select.hide();

  // A module of ID 6115 on loopback for the module status and Test I/O windows.
  plinth::SimModuleConfig config;
  config.port = 0;
  config.moduleId = 6115;
  config.mac = {0x00, 0x02, 0xa1, 0x00, 0x0b, 0x01};
  plinth::SimServer sim;
  sim.AddModule(std::make_shared<plinth::SimModule>(config));
  std::string error;
  if (!sim.Open(error)) {
    std::printf("no simulated module: %s\n", error.c_str());
    return 1;
  }
  std::thread serving([&sim] { sim.Run(); });
  int connection = plinth::ConnectTcp(config.address, sim.Modules().front()->Port());
  plinth::PromptMessages messages(prompts);
  plinth::ModuleSession module(connection, "192.168.1.1", netState.bootp, messages);
  module.Open();
  plinth::ModuleDialog status(module, prompts);
  ok = Save(status, dir, "module-status.png") && ok;
  plinth::IoTestLogic io = module.MakeIoTest();
  plinth::TestIoDialog test(io, prompts, &status);
  ok = Save(test, dir, "test-io.png") && ok;
  test.hide();
  plinth::CloseSocket(connection);
  sim.RequestStop();
  serving.join();
  return ok ? 0 : 1;
}
