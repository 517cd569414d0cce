// The windows that reach the network, against loopback: BOOTP server and scan switched from the main window,
// "Connect to module" from a Slave Configuration dialog, the module status window and the I/O test.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <QProgressBar>
#include <QShowEvent>
#include <set>
#include "tests/support/bootp_test_support.h"
#include "tests/support/running_sim.h"
#include "tests/support/scan_test_support.h"
#include "ui/bootp_control.h"
#include "ui/connect_control.h"
#include "ui/io_test_dialog.h"
#include "ui/module_dialog.h"
#include "ui/net_scan_control.h"
#include "ui_fixture.h"

namespace plinth {
namespace {

using namespace std::chrono_literals;
using namespace testing;

// The rows that timer 1 makes of the BOOTP server's tables, the indicator, switching; the server's clock is `now`.
struct BootpWindow : MainFixture {
  BootpWindow() { window->TimerPeriod() = 20; }
  ~BootpWindow() { bootp->StopForShutdown(), WaitForBootpServer(net); }
  void Request(uint8_t mac, const char* ciaddr) {
    ASSERT_TRUE(module.Send(bootp->Server().BoundPort(), MakeBootpRequest(test::Mac(mac), 7, test::Ip(ciaddr))));
  }
  std::string Indicator() { return Text(*window, "bootpIndicatorEdit"); }
  test::LoopbackModule module;
  std::time_t now = 1000;
  BootpControl* bootp = new BootpControl(*window, test::LoopbackOptions(module.port), [this] { return now; });
};

TEST(BootpWindow, RoadOfAnUnknownModuleIndicatorSwitchingAndMessages) {
  BootpWindow f;
  f.Button("bootpButton")->click();
  ASSERT_TRUE(f.bootp->Server().WaitUntilBound(2s));
  // An unknown module asks: a tick makes a "bootp" row with its address.
  f.Request(7, "192.168.1.7");
  ASSERT_TRUE(RunUntil([&] { return f.window->RowCount() == 1; }));
  EXPECT_EQ(f.Cell(0, 1) + " " + f.Cell(0, 2) + " " + f.Cell(0, 3), "bootp 192.168.1.7 000a1b2c3d07");
  // Asking again adds no second row, and this time it is answered.
  f.Request(7, "192.168.1.7");
  ASSERT_TRUE(f.module.Receive(5s).has_value());  // the reply's bytes: the request tests
  ASSERT_TRUE(RunUntil([&] { return f.Cell(0, 1) == "assigned"; }));
  EXPECT_TRUE(f.window->Config().dataList.At(0)->bootpAssigned && f.window->RowCount() == 1 && f.prompts.shown.empty());
  f.now = 1012;  // the indicator's steps: the report tests
  ASSERT_TRUE(RunUntil([&] { return f.Indicator() == "<<< ? >>>"; }));
  // Off: the indicator goes, the thread waits for one more datagram; on again before it ended: it serves on.
  f.Button("bootpButton")->click();
  ASSERT_TRUE(RunUntil([&] { return f.Indicator().empty(); }));
  EXPECT_EQ(f.net.bootpStop.load() * 10 + f.net.bootpRunning.load(), 11);
  f.Button("bootpButton")->click();
  EXPECT_EQ(f.net.bootpStop.load() * 10 + f.bootp->Server().RunsStarted(), 1);
  f.Request(3, "10.0.0.3");
  ASSERT_TRUE(RunUntil([&] { return f.window->RowCount() == 2; }));
  // A receive that fails for good: its message, and the button goes off.
  const int fd = test::ServerSocket(f.bootp->Server().BoundPort());
  const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(dup2(devNull, fd), fd);
  close(devNull);
  f.Request(2, "0.0.0.0");
  ASSERT_TRUE(RunUntil([&] { return !f.Button("bootpButton")->isChecked(); }));
  EXPECT_TRUE(f.prompts.Messages() == Texts{"recvfrom() failed!"} && WaitForBootpServer(f.net));
  // The port is taken: "bind failed!" comes from the server thread.
  BootpServerOptions taken = test::LoopbackOptions(f.module.port);
  taken.serverPort = f.module.port;
  MainFixture g;
  auto* other = new BootpControl(*g.window, taken);
  g.Button("bootpButton")->click();
  EXPECT_TRUE(RunUntil([&] { return g.prompts.Messages() == Texts{"bind failed!"} && g.net.bootpRunning == 0; }));
  other->StopForShutdown();
}

// A field that names no network, rows found (but none with the node of another row), the field showing the host
// about to be tried, stop (keyboard) and resume from the field, and the two-stage Cancel while a probe waits on a
// module that never answers (up to 2 s), which keeps the window going and leaves the button up.
TEST(ScanWindow, FindsStopsResumesAndCancelsInTwoStages) {
  using test::ScanText;
  const uint16_t port = test::UnusedPort();
  test::RunningSim sim({test::ScanModule(4, 11, port, 1218), test::ScanModule(4, 12, port),
                        test::ScanModule(4, 14, port, 1217, FaultMode::kNeverAnswer)});
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  ScanLog seen;  // outlives the window, whose scanner reports to it
  MainFixture f({ScanText(4, 10)});
  f.window->TimerPeriod() = 20;
  f.window->Timer1().start(20);  // the field follows the cursor closely, so a resume starts from a host just tried
  new BootpControl(*f.window, ProgramBootpOptions());  // never switched on: its timer step shows the scan
  auto* scan = new NetScanControl(*f.window, {port, kConnectTimeoutMs, 10ms, 0}, &seen);
  QLineEdit* field = Edit(*f.window, "scanAddressEdit");
  field->setText("localhost");
  f.Button("scanButton")->click();
  QTest::qWait(100);  // timer 1 runs: the field is not rewritten
  EXPECT_TRUE(!f.Button("scanButton")->isChecked() && seen.Starts().empty() && field->text() == "localhost");
  EXPECT_EQ(f.prompts.Messages(),
            Texts{"IP-Address \"localhost\" cannot be read: the scan needs a dotted address such as 192.168.1.10."});
  f.prompts.shown.clear();
  field->setText(QString::fromStdString(ScanText(4, 10)));
  auto planned = std::make_unique<SlaveRecord>();  // node 12, no address yet
  planned->node = "12";
  f.window->RenderRow(f.window->Config().dataList.Append(std::move(planned)), nullptr);
  f.Button("scanButton")->click();
  ASSERT_TRUE(RunUntil([&] { return f.window->RowCount() == 2 && !f.prompts.shown.empty(); }));
  EXPECT_EQ(f.prompts.Messages(), Texts{"Module " + ScanText(4, 12) + " not added: node 12 is already used by another slave."});
  EXPECT_EQ(f.Cell(1, 2), ScanText(4, 11));
  ASSERT_TRUE(RunUntil([&] { return field->text().toStdString() != ScanText(4, 10); }));
  f.prompts.shown.clear();
  f.Button("scanButton")->setFocus();
  QTest::keyClick(f.Button("scanButton"), Qt::Key_Space);
  ASSERT_TRUE(scan->Scanner()->WaitUntilIdle(5s));
  const std::string shown = field->text().toStdString();
  const size_t before = seen.Starts().size();
  f.Button("scanButton")->click();
  ASSERT_TRUE(RunUntil([&] {
    const auto s = seen.Starts();
    return std::any_of(s.begin() + static_cast<long>(before), s.end(), [](auto& p) { return p.host == 14; });
  }));
  EXPECT_EQ(ScanText(4, seen.Starts()[before].host), shown);
  // (The resumed scan may have met node 12 again: only the message of Cancel counts here.)
  const auto stopped = [&] {
    const Texts m = f.prompts.Messages();
    return std::count(m.begin(), m.end(), "Net-Scan now stopped, hit CANCEL again for final exit.");
  };
  f.Button("cancelButton")->click();  // returns at once; the looks at the probes follow on the timer
  EXPECT_TRUE(scan->Scanner()->Stopped() && f.window->isVisible() && stopped() == 0);
  EXPECT_FALSE(f.Button("scanButton")->isChecked());
  ASSERT_TRUE(RunUntil([&] { return stopped() == 1; }));
  EXPECT_TRUE(f.window->isVisible() && !f.Button("scanButton")->isChecked());
  f.prompts.saveChoices = {UserPrompts::SaveChoice::kDiscard};  // the rows found are changes
  f.Button("cancelButton")->click();
  EXPECT_TRUE(!f.window->isVisible() && f.window->RowCount() == 2 && f.prompts.shown.back().kind == "save?");
}

const MacAddress kMac{0x00, 0x50, 0xc2, 0x00, 0x00, 0x21};

SimModuleConfig Sim(uint8_t host, uint16_t port, uint16_t id, int in = -1, int out = -1,
                    FaultMode fault = FaultMode::kNone) {
  SimModuleConfig c = test::OnLoopback(host, port);
  c.moduleId = id, c.inputWords = in, c.outputWords = out, c.changingInputs = false, c.flashFlag = false, c.mac = kMac;
  c.fault = fault;
  return c;
}

struct ConnectWindow : MainFixture {
  explicit ConnectWindow(std::string network = "127.0.0.", uint16_t port = test::UnusedPort())
      : MainFixture({network + "1"}), network(network), port(port) {
    window->TimerPeriod() = 20;
    watch.callOnTimeout([this] {  // watches the progress windows, cancels one on request
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* bar = modal ? modal->findChild<QProgressBar*>() : nullptr) {
        maxBar = std::max(maxBar, bar->value());
        const QCursor* cursor = QApplication::overrideCursor();
        if (cursor && cursor->shape() == Qt::WaitCursor) busy.insert(modal->windowTitle().toStdString());
        if (cancel == modal->windowTitle().toStdString()) Click(*modal, "cancelButton");
      }
    });
    watch.start(20);
    control->SetModuleDialogRunner([this](ModuleDialog& d) {
      modules.push_back(d.windowTitle().toStdString() + " " + Text(d, "moduleIdEdit") + " " +
                        Text(d, "outputWordsEdit") + " " + slave->record.name + " " + Cell(0, 1));
      return onModule ? onModule(d) : QDialog::Accepted;
    });
  }
  // Row `row` is edited: node and its address typed, edit(), "Connect to module", then OK if ok.
  SlaveRecord EditRow(int row, const std::string& node, std::function<void(SlaveConfigDialog&)> edit = {},
                      bool ok = false) {
    SlaveRecord after;
    AnswerSlaveDialogs([&](SlaveConfigDialog& d, SlaveConfigLogic& l) {
      slave = &l;
      Edit(d, "nodeEdit")->setText(QString::fromStdString(node));
      Edit(d, "ipEdit")->setText(QString::fromStdString(network + node));
      if (edit) edit(d);
      Click(d, "connectButton");
      if (ok && d.result() != QDialog::Accepted) Click(d, "okButton");
      accepted = d.result() == QDialog::Accepted, locked = l.moduleFieldsLocked, after = l.record;
    });
    window->DoubleClickRow(row);
    return after;
  }
  // The same on a new row without an address.
  SlaveRecord Connect(const char* node, const char* status = "unknown", uint32_t bootpAddress = 0,
                      std::function<void(SlaveConfigDialog&)> edit = {}) {
    auto r = std::make_unique<SlaveRecord>();
    r->node = node, r->status = status, r->bootpAddress = bootpAddress;
    if (r->status == "bootp") r->mac = kMac, r->mac[5] = static_cast<uint8_t>(ScanDecimal(node));
    const int row = window->Config().dataList.Append(std::move(r));
    window->RenderRow(row, nullptr);
    return EditRow(row, node, edit);
  }
  std::string network;
  uint16_t port;
  static SimModuleConfig OwnMac(SimModuleConfig c) {  // the MAC address a "bootp" row of its node has
    c.mac[5] = static_cast<uint8_t>(ntohl(c.address));
    return c;
  }
  test::RunningSim sim{{OwnMac(Sim(21, port, 1218)), OwnMac(Sim(23, port, 999, 3, 2)),
                        Sim(26, port, 1218, -1, -1, FaultMode::kNeverAnswer),
                        Sim(27, port, 1218, -1, -1, FaultMode::kWrongFunction)}};
  test::FullListener silent{ParseIpv4("127.0.0.25"), port};  // connects hang, as at a silent host
  ConnectControl* control = new ConnectControl(*window, port);
  QTimer watch;
  int maxBar = -1;
  std::string cancel;  // the title of a progress window to cancel
  std::function<int(ModuleDialog&)> onModule;
  Texts modules;  // "title ID output-words name status" of each module window as it opened
  SlaveConfigLogic* slave = nullptr;
  bool accepted = false, locked = false;
  std::set<std::string> busy;  // progress windows seen with the busy cursor
};

TEST(ConnectFlow, BranchesUpToTheModuleWindowAndWhatItFills) {
  ConnectWindow f;
  ASSERT_TRUE(f.sim.Opened()) << f.sim.Error();
  f.net.bootpRunning = 1;  // as if the BOOTP server served
  // "unknown": no registration, no wait. ID 1218 typed, Name empty.
  SlaveRecord r = f.Connect("21", "unknown", 0, [](auto& d) { Edit(d, "moduleIdEdit")->setText("1218"); });
  EXPECT_EQ(f.modules, Texts{"Slave IP-Addr: 127.0.0.21 1218 4 482-BFK-287-46 unknown"});  // named before it opened
  EXPECT_EQ(r.status + r.moduleId + r.name + r.inputWords + r.outputWords + r.paramWords + r.macAddress,
            "ok1218482-BFK-287-464440050c2000015");
  EXPECT_TRUE(f.locked && !f.accepted);
  r = f.Connect("23");  // an ID outside the catalogue
  EXPECT_EQ(r.name + "|" + r.paramWords + "|" + r.description, "|0|0050c2000017");
  // "bootp" rows registered without a wait: the address is already theirs, or the MAC text was emptied.
  f.Connect("21", "bootp", ParseIpv4("127.0.0.21"));
  f.Connect("23", "bootp", 0, [](auto& d) { Edit(d, "macEdit")->clear(); });
  EXPECT_TRUE(f.modules.size() == 4u && f.prompts.shown.empty());
  EXPECT_EQ(FormatIpv4(f.net.bootp.table[1].ipAddress) + " " + f.window->Config().dataList.At(3)->ipAddress,
            "127.0.0.23 127.0.0.23");
  f.Connect("x");   // "127.0.0.x"
  f.Connect("24");  // nothing listens: refused, the message at the first tick
  EXPECT_EQ(f.maxBar, 0);
  f.net.bootpRunning = 0;  // never switched on (or "bind failed!"): not serving, although not switched off
  f.Connect("23", "bootp");
  EXPECT_EQ(f.prompts.Messages(), (Texts{"cannot read ip-address!", "connect to module failed!",
                                        "Bootp-Server must be enabled to assign an ip-address"}));
  EXPECT_EQ(f.modules.size(), 4u);  // none of them reached the module window
  // The status block cannot be read: OK in the module window leaves the typed ID, the words and the lock alone.
  f.prompts.shown.clear();
  r = f.Connect("27", "unknown", 0, [](auto& d) { Edit(d, "moduleIdEdit")->setText("1218"); });
  EXPECT_EQ(r.moduleId + "|" + r.inputWords + "|" + std::to_string(f.locked) + "|" + std::to_string(f.modules.size()),
            "1218|0|0|5");
  EXPECT_EQ(f.prompts.Messages(), (Texts{"ReadNode STATUS_BLOCK failed!", "GetStatistics for MAC-Addr failed!"}));
  // A module that accepts and never answers: the reads show a progress window and a busy cursor, and Cancel ends
  // them (no module window, no message).
  f.prompts.shown.clear();
  f.cancel = "Reading module";
  f.Connect("26");
  EXPECT_TRUE(f.busy.count("Reading module") && f.modules.size() == 5u && f.prompts.shown.empty());
}

TEST(ConnectFlow, WaitsCancelledTheMarkArrivingResetAndASilentHost) {
  ConnectWindow f;
  test::LoopbackModule module;  // asks for an address as the module at node 21 does
  auto* bootp = new BootpControl(*f.window, test::LoopbackOptions(module.port));
  f.Button("bootpButton")->click();
  ASSERT_TRUE(bootp->Server().WaitUntilBound(2s));
  MacAddress mac21 = kMac;
  mac21[5] = 21;
  const auto ask = [&] { EXPECT_TRUE(module.Send(bootp->Server().BoundPort(), MakeBootpRequest(mac21, 7, 0))); };
  using Case = std::array<const char*, 3>;  // progress window, node, status
  for (Case c : {Case{"Waiting for ip assignment", "21", "bootp"}, Case{"Waiting for connection", "25", "unknown"}}) {
    f.cancel = c[0];
    f.Connect(c[1], c[2]);
  }
  EXPECT_TRUE(f.modules.empty() && f.prompts.shown.empty() && !f.accepted && f.sim.Module(0).RequestsAnswered() == 0);
  EXPECT_EQ(f.Cell(0, 2), "127.0.0.21");  // the row shows the address its record was given before the wait
  // The server answers while the wait is open: the row is marked although the dialog holds the list.
  f.cancel.clear();
  f.window->Config().dataList.Clear();
  f.window->ListModel()->RemoveAll();
  f.onModule = [](ModuleDialog& d) { return Click(d, "resetButton"), d.result(); };
  QTimer::singleShot(300, ask);
  f.prompts.answers = {true};  // asked first, naming the address
  SlaveRecord r = f.Connect("21", "bootp");
  ASSERT_TRUE(module.Receive(0ms).has_value());  // the reply that ended the wait
  EXPECT_EQ(f.Cell(0, 1), "bootp");  // back to BOOTP: the dialog ended with OK
  EXPECT_TRUE(f.modules.size() == 1u && f.accepted && !r.bootpAssigned);
  ASSERT_EQ(f.prompts.shown.size(), 1u);
  EXPECT_TRUE(f.prompts.shown[0].title == "Reset to BOOTP" &&
              f.prompts.shown[0].text.find("127.0.0.21 back to BOOTP?") != std::string::npos);
  f.prompts.shown.clear();
  EXPECT_TRUE(test::WaitUntil([&] { return !f.sim.Module(0).FlashFlag(); }));
  // The module asks again: drawing its row did not register its old address again, so there is no reply, and
  // its request makes no second row. Its withdrawn entry takes the next registration.
  EXPECT_EQ(f.net.bootp.table[0].ipAddress.load() | f.net.bootp.table[0].mac.load(), 0u);
  ask();
  EXPECT_FALSE(module.Receive(1s).has_value());
  EXPECT_TRUE(RunUntil([&] { return f.net.bootp.requests[0].reported == 1; }));
  EXPECT_EQ(f.window->RowCount(), 1);
  f.cancel = "Waiting for ip assignment";
  f.Connect("23", "bootp");
  EXPECT_EQ(FormatIpv4(f.net.bootp.table[0].ipAddress) + " " + FormatMac(UnpackMac(f.net.bootp.table[0].mac)),
            "127.0.0.23 0050c2000017");
  f.cancel.clear();
  f.Connect("25");  // the bar runs full, about 10 s
  EXPECT_EQ(f.maxBar, 80);
  EXPECT_EQ(f.prompts.Messages(), Texts{"connect to module failed!"});
}

TEST(ModuleWindow, FieldsIoTestAndFlash) {
  const uint16_t port = test::UnusedPort();
  SimModuleConfig c = Sim(31, port, 6115, 2, 24), silent = Sim(33, port, 1218);
  c.health = 0x00A5, c.errorCount = 3, silent.fault = FaultMode::kNeverAnswer;
  test::RunningSim sim({c, silent});
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  NetState net;
  ScriptedPrompts prompts;
  PromptMessages messages(prompts);
  int connection = sim.Connect(0);
  ModuleSession logic(connection, "127.0.0.31", net.bootp, messages);
  logic.Open();
  ModuleDialog dialog(logic, prompts);
  dialog.show();
  std::string shown = std::to_string(Edit(dialog, "timeoutEdit")->isVisible());
  for (const char* e : {"moduleId", "mac", "inputWords", "outputWords", "health", "lastError", "errorCount"})
    shown += " " + Text(dialog, e + std::string("Edit"));
  EXPECT_EQ(shown, "0 6115 0050c2000021 2 24 00A5 0000 3");
  // Seeding, word parsing and refused lists: the command-line io test; here the window's fields and message.
  Texts seen;
  auto outputs = [&] { return QApplication::processEvents(), sim.Module(0).Outputs(); };
  OnNextModal([&](QWidget* io) {
    for (int i = 1; i <= 8; ++i) seen.push_back(Text(*io, "outputEdit" + std::to_string(i)));
    EXPECT_TRUE(RunUntil([&] { return !Text(*io, "inputEdit2").empty(); }));  // the first cycle's inputs
    seen.push_back(Text(*io, "inputEdit2") + "|" + Text(*io, "inputEdit3"));  // two input words only
    // A cycle between selecting a field's text and typing over it leaves the selection alone.
    QLineEdit* first = Edit(*io, "outputEdit1");
    first->setFocus();
    first->selectAll();
    static_cast<TestIoDialog*>(io)->Cycle();
    QTest::keyClicks(first, "1234");
    seen.push_back(Text(*io, "outputEdit1"));
    Edit(*io, "outputEdit3")->setText("zz");
    Click(*io, "setOutputButton");
    Edit(*io, "outputEdit3")->setText("abcde");
    Click(*io, "setOutputButton");
    EXPECT_TRUE(test::WaitUntil([&] { return outputs()[2] == 0xABCD && outputs()[0] == 0x1234; }));
    Click(*io, "closeButton");
  });
  Click(dialog, "testIoButton");
  EXPECT_EQ(seen, (Texts{"8000", "8000", "0055", "0000", "0000", "0000", "0000", "0000", "1000|", "1234"}));
  EXPECT_EQ(prompts.shown, (std::vector<Shown>{{"message", "Output Word 3", "Please check your input string"}}));
  EXPECT_TRUE(dialog.isVisible());
  // "Reset to BOOTP" declined: nothing is sent and the window stays.
  prompts.shown.clear();
  Click(dialog, "resetButton");
  EXPECT_TRUE(prompts.shown.size() == 1u && prompts.shown[0].kind == "ask" && dialog.isVisible() && !logic.resetDone);
  // After "Flash IP Address" the first cycle fails and both windows close.
  prompts.shown.clear();
  Click(dialog, "flashButton");
  EXPECT_TRUE(test::WaitUntil([&] { return sim.Module(0).FlashFlag(); }));
  Click(dialog, "testIoButton");
  EXPECT_TRUE(prompts.Messages() == Texts(2, "Write to module failed!") && dialog.result() == QDialog::Rejected &&
              !dialog.isVisible());
  // A module that stops answering: the window goes on while the exchange waits for its bound, then fails, once:
  // no second cycle starts on the same connection meanwhile.
  prompts.shown.clear();
  test::SocketGuard hanging(sim.Connect(1));
  IoTestLogic io(hanging.fd, 1218, 1, 0, 4);
  TestIoDialog test(io, prompts);
  size_t shownDuring = 9;
  QTimer::singleShot(300, [&] {  // the window shown again (a restore) while the first exchange waits
    QShowEvent shown;
    QApplication::sendEvent(&test, &shown);
  });
  QTimer::singleShot(600, [&] { shownDuring = prompts.shown.size(); });  // in the middle of the first exchange
  EXPECT_EQ(test.exec(), QDialog::Rejected);
  EXPECT_TRUE(shownDuring == 0u && prompts.Messages() == Texts{"Write to module failed!"});
}

// The road of one module, run by tests/netns/connect_road_test.sh in its namespaces; skipped elsewhere.
TEST(ConnectRoad, FromItsBootpRequestToTheSavedFile) {
  const char* file = std::getenv("PLINTH_ROAD_FILE");
  if (!file) GTEST_SKIP() << "needs the namespaces of connect_road_test.sh";
  ConnectWindow f("10.77.0.", kModbusPort);
  auto* bootp = new BootpControl(*f.window, ProgramBootpOptions());
  f.Button("bootpButton")->click();
  ASSERT_TRUE(RunUntil([&] { return f.window->RowCount() == 1; }));  // the module asks every 300 ms
  EXPECT_EQ(f.Cell(0, 1) + " " + f.Cell(0, 3), "bootp 000a1b2c3d01");
  f.onModule = [](ModuleDialog& d) { return Click(d, "flashButton"), Click(d, "okButton"), d.result(); };
  f.EditRow(0, "50", {}, true);
  EXPECT_EQ(f.modules, Texts{"Slave IP-Addr: 10.77.0.50 1217 4  assigned"});  // marked while the dialog was open
  EXPECT_EQ(f.Cell(0, 1) + " " + f.Cell(0, 2) + " " + f.Cell(0, 4) + " " + f.Cell(0, 5),
            "ok 10.77.0.50 1217 482-BFK-263-05");
  f.prompts.files.push_back(std::string(file));
  f.window->accept();
  EXPECT_EQ(f.prompts.shown.size(), 1u);  // the save dialog, no message
  bootp->StopForShutdown();
  EXPECT_TRUE(WaitForBootpServer(f.net));
}

}  // namespace
}  // namespace plinth
