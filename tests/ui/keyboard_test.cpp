// What a newcomer meets first: the list's keys, the question about unsaved work, a normal top-level main window
// that fits the screen, fields named for screen readers, tab order, and F1 on every window.
#include <gtest/gtest.h>
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QScreen>
#include <set>
#include "config/config_reader.h"
#include "tests/support/config_fixtures.h"
#include "ui/about_dialog.h"
#include "ui/application_setup.h"
#include "ui/help_window.h"
#include "ui/io_test_dialog.h"
#include "ui/module_dialog.h"
#include "ui/module_select_dialog.h"
#include "ui_fixture.h"

namespace plinth {
namespace {

using namespace testing;
using Choice = UserPrompts::SaveChoice;

void Key(QWidget* to, int key, Qt::KeyboardModifiers mods = {}) { QTest::keyClick(to, Qt::Key(key), mods); }

// Every input field has a name of its own for screen readers (a combo box's name is its text on Linux: its
// label comes by the label relation); tab visits the named widgets in the given order.
void ExpectNamedFieldsAndTabOrder(QWidget& window, const Texts& order) {
  std::set<QString> names;
  int fields = 0;
  for (QWidget* w : window.findChildren<QWidget*>()) {
    const bool combo = qobject_cast<QComboBox*>(w);
    if (w->isHidden() || !(combo || (qobject_cast<QLineEdit*>(w) && !qobject_cast<QComboBox*>(w->parent())))) continue;
    QAccessibleInterface* field = QAccessible::queryAccessibleInterface(w);
    const auto labels = field->relations(QAccessible::Label);
    names.insert((combo && !labels.isEmpty() ? labels.first().first : field)->text(QAccessible::Name));
    ++fields;
  }
  EXPECT_TRUE(fields == static_cast<int>(names.size()) && !names.count(QString())) << window.objectName().toStdString();
  Texts visited;  // once around the focus chain
  QWidget* first = window.findChild<QWidget*>(QString::fromStdString(order[0]));
  QWidget* w = first;
  do {
    if (std::find(order.begin(), order.end(), w->objectName().toStdString()) != order.end())
      visited.push_back(w->objectName().toStdString());
  } while ((w = w->nextInFocusChain()) != first);
  EXPECT_EQ(visited, order);
}

bool WithinScreen(QWidget& w) { return w.screen()->availableGeometry().contains(w.frameGeometry()); }

TEST(MainWindow, ListKeysRunTheCommandsEnterElsewherePressesOk) {
  testing::ScratchDir dir;
  MainFixture f;
  f.window->RenderRow(f.window->Config().dataList.Append(MakeSlave("4", "", "192.168.1.4", "A")), nullptr);
  Texts opened;
  f.window->SetSlaveDialogRunner([&](SlaveConfigLogic& l) {
    return opened.push_back(std::to_string(l.Slot())), false;
  });
  SlaveListView* list = f.window->ListView();
  QApplication::setActiveWindow(f.window.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(f.window.get()));
  list->setFocus();
  list->setCurrentIndex(f.Model().index(0, 0));
  for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_F2, Qt::Key_Insert}) Key(list, key);
  EXPECT_EQ(opened, (Texts{"0", "0", "0", "1"}));  // Insert adds: a new slot, given up on Cancel
  Key(list, Qt::Key_Delete);
  EXPECT_EQ(f.prompts.shown, (std::vector<Shown>{{"ask", "4  192.168.1.4  A", "Delete Item?"}}));  // kept
  EXPECT_TRUE(f.window->isVisible() && f.window->RowCount() == 1);
  // Ctrl+S saves where Save is offered; with a file named at start it is not.
  f.prompts.files = {dir.File("keys.bin")};
  Key(list, Qt::Key_S, Qt::ControlModifier);
  EXPECT_TRUE(std::filesystem::exists(dir.File("keys.bin")) && f.window->isVisible());
  MainFixture g({"192.168.1.1"}, dir.File("named.bin"));
  QApplication::setActiveWindow(g.window.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(g.window.get()));
  Key(g.window->ListView(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_TRUE(!std::filesystem::exists(dir.File("named.bin")) && g.prompts.shown.empty());
  // Enter on a field still presses OK, which writes the named file and ends.
  Key(Edit(*g.window, "scanAddressEdit"), Qt::Key_Return);
  EXPECT_TRUE(std::filesystem::exists(dir.File("named.bin")) && g.window->result() == QDialog::Accepted);
}

TEST(MainWindow, ClosingWithUnsavedChangesAsksToSaveDiscardOrGoBack) {
  testing::ScratchDir dir;
  const std::string path = dir.File("plant.bin");
  auto question = [](MainFixture& f) { return f.prompts.shown.empty() ? std::string() : f.prompts.shown.back().kind; };
  {  // Without changes Escape ends at once; adding and removing the same slave is no change.
    MainFixture f;
    f.AddThroughButton("5");
    f.window->ListView()->setCurrentIndex(f.Model().index(0, 0));
    f.prompts.answers = {true};
    f.Button("removeButton")->click();
    Key(f.window.get(), Qt::Key_Escape);
    EXPECT_TRUE(!f.window->isVisible() && question(f) == "ask");
  }
  MainFixture f;
  f.AddThroughButton("5");
  for (auto close : std::initializer_list<std::function<void()>>{
           [&] { Key(f.window.get(), Qt::Key_Escape); }, [&] { f.Button("cancelButton")->click(); },
           [&] { f.window->close(); }}) {
    f.prompts.shown.clear();
    close();  // Cancel on the question: back to the window
    EXPECT_EQ(f.prompts.shown, (std::vector<Shown>{{"save?", kUnsavedChangesQuestion, "Plinth"}}));
    EXPECT_TRUE(f.window->isVisible());
  }
  // Save: the save dialog cancelled keeps the window; then the file is written and the window ends.
  f.prompts.saveChoices = {Choice::kSave, Choice::kSave};
  f.Button("cancelButton")->click();
  EXPECT_TRUE(f.window->isVisible() && f.prompts.shown.back().kind == "save");
  f.prompts.files = {path};
  f.Button("cancelButton")->click();
  Configuration back;
  RecordedMessages none;
  EXPECT_TRUE(!f.window->isVisible() && ReadConfiguration(path, back, none).ok && back.dataList.Count() == 1);
  // Loaded from that file: a changed master address counts; Discard ends without writing.
  const auto written = ReadAll(path);
  MainFixture g({"192.168.1.1"}, path);
  EXPECT_FALSE(g.window->HasUnsavedChanges());
  g.window->MasterIpBox()->setEditText("192.168.1.99");
  g.prompts.saveChoices = {Choice::kDiscard};
  g.Button("cancelButton")->click();
  EXPECT_TRUE(!g.window->isVisible() && question(g) == "save?" && ReadAll(path) == written);
  // Another feature may mark the list changed; a save clears the mark.
  MainFixture h;
  h.window->Changes().MarkChanged();
  EXPECT_TRUE(h.window->HasUnsavedChanges());
  h.prompts.files = {dir.File("h.bin")};
  h.Button("saveButton")->click();
  Key(h.window.get(), Qt::Key_Escape);
  EXPECT_TRUE(!h.window->isVisible() && question(h) == "save");
}

TEST(MainWindow, ANormalTopLevelWindowWithinTheScreenWithNamedFieldsInReadingOrder) {
  MainFixture f;
  EXPECT_TRUE(f.window->windowType() == Qt::Window && f.window->windowFlags().testFlags(Qt::WindowMinMaxButtonsHint));
  EXPECT_EQ(QGuiApplication::desktopFileName().toStdString(), kDesktopFileName);
  bool modalWhileRunning = true;
  QTimer::singleShot(0, [&] {
    modalWhileRunning = f.window->isModal() || QApplication::activeModalWidget();
    f.window->reject();
  });
  EXPECT_EQ(f.window->Run(), QDialog::Rejected);
  EXPECT_FALSE(modalWhileRunning);
  f.window->show();
  EXPECT_TRUE(WithinScreen(*f.window)) << f.window->frameGeometry().width();  // 1120 wide; the screen has 800
  ExpectNamedFieldsAndTabOrder(*f.window, {"slaveList", "masterIpCombo", "scanAddressEdit", "addButton", "helpButton"});
  SlaveConfigLogic::UsedNodes used{};
  SlaveConfigLogic logic({"192.168.1.10", 3, true, nullptr}, -1, used, f.prompts);
  SlaveConfigDialog slave(logic, "OFF", f.prompts);
  IoTestLogic io(-1, 1218, 1, 8, 8);
  TestIoDialog test(io, f.prompts);
  auto* about = new AboutDialog(f.window.get());
  for (QDialog* d : std::initializer_list<QDialog*>{&slave, new ModuleSelectDialog(f.window.get()), about}) {
    d->show();
    EXPECT_TRUE(WithinScreen(*d)) << d->objectName().toStdString();
  }
  ExpectNamedFieldsAndTabOrder(slave, {"nodeEdit", "moduleIdEdit", "moduleSelectionButton", "paramEdit", "okButton",
                                       "connectButton"});
  ExpectNamedFieldsAndTabOrder(test, {"inputEdit1", "inputEdit8", "outputEdit1", "outputEdit8", "setOutputButton"});
  EXPECT_EQ(QAccessible::queryAccessibleInterface(Edit(test, "outputEdit2"))->text(QAccessible::Name), "Output word 2");
  EXPECT_TRUE(about->findChild<QLabel*>("licenceLabel")->text().contains("GPL-3.0-or-later"));  // names the licence
}

TEST(Help, F1OnEveryWindowAndOnTheServiceControlsHasAPage) {
  std::vector<int> opened;
  SetHelpHandler([&](int topic) { opened.push_back(topic); });
  MainFixture f;
  QApplication::setActiveWindow(f.window.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(f.window.get()));
  for (const char* control : {"slaveList", "bootpButton", "bootpIndicatorEdit", "scanButton", "scanAddressEdit"}) {
    f.window->findChild<QWidget*>(control)->setFocus();
    Key(f.window.get(), Qt::Key_F1);
  }
  int connection = -1;
  PromptMessages messages(f.prompts);
  ModuleSession session(connection, "192.168.1.7", f.net.bootp, messages);
  ModuleDialog module(session, f.prompts);
  IoTestLogic io(-1, 1218, 1, 0, 4);
  TestIoDialog test(io, f.prompts);
  ModuleSelectDialog select(f.window.get());
  for (QWidget* w : std::initializer_list<QWidget*>{&module, &test, &select}) opened.push_back(HelpTopicOf(w));
  SetHelpHandler(nullptr);
  EXPECT_EQ(opened, (std::vector<int>{kHelpMainWindow, kHelpBootpServer, kHelpBootpServer, kHelpNetworkScan,
                                      kHelpNetworkScan, kHelpModuleStatus, kHelpTestIo, kHelpModuleSelection}));
  // Each page is there and covers its subject.
  using Page = std::pair<int, const char*>;
  for (auto [topic, text] : {Page{kHelpModuleStatus, "Flash IP Address"}, Page{kHelpModuleStatus, "Reset to BOOTP"},
                             Page{kHelpTestIo, "Set Output"}, Page{kHelpModuleSelection, "catalogue"},
                             Page{kHelpBootpServer, "BOOTP"}, Page{kHelpNetworkScan, "502"},
                             Page{kHelpPlantCheck, "Take found values"}, Page{kHelpTraffic, ".pcap"}}) {
    QFile page(HelpPage(topic).mid(3));  // "qrc:/help/..." as a resource path
    ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << topic;
    EXPECT_TRUE(page.readAll().contains(text)) << topic << " " << text;
  }
}

}  // namespace
}  // namespace plinth
