// "Connect to module" from a Slave Configuration dialog of the window, the
// module status window and the I/O test, against plinth-sim modules on
// 127.0.0.x with a test port.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProgressBar>
#include <QTest>

#include "dialogs/module_dialog.h"
#include "modbus/running_sim.h"
#include "ui/bootp_control.h"
#include "ui/connect_control.h"
#include "ui_fixture.h"

namespace plinth {
namespace {

using Texts = std::vector<std::string>;
const MacAddress kMac{0x00, 0x50, 0xc2, 0x00, 0x00, 0x21};

bool RunUntil(const std::function<bool()>& done, int limitMs = 15000) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < limitMs) QApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

SimModuleConfig Sim(uint8_t host, uint16_t port, uint16_t id, int in = -1, int out = -1) {
  SimModuleConfig c = test::OnLoopback(host, port);
  c.moduleId = id, c.inputWords = in, c.outputWords = out, c.changingInputs = false, c.flashFlag = false;
  c.mac = kMac;
  return c;
}

// A port on 127.0.0.25 whose full queue lets connects hang, as a silent host does.
struct SilentHost {
  explicit SilentHost(uint16_t port) {
    sockaddr_in at{AF_INET, htons(port), {ParseIpv4("127.0.0.25")}, {}};
    ::bind(listener.fd, reinterpret_cast<sockaddr*>(&at), sizeof at);
    ::listen(listener.fd, 0);
    for (auto& f : fill) ConnectSocket(f.fd, at.sin_addr.s_addr, port, 0);
  }
  test::SocketGuard listener{::socket(AF_INET, SOCK_STREAM, 0)};
  test::SocketGuard fill[2] = {test::SocketGuard(OpenTcpSocket()), test::SocketGuard(OpenTcpSocket())};
};

struct ConnectWindow : testing::MainFixture {
  ConnectWindow() : MainFixture({"127.0.0.1"}) {
    window->TimerPeriod() = 20;
    watch.callOnTimeout([this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* bar = modal ? modal->findChild<QProgressBar*>() : nullptr) {
        maxBar = std::max(maxBar, bar->value());
        if (cancel == modal->windowTitle().toStdString()) modal->findChild<QPushButton*>("cancelButton")->click();
      }
    });
    watch.start(20);
    control->SetModuleDialogRunner([this](ModuleDialog& d) {
      modules.push_back(Edit(d, "moduleIdEdit")->text().toStdString() + " " + d.windowTitle().toStdString() + " " +
                        slave->record.name);
      return onModule ? onModule(d) : QDialog::Accepted;
    });
  }
  // A row made of r is edited: the address typed (a "bootp" row has none),
  // edit(), "Connect to module". Returns the working record afterwards.
  SlaveRecord Connect(SlaveRecord r, std::function<void(SlaveConfigDialog&)> edit = {}) {
    const QString ip = QString::fromStdString(r.ipAddress);
    if (r.status == "bootp") r.ipAddress.clear();
    int row = window->Config().dataList.Append(std::make_unique<SlaveRecord>(std::move(r)));
    window->RenderRow(row, nullptr);
    SlaveRecord after;
    AnswerSlaveDialogs([&](SlaveConfigDialog& d, SlaveConfigLogic& l) {
      slave = &l;
      Edit(d, "ipEdit")->setText(ip);
      if (edit) edit(d);
      d.findChild<QPushButton*>("connectButton")->click();
      accepted = d.result() == QDialog::Accepted;
      locked = l.moduleFieldsLocked;
      after = l.record;
    });
    window->DoubleClickRow(row);
    return after;
  }

  uint16_t port = test::UnusedPort();
  test::RunningSim sim{{Sim(21, port, 1218), Sim(23, port, 999, 3, 2)}};
  SilentHost silent{port};
  ConnectControl* control = new ConnectControl(*window, port);
  QTimer watch;
  int maxBar = -1;
  std::string cancel;  // the title of a progress window to cancel
  std::function<int(ModuleDialog&)> onModule;
  Texts modules;  // "ID title name" of each module window, as it opened
  SlaveConfigLogic* slave = nullptr;
  bool accepted = false, locked = false;
};

SlaveRecord Row(const char* node, const char* status = "unknown", uint32_t bootpAddress = 0) {
  SlaveRecord r;
  r.node = node, r.ipAddress = std::string("127.0.0.") + node, r.status = status;
  r.bootpAddress = bootpAddress;
  if (r.status == "bootp") r.mac = kMac, r.mac[5] = static_cast<uint8_t>(ScanDecimal(node));
  return r;
}

TEST(ConnectFlow, BranchesUpToTheModuleWindowAndWhatItFills) {
  ConnectWindow f;
  ASSERT_TRUE(f.sim.Opened()) << f.sim.Error();
  // "unknown": no registration, no wait. ID 1218 typed, Name empty.
  SlaveRecord r = f.Connect(Row("21"), [](SlaveConfigDialog& d) { testing::MainFixture::Edit(d, "moduleIdEdit")->setText("1218"); });
  EXPECT_EQ(f.modules, Texts{"1218 Slave IP-Addr: 127.0.0.21 482-BFK-287-46"});  // named before it opened
  EXPECT_EQ(r.status + r.moduleId + r.name + r.inputWords + r.outputWords + r.paramWords + r.macAddress,
            "ok1218482-BFK-287-464440050c2000021");
  EXPECT_TRUE(f.locked && !f.accepted);
  r = f.Connect(Row("23"));  // an ID outside the catalogue
  EXPECT_EQ(r.name + "|" + r.paramWords + "|" + r.description, "|0|0050c2000021");

  // "bootp" rows registered without a wait: the address is already theirs,
  // or the MAC text was emptied.
  f.Connect(Row("21", "bootp", ParseIpv4("127.0.0.21")));
  f.Connect(Row("23", "bootp"), [](SlaveConfigDialog& d) { testing::MainFixture::Edit(d, "macEdit")->clear(); });
  EXPECT_EQ(f.modules.size(), 4u);
  EXPECT_EQ(FormatIpv4(f.net.bootp.table[1].ipAddress) + " " + f.window->Config().dataList.At(3)->ipAddress,
            "127.0.0.23 127.0.0.23");
  EXPECT_EQ(UnpackMac(f.net.bootp.table[1].mac)[5], 23);
  EXPECT_TRUE(f.prompts.shown.empty());

  f.Connect(Row("x"));  // auto IP makes "127.0.0.x"
  f.Connect(Row("24"));  // nothing listens: refused at once
  EXPECT_EQ(f.maxBar, 0);
  f.net.bootpStop = 1;
  f.Connect(Row("23", "bootp"));
  EXPECT_EQ(f.prompts.Messages(), (Texts{"cannot read ip-address!", "connect to module failed!",
                                        "Bootp-Server must be enabled to assign an ip-address"}));
  EXPECT_EQ(f.modules.size(), 4u);
}

TEST(ConnectFlow, AssignmentWaitCancelMarkAndResetToBootp) {
  ConnectWindow f;
  new BootpControl(*f.window, BootpServerOptions{});  // its timer step marks rows; the server stays off
  f.cancel = "Waiting for ip assignment";
  f.Connect(Row("21", "bootp"));
  EXPECT_TRUE(f.modules.empty() && f.prompts.shown.empty() && !f.accepted);
  EXPECT_EQ(f.sim.Module(0).RequestsAnswered(), 0);

  // The server answers while the wait is open: the row is marked at once
  // although the dialog holds the list, and the module window opens.
  f.cancel.clear();
  f.window->Config().dataList.Remove(0);
  f.onModule = [&](ModuleDialog& d) {
    d.findChild<QPushButton*>("resetButton")->click();
    return d.result();
  };
  QTimer::singleShot(300, [&] { f.net.bootp.table[0].assigned = 1; });
  SlaveRecord r = f.Connect(Row("21", "bootp"));
  EXPECT_EQ(f.modules.size(), 1u);
  EXPECT_EQ(f.Cell(0, 1), "bootp");  // back to BOOTP: the dialog ended with OK
  EXPECT_TRUE(f.accepted && !r.bootpAssigned);
  EXPECT_TRUE(test::WaitUntil([&] { return !f.sim.Module(0).FlashFlag(); }));
  EXPECT_TRUE(f.prompts.shown.empty());
}

TEST(ConnectFlow, SilentAddressCancelledAndTimedOut) {
  ConnectWindow f;
  f.cancel = "Waiting for connection";
  f.Connect(Row("25"));
  EXPECT_TRUE(f.prompts.shown.empty() && f.modules.empty());
  f.cancel.clear();
  f.Connect(Row("25"));  // the bar runs full, about 10 s
  EXPECT_EQ(f.maxBar, 80);
  EXPECT_EQ(f.prompts.Messages(), Texts{"connect to module failed!"});
}

TEST(ModuleWindow, FieldsIoTestAndFlash) {
  const uint16_t port = test::UnusedPort();
  SimModuleConfig c = Sim(31, port, 6115, 2, 24);
  c.health = 0x00A5, c.errorCount = 3;
  SimModuleConfig closing = Sim(32, port, 1218);
  closing.fault = FaultMode::kCloseOnAccept;
  test::RunningSim sim({c, closing});
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  NetState net;
  testing::ScriptedPrompts prompts;
  PromptMessages messages(prompts);

  int failing = sim.Connect(1);
  ModuleDialogLogic broken(failing, "127.0.0.32", net.bootp, messages);
  broken.Open();
  EXPECT_EQ(prompts.Messages(), (Texts{"ReadNode STATUS_BLOCK failed!", "GetStatistics for MAC-Addr failed!"}));
  EXPECT_FALSE(broken.commandsEnabled);
  CloseSocket(failing);
  prompts.Clear();

  int connection = sim.Connect(0);
  ModuleDialogLogic logic(connection, "127.0.0.31", net.bootp, messages);
  logic.Open();
  ModuleDialog dialog(logic, net, prompts);
  dialog.show();
  Texts shown;
  for (const char* e : {"moduleIdEdit", "macEdit", "inputWordsEdit", "outputWordsEdit", "healthEdit", "lastErrorEdit",
                        "errorCountEdit"})
    shown.push_back(testing::MainFixture::Edit(dialog, e)->text().toStdString());
  EXPECT_EQ(shown, (Texts{"6115", "0050c2000021", "2", "24", "00A5", "0000", "3"}));
  EXPECT_FALSE(testing::MainFixture::Edit(dialog, "timeoutEdit")->isVisible());

  auto out = [](QWidget* io, int i) { return testing::MainFixture::Edit(*io, ("outputEdit" + std::to_string(i)).c_str()); };
  std::vector<uint16_t> seeded(24, 0);
  seeded[0] = seeded[1] = 0x8000, seeded[2] = 0x0055;
  Texts seen;
  testing::OnNextModal([&](QWidget* io) {
    for (int i = 1; i <= 8; ++i) seen.push_back(out(io, i)->text().toStdString());
    EXPECT_TRUE(RunUntil([&] { return sim.Module(0).Outputs() == seeded; }));
    EXPECT_EQ(testing::MainFixture::Edit(*io, "inputEdit2")->text().toStdString() +
                  testing::MainFixture::Edit(*io, "inputEdit3")->text().toStdString(), "1000");
    out(io, 1)->setText("1234"), out(io, 3)->setText("zz");
    io->findChild<QPushButton*>("setOutputButton")->click();
    QTest::qWait(300);
    EXPECT_EQ(sim.Module(0).Outputs(), seeded);  // nothing changed, not even word 1
    out(io, 3)->setText("abcde");
    io->findChild<QPushButton*>("setOutputButton")->click();
    EXPECT_TRUE(RunUntil([&] { return sim.Module(0).Outputs()[2] == 0xABCD && sim.Module(0).Outputs()[0] == 0x1234; }));
    io->findChild<QPushButton*>("closeButton")->click();
  });
  dialog.findChild<QPushButton*>("testIoButton")->click();
  EXPECT_EQ(seen, (Texts{"8000", "8000", "0055", "0000", "0000", "0000", "0000", "0000"}));
  EXPECT_EQ(prompts.shown, (std::vector<testing::ScriptedPrompts::Shown>{
                               {"message", "Output Word 3", "Please check your input string"}}));
  EXPECT_TRUE(dialog.isVisible());

  // After "Flash IP Address" the first cycle fails and both windows close.
  prompts.Clear();
  dialog.findChild<QPushButton*>("flashButton")->click();
  EXPECT_TRUE(test::WaitUntil([&] { return sim.Module(0).FlashFlag(); }));
  dialog.findChild<QPushButton*>("testIoButton")->click();
  EXPECT_EQ(prompts.Messages(), (Texts{"Write to module failed!", "Write to module failed!"}));
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_FALSE(dialog.isVisible());
}

}  // namespace
}  // namespace plinth
