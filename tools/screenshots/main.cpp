// plinth_screenshots DIR: draws the main window with a few slaves, the Slave
// Configuration, Module Selection, plant check, module status, Test I/O and
// traffic windows, and saves each as a PNG in DIR (main-window.png,
// slave-configuration.png, module-selection.png, plant-check.png,
// module-status.png, test-io.png, traffic.png). The last four show simulated
// modules on loopback. Used by scripts/screenshots.sh for the documentation.
#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QThread>
#include <QTreeWidget>
#include <arpa/inet.h>
#include <sys/socket.h>

#include <cstdio>
#include <thread>

#include "base/text_scan.h"
#include "net/modbus_client.h"
#include "net/net_state.h"
#include "net/tcp_connect.h"
#include "net/traffic_log.h"
#include "sim/sim_server.h"
#include "ui/io_test_dialog.h"
#include "ui/main_dialog.h"
#include "ui/module_dialog.h"
#include "ui/module_select_dialog.h"
#include "ui/plant_check_window.h"
#include "ui/qt_user_prompts.h"
#include "ui/resources.h"
#include "ui/slave_config_dialog.h"
#include "ui/traffic_window.h"

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

// The plant check window after a check with a sweep of a small plant of
// simulated modules on 127.0.91.0/24 (loopback): a match, another module,
// one that refuses, an unhealthy one, another unit, a slave without an
// address, and a module in no row.
bool SavePlantCheck(const QDir& dir) {
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);  // a free port for every module
  sockaddr_in at{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t len = sizeof at;
  ::bind(probe, reinterpret_cast<sockaddr*>(&at), sizeof at);
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&at), &len);
  plinth::CloseSocket(probe);
  const uint16_t port = ntohs(at.sin_port);
  plinth::SimServer sim;
  auto module = [&](int host, uint16_t id, auto&& tweak) {
    plinth::SimModuleConfig config;
    config.address = plinth::ParseIpv4("127.0.91." + std::to_string(host));
    config.port = port;
    config.moduleId = id;
    config.mac = {0x00, 0x02, 0xa1, 0x00, 0x0b, static_cast<uint8_t>(host)};
    tweak(config);
    sim.AddModule(std::make_shared<plinth::SimModule>(config));
  };
  module(1, 1218, [](auto&) {});
  module(2, 704, [](auto&) {});
  module(3, 1218, [](auto&) {});
  module(5, 4578, [](auto& c) { c.health = 0x0001, c.lastError = 0x0010, c.errorCount = 3; });
  module(6, 2, [](auto& c) { c.mac[5] = 0x66; });
  module(20, 4578, [](auto&) {});
  std::string error;
  if (!sim.Open(error)) {
    std::printf("no simulated modules: %s\n", error.c_str());
    return false;
  }
  std::thread serving([&sim] { sim.Run(); });

  plinth::NetState net;
  net.localAddrs = {plinth::ParseIpv4("127.0.91.10")};
  plinth::QtUserPrompts prompts;
  plinth::MainDialog window(net, "/home/anna/plant/line1.bin", prompts);
  plinth::DataList& list = window.Config().dataList;
  AddSlave(list, "1", "127.0.91.1", "0002a1000b01", "1218", "ok");
  AddSlave(list, "2", "127.0.91.2", "0002a1000b02", "704", "ok");
  AddSlave(list, "3", "127.0.91.3", "0002a1000b03", "1217", "ok");
  AddSlave(list, "4", "127.0.91.4", "", "704", "unknown");
  AddSlave(list, "5", "127.0.91.5", "0002a1000b05", "4578", "ok");
  AddSlave(list, "6", "127.0.91.6", "0002a1000b06", "2", "ok");
  AddSlave(list, "7", "", "0002a1000c77", "", "bootp");
  window.Initialise();
  window.Timer1().stop();
  plinth::PlantCheckOptions options;
  options.port = port;
  options.sweep = true;
  plinth::PlantCheckWindow check(window, options, prompts, &window);
  check.show();
  check.StartCheck();
  for (int i = 0; i < 300 && check.Running(); ++i) {
    QApplication::processEvents();
    QThread::msleep(20);
  }
  check.Table()->topLevelItem(2)->setSelected(true);
  const bool ok = Save(check, dir, "plant-check.png");
  sim.RequestStop();
  serving.join();
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
  ok = SavePlantCheck(dir) && ok;

  // A module of ID 6115 on loopback for the module status and Test I/O
  // windows; what goes over the wire meanwhile fills the traffic window.
  plinth::TrafficLog traffic;
  plinth::SetTrafficLog(&traffic);
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
  io.Cycle(messages);
  // A register the module does not have (an exception reply), and a port
  // where nothing listens (a refused connect).
  uint16_t word = 0;
  plinth::ReadNode(connection, 1, &word, 0x1234, 1);
  plinth::CloseSocket(plinth::ConnectTcp(config.address, 1));
  plinth::TrafficWindow trafficWindow(&traffic, prompts);
  trafficWindow.resize(1100, 420);
  trafficWindow.Poll();
  ok = Save(trafficWindow, dir, "traffic.png") && ok;
  trafficWindow.hide();
  plinth::CloseSocket(connection);
  sim.RequestStop();
  serving.join();
  plinth::SetTrafficLog(nullptr);
  return ok ? 0 : 1;
}
