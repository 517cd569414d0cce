// The Slave Configuration, Module Selection and wait windows, help, and the whole program.
#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QTextBrowser>
#include "net/host_addresses.h"
#include "tests/support/config_fixtures.h"
#include "ui/advanced_dialog.h"
#include "ui/configurator_app.h"
#include "ui/module_select_dialog.h"
#include "ui/wait_dialogs.h"
#include "ui_fixture.h"

namespace plinth {
namespace {

using namespace testing;

struct SlaveDialogFixture {
  SlaveDialogFixture(const char* node, const char* ip, const char* mode = nullptr) {
    logic.record.node = node, logic.record.ipAddress = ip;
    dialog = std::make_unique<SlaveConfigDialog>(logic, mode, prompts);
    dialog->show();
    QApplication::setActiveWindow(dialog.get());
    EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
  }
  QLineEdit* Edit(const char* name) { return testing::Edit(*dialog, name); }
  std::string Text(const char* name) { return testing::Text(*dialog, name); }
  QPushButton* Button(const char* name) { return dialog->findChild<QPushButton*>(name); }
  // Moves the focus from one control to another as Tab or a click would.
  void MoveFocus(const char* from, QWidget* to) {
    Edit(from)->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    to->setFocus(Qt::TabFocusReason);
    QApplication::processEvents(), QApplication::processEvents();
  }
  DataList list;
  SlaveConfigLogic::UsedNodes used{};
  ScriptedPrompts prompts;
  SlaveConfigLogic logic{SlaveConfigOwner{"192.168.1.10", 3, true, &list}, -1, used, prompts};
  std::unique_ptr<SlaveConfigDialog> dialog;
};

TEST(SlaveConfigDialog, FieldChecksModuleSelectionAutoIpBoxAndConnect) {
  SlaveDialogFixture f("7", "192.168.1.7");
  EXPECT_TRUE(f.dialog->findChild<QCheckBox*>("autoIpCheck")->isHidden() && !f.Edit("ipEdit")->isEnabled());
  // Leaving a field checks it, unless the focus goes to Cancel.
  f.Edit("nodeEdit")->setText("300");
  f.MoveFocus("nodeEdit", f.Button("cancelButton"));
  EXPECT_TRUE(f.prompts.shown.empty());
  f.MoveFocus("nodeEdit", f.Edit("macEdit"));
  EXPECT_EQ(f.prompts.Messages(), Texts{"Slave node range is 1..254"});
  EXPECT_TRUE(f.Edit("nodeEdit")->hasFocus());
  f.Edit("nodeEdit")->setText("9");
  f.MoveFocus("nodeEdit", f.Edit("macEdit"));
  EXPECT_TRUE(f.prompts.shown.size() == 1u && f.Text("ipEdit") == "192.168.1.9");
  // A known module fills and locks its fields when the Module ID field is left.
  f.Edit("moduleIdEdit")->setText("1218");
  f.MoveFocus("moduleIdEdit", f.Edit("macEdit"));
  EXPECT_TRUE(f.Text("nameEdit") == "482-BFK-287-46" && !f.Edit("paramEdit")->isEnabled());
  EXPECT_EQ(f.prompts.shown.size(), 1u);  // no message of its own
  // Without a module ID, Module Selection opens on the second entry; the chosen module locks its fields.
  SlaveDialogFixture g("8", "", "OFF");
  std::string opened;
  OnNextModal([&](QWidget* modal) {
    opened = modal->findChild<QListWidget*>("moduleList")->currentItem()->text().toStdString();
    static_cast<QDialog*>(modal)->accept();
  });
  g.Button("moduleSelectionButton")->click();
  EXPECT_EQ(opened + " " + g.Text("moduleIdEdit") + " " + g.Text("inputEdit"), "482-BFK-263-05 1217 16");
  EXPECT_FALSE(g.Edit("inputEdit")->isEnabled());
  // Connect to module needs an address (its flow: the connect tests); ticking the shown, unchecked box derives one.
  g.Button("connectButton")->click();
  EXPECT_TRUE(g.prompts.Messages() == Texts{"Must have an ip-address to make a connection"} && g.dialog->isVisible());
  QCheckBox* box = g.dialog->findChild<QCheckBox*>("autoIpCheck");
  EXPECT_TRUE(!box->isHidden() && !box->isChecked() && g.Edit("ipEdit")->isEnabled());
  box->click();
  EXPECT_TRUE(g.Text("ipEdit") == "192.168.1.8" && !g.Edit("ipEdit")->isEnabled());
  // The selection window on its own: a sorted list, and only a selection ends with OK.
  ModuleSelectDialog select;
  select.show();
  QListWidget* list = select.List();
  ASSERT_EQ(list->count(), 26);
  for (int i = 1; i < list->count(); ++i) EXPECT_LT(list->item(i - 1)->text(), list->item(i)->text());
  list->clearSelection();
  select.accept();
  EXPECT_EQ(select.result(), QDialog::Rejected);  // nothing selected ends as Cancel
  list->setCurrentRow(25);
  select.accept();
  EXPECT_TRUE(select.result() == QDialog::Accepted && select.SelectedModuleId() == 24u);
}

TEST(WaitDialogs, TimeUpEndsTheConnectionWaitWithOkTheAssignmentWaitWithout) {
  // (Cancel, the worker done and the mark arriving: the connect flow's tests.)
  auto runOut = [](WaitProgress p) {  // the position where time ran out, and the result
    std::optional<int> result;
    while (!(result = p.Tick())) continue;
    return std::to_string(p.Position()) + " " + std::to_string(*result);
  };
  std::atomic<uint8_t> connecting{1}, connected{0};
  EXPECT_EQ(runOut(ConnectProgress(connecting, connected)), "80 1");
  EXPECT_EQ(runOut(AssignProgress([] { return false; })), "160 0");
}

// The application object as main() runs it, with the test's prompts; atStart runs on the window once it shows.
struct Program {
  explicit Program(std::function<void(MainDialog&)> atStart) {
    app.ShutdownOptions().pause = std::chrono::milliseconds(0);
    app.SetOnMainWindow([atStart](MainDialog& w) { QTimer::singleShot(0, &w, [&w, atStart] { atStart(w); }); });
  }
  NetState net;
  ScriptedPrompts prompts;
  ConfiguratorApp app{net, prompts};
};

TEST(WholeProgram, StartsWithAFileOkWritesItBackUnlessItFailedToLoadStartUpMessagesShow) {
  EXPECT_EQ(ConfigPathFromArguments({"plinth", "my", "plant.bin"}), "my plant.bin");
  testing::ScratchDir dir;
  const std::string path = dir.File("plant one.bin");
  Configuration config;
  config.master.masterIpText = "192.168.7.10";
  config.master.advancedSettings = (1u << 13) | 12;
  config.dataList.Append(testing::MakeSlave("2", "99", "192.168.7.2", "own", "own module", "3", "2", "1"));
  config.dataList.Append(testing::MakeSlave("3", "704", "192.168.7.3", "", "", "0", "0", "0", "0002a1000b03"));
  RecordedMessages quiet;
  for (int i = 0; i < config.dataList.Count(); ++i) RenderRecord(*config.dataList.At(i), nullptr, nullptr, quiet);
  ASSERT_TRUE(WriteConfiguration(path, config, quiet));
  const std::vector<uint8_t> written = testing::ReadAll(path);
  std::vector<RowTexts> rows;
  std::string title;
  Program p([&](MainDialog& window) {
    for (int r = 0; r < window.ListModel()->Rows(); ++r) rows.push_back(window.ListModel()->Row(r));
    title = window.windowTitle().toStdString();
    for (const char* b : {"openButton", "saveButton"}) EXPECT_TRUE(window.findChild<QPushButton*>(b)->isHidden()) << b;
    std::filesystem::remove(path);
    Click(window, "okButton");
  });
  EXPECT_EQ(p.app.Run(ConfigPathFromArguments({QStringLiteral("plinth"), QString::fromStdString(path)})),
            QDialog::Accepted);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (RowTexts{"2", "unknown", "192.168.7.2", "", "99", "own", "3/2/1", "own module"}));
  EXPECT_EQ(rows[1][3] + " " + rows[1][5] + title, "0002a1000b03 482-BFK-216-05 Varnel Plinth: " + path);
  EXPECT_TRUE(testing::ReadAll(path) == written && p.net.bootpStop.load() == 1);

  // A damaged file: a new configuration, and OK asks where to save it.
  std::vector<uint8_t> bytes = testing::EmptyExample();
  bytes[40] ^= 1;
  testing::WriteAll(path, bytes);
  Program q([&](MainDialog& window) {
    title = window.windowTitle().toStdString();
    Click(window, "okButton");  // save dialog, cancelled
    Click(window, "cancelButton");
  });
  EXPECT_EQ(q.app.Run(path), QDialog::Rejected);
  EXPECT_EQ(title, " Varnel Plinth: New configuration");
  EXPECT_EQ(q.prompts.shown, (std::vector<Shown>{{"message", "checksum error", path}, {"save", "", ""}}));
  EXPECT_EQ(testing::ReadAll(path), bytes);
  // A path that names no file yet is a new configuration: OK creates it.
  Program r([](MainDialog& window) { Click(window, "okButton"); });
  EXPECT_EQ(r.app.Run(dir.File("new.bin")), QDialog::Accepted);
  EXPECT_TRUE(r.prompts.shown.empty() && testing::ReadAll(dir.File("new.bin")).size() == bytes.size());
  // The host collector's messages show at start-up; without a host name the window ends at once.
  int masterEntries = -1;
  Program s([&](MainDialog& window) {
    masterEntries = window.MasterIpBox()->count();
    Click(window, "cancelButton");
  });
  s.app.SetHostCollector([](NetState& n, Messages& m) {
    n.localAddrs = MergeLocalAddresses(std::nullopt, {}, m);
    return true;
  });
  EXPECT_EQ(s.app.Run(""), QDialog::Rejected);
  EXPECT_EQ(masterEntries, 0);
  EXPECT_EQ(s.prompts.shown, (std::vector<Shown>{{"message", "No ip-addr list configured!", "Plinth"}}));
  bool ran = false;
  Program failing([&](MainDialog&) { ran = true; });
  failing.app.SetHostCollector([](NetState&, Messages&) { return false; });
  EXPECT_EQ(failing.app.Run(""), QDialog::Rejected);
  QApplication::processEvents();
  EXPECT_TRUE(!ran && failing.net.bootpStop.load() == 1);
}

TEST(Help, UsableWhileEachWindowRunsModally) {
  // Each window runs in its own modal loop, as in the program. F1 opens its page, and the help takes keys and
  // clicks: the page's first link, Escape (which closes the help and nothing else), then the window's Help
  // button opens its page again and the help's Close button closes it.
  MainFixture f;
  SlaveDialogFixture slave("7", "192.168.1.7");
  AdvancedValues values;
  AdvancedDialog advanced(values, f.prompts, f.window.get());
  using Case = std::tuple<QDialog*, const char*, std::string>;  // window, a text of its page, what the help did
  for (auto [window, text, expected] :
       {Case{f.window.get(), "The main window", "10020.html 10022.html esc 10020.html close"},
        Case{slave.dialog.get(), "Slave configuration", "10021.html 10020.html esc 10021.html close"},
        Case{&advanced, "Burst count", "10022.html 10020.html esc 10022.html close"}}) {
    std::string seen;
    QTimer::singleShot(0, [&seen, window = window, text = text] {
      QTest::keyClick(window->windowHandle(), Qt::Key_F1);
      for (QWidget* help : QApplication::topLevelWidgets()) {
        if (help->objectName() != QLatin1String("helpWindow") || !help->isVisible()) continue;
        auto* browser = help->findChild<QTextBrowser*>("helpBrowser");
        seen = browser->source().fileName().toStdString();
        if (!browser->toPlainText().contains(QLatin1String(text))) seen += " without its text";
        browser->setFocus();
        QTest::keyClick(help->windowHandle(), Qt::Key_Tab);
        QTest::keyClick(help->windowHandle(), Qt::Key_Return);
        seen += " " + browser->source().fileName().toStdString();
        QTest::keyClick(help->windowHandle(), Qt::Key_Escape);
        if (!help->isVisible() && window->isVisible()) seen += " esc";
        Click(*window, "helpButton");
        seen += " " + browser->source().fileName().toStdString();
        QPushButton* close = help->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Close);
        QTest::mouseClick(help->windowHandle(), Qt::LeftButton, {}, close->mapTo(help, close->rect().center()));
        if (!help->isVisible()) seen += " close";
      }
      window->reject();
    });
    window->hide();  // exec() makes only a window it shows itself modal
    window->exec();
    EXPECT_EQ(seen, expected);
  }
}

}  // namespace
}  // namespace plinth
