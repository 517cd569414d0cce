// The main window driven through its buttons, list and combo box, with
// every prompt answered by the test.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include "config/slave_record.h"
#include "core/config_fixtures.h"
#include "dialogs/advanced_dialog.h"
#include "ui/about_dialog.h"
#include "ui_fixture.h"

namespace plinth {
namespace {

using testing::MainFixture;
using testing::ScriptedPrompts;
using Shown = ScriptedPrompts::Shown;
using Texts = std::vector<std::string>;

void AddRows(MainFixture& f, std::vector<std::tuple<std::string, std::string, std::string>> rows) {
  for (auto& [node, ip, name] : rows) {
    int slot = f.window->Config().dataList.Append(testing::MakeSlave(node, "", ip, name, "", "0", "0", "0"));
    f.window->RenderRow(slot, nullptr);
  }
}

void Select(MainFixture& f, std::vector<int> rows) {
  auto* sel = f.window->ListView()->selectionModel();
  sel->clearSelection();
  for (int r : rows) sel->select(f.Model().index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

Texts Column(MainFixture& f, int column) {
  Texts texts;
  for (int r = 0; r < f.Model().Rows(); ++r) texts.push_back(f.Cell(r, column));
  return texts;
}

TEST(MainWindow, ControlsTitleAndAbout) {
  MainFixture f({"192.168.1.20", "10.0.0.5"});
  MainDialog& w = *f.window;
  EXPECT_EQ(w.windowTitle().toStdString(), " Varnel Plinth: New configuration");
  const std::pair<const char*, const char*> buttons[] = {
      {"addButton", "&Add"},   {"editButton", "&Edit"}, {"removeButton", "&Remove"},
      {"openButton", "&Open"}, {"saveButton", "&Save"}, {"okButton", "OK"},
      {"cancelButton", "Cancel"}, {"helpButton", "&Help"}, {"advancedButton", "A&dvanced..."},
      {"bootpButton", "Boot&P server"}, {"scanButton", "S&can bus"}};
  for (auto [name, label] : buttons) {
    ASSERT_TRUE(f.Button(name)) << name;
    EXPECT_EQ(f.Button(name)->text().toStdString(), label);
    EXPECT_TRUE(f.Button(name)->isVisible()) << name;
  }
  EXPECT_TRUE(f.Button("okButton")->isDefault());
  EXPECT_TRUE(f.Button("bootpButton")->isCheckable() && f.Button("scanButton")->isCheckable());
  Texts labels;
  for (QLabel* l : w.findChildren<QLabel*>())
    if (l->isVisible()) labels.push_back(l->text().toStdString());
  for (const char* l : {"Master IP-Address", "MAC-Addr", "IP-Address"})
    EXPECT_NE(std::find(labels.begin(), labels.end(), l), labels.end()) << l;
  EXPECT_TRUE(w.findChild<QWidget*>("saveUnknownCheck")->isHidden());

  Texts headings;
  for (int c = 0; c < 8; ++c) headings.push_back(f.Model().headerData(c, Qt::Horizontal, 0).toString().toStdString());
  EXPECT_EQ(headings, (Texts{"Node", "Status", "IP Address", "MAC Address", "ID", "Name", "I/O/P", "Description"}));
  EXPECT_EQ(w.ListView()->selectionMode(), QAbstractItemView::ExtendedSelection);

  // The About entry of the window's menu.
  QAction* about = w.findChild<QAction*>("aboutAction");
  ASSERT_TRUE(about);
  EXPECT_EQ(about->text().toStdString(), "&About Plinth");
  std::string aboutShown;
  testing::OnNextModal([&](QWidget* modal) {
    aboutShown = modal->windowTitle().toStdString() + "|" + modal->findChild<QLabel*>("versionLabel")->text().toStdString();
    static_cast<QDialog*>(modal)->accept();
  });
  about->trigger();
  EXPECT_EQ(aboutShown, "About Plinth|Plinth Version 2.0");
}

TEST(MainWindow, MasterAddressListFollowsTyping) {
  MainFixture f({"192.168.1.20", "10.0.0.5"});
  QComboBox* box = f.window->MasterIpBox();
  ASSERT_EQ(box->count(), 2);
  EXPECT_EQ(box->itemText(0).toStdString(), "10.0.0.5");  // sorted
  EXPECT_EQ(box->currentText().toStdString(), "192.168.1.20");  // the first address found
  QLineEdit* scan = f.window->findChild<QLineEdit*>("scanAddressEdit");
  EXPECT_EQ(scan->text().toStdString(), "192.168.1.20");

  auto followed = [&] { return f.window->MasterIpText() + " " + scan->text().toStdString() + " " + f.window->ScanAddressText(); };
  box->lineEdit()->clear();
  QTest::keyClicks(box->lineEdit(), "172.16.0.9");
  EXPECT_EQ(followed(), "172.16.0.9 172.16.0.9 172.16.0.9");
  box->setCurrentIndex(0);
  emit box->textActivated(box->itemText(0));
  EXPECT_EQ(followed(), "10.0.0.5 10.0.0.5 10.0.0.5");
}

TEST(MainWindow, AddProposesTheNextNodeAndNextNodeRules) {
  MainFixture f({"192.168.1.1"});
  // The rules themselves are the core's; here, that Add and Edit apply them.
  std::string proposed;
  f.AnswerSlaveDialogs([&](SlaveConfigDialog& d, SlaveConfigLogic&) {
    proposed = MainFixture::Edit(d, "nodeEdit")->text().toStdString() + " " +
               MainFixture::Edit(d, "ipEdit")->text().toStdString();
    d.findChild<QPushButton*>("cancelButton")->click();
  });
  f.Button("addButton")->click();
  EXPECT_EQ(proposed, "2 192.168.1.2");  // 1 is the master's own host number
  EXPECT_EQ(f.Model().Rows() + f.window->Config().dataList.Count(), 0);  // cancelled: nothing added

  f.AddThroughButton("20", "1218", "ignored");
  ASSERT_EQ(f.Model().Rows(), 1);
  EXPECT_EQ(f.Model().Row(0), (RowTexts{"20", "unknown", "192.168.1.20", "", "1218", "482-BFK-287-46", "4/4/4",
                                        "ANALOG-4CH RTD, THERMO INPUT"}));
  EXPECT_EQ(f.window->Config().nextNode, 21);
  f.AddThroughButton("10");
  EXPECT_EQ(f.window->Config().nextNode, 11);  // follows the node added, even downwards
  EXPECT_EQ(f.Cell(1, 6), "0/0/0");

  // Editing to a lower node never lowers nextNode.
  f.window->Config().nextNode = 21;
  Select(f, {1});
  f.AnswerSlaveDialogs([](SlaveConfigDialog& d, SlaveConfigLogic&) {
    MainFixture::Edit(d, "nodeEdit")->setText("12");
    d.findChild<QPushButton*>("okButton")->click();
  });
  f.Button("editButton")->click();
  EXPECT_EQ(f.Cell(1, 0) + " " + f.Cell(1, 2), "12 192.168.1.12");
  EXPECT_EQ(f.window->Config().nextNode, 21);
  EXPECT_TRUE(f.prompts.shown.empty());
}

TEST(MainWindow, AddToAFullListAndEditWithoutSelection) {
  MainFixture f;
  int runs = 0;
  f.window->SetSlaveDialogRunner([&](SlaveConfigLogic&) { return ++runs, false; });
  f.Button("editButton")->click();
  f.Button("removeButton")->click();
  for (int i = 0; i < DataList::kCapacity; ++i) f.window->Config().dataList.Append(std::make_unique<SlaveRecord>());
  f.Button("addButton")->click();
  EXPECT_EQ(f.prompts.shown, (std::vector<Shown>{{"message", "No item selected!", "Plinth"},
                                                 {"message", "No item selected!", "Plinth"},
                                                 {"message", "dataList full", "Plinth"}}));
  EXPECT_EQ(runs, 0);
}

TEST(MainWindow, EditAndRemoveSelectedRows) {
  MainFixture f;
  AddRows(f, {{"1", "192.168.1.11", "A"}, {"2", "192.168.1.12", ""}, {"3", "192.168.1.13", "C"}});
  std::vector<int> edited;
  f.window->SetSlaveDialogRunner([&](SlaveConfigLogic& logic) { return edited.push_back(logic.Slot()), false; });
  Select(f, {2, 0});
  f.Button("editButton")->click();
  EXPECT_EQ(edited, (std::vector<int>{0, 2}));

  // Each selected slave is offered once, from the bottom up.
  f.prompts.answers = {true, true};
  f.Button("removeButton")->click();
  EXPECT_EQ(f.prompts.shown, (std::vector<Shown>{{"ask", "3  192.168.1.13  C", "Delete Item?"},
                                                 {"ask", "1  192.168.1.11  A", "Delete Item?"}}));
  EXPECT_EQ(Column(f, 0), Texts{"2"});
  EXPECT_EQ(f.window->Config().dataList.Count(), 1);

  // An empty name leaves two trailing spaces; Cancel keeps the slave.
  f.prompts.Clear();
  Select(f, {0});
  f.Button("removeButton")->click();
  EXPECT_EQ(f.prompts.shown, (std::vector<Shown>{{"ask", "2  192.168.1.12  ", "Delete Item?"}}));
  EXPECT_EQ(f.Model().Rows(), 1);
  f.prompts.answers = {true};
  f.Button("removeButton")->click();
  EXPECT_EQ(f.Model().Rows(), 0);
  EXPECT_EQ(f.window->Config().dataList.At(0), nullptr);
  EXPECT_TRUE(f.net.slaveLock.IsFree());

  // A worker's row that arrives while the question is open stays in step
  // with its slot after the removal.
  AddRows(f, {{"1", "192.168.1.11", "A"}, {"2", "192.168.1.12", "B"}});
  Select(f, {0});
  f.prompts.answers = {true};
  f.prompts.whileAsking = [&] {
    RowChange found;
    found.record.node = "9";
    f.net.rowChanges.Post(found);
    f.window->DrainRowChanges();
  };
  f.Button("removeButton")->click();
  EXPECT_EQ(Column(f, 0), (Texts{"2", "9"}));
  EXPECT_EQ(f.window->Config().dataList.Count(), 2);
}

TEST(MainWindow, HeadingClickSortsAndBrokenRowsAreReported) {
  MainFixture f;
  AddRows(f, {{"10", "10.0.0.9", "x"}, {"2", "10.0.0.10", "y"}, {"7", "10.0.0.1", "z"}});
  QHeaderView* header = f.window->ListView()->header();
  auto clickHeading = [&](int column) {
    QPoint at(header->sectionViewportPosition(column) + 5, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
  };
  clickHeading(2);
  EXPECT_EQ(Column(f, 2), (Texts{"10.0.0.1", "10.0.0.10", "10.0.0.9"}));
  clickHeading(0);
  EXPECT_EQ(Column(f, 0), (Texts{"2", "7", "10"}));
  clickHeading(0);  // a second click sorts the same way again
  EXPECT_EQ(Column(f, 0), (Texts{"2", "7", "10"}));
  EXPECT_EQ(f.window->Config().dataList.At(0)->node, "2");  // slot i is row i

  // Broken invariants are reported and change nothing.
  f.window->RenderRow(5, nullptr);
  EXPECT_EQ(f.prompts.shown, (std::vector<Shown>{{"message", "internal error: itemCount unexpected!", "Plinth"}}));
  EXPECT_EQ(f.Model().Rows(), 3);
  f.prompts.Clear();
  f.window->RenderRow(3, nullptr);  // slot 3 is empty
  EXPECT_EQ(f.prompts.Messages(), Texts{"internal error: item undefined!"});

  MainFixture empty;
  empty.window->SortByColumn(1);
  EXPECT_EQ(empty.Model().Rows(), 0);
}

TEST(MainWindow, DoubleClickEditsTheRowUnderThePointerOrAdds) {
  MainFixture f;
  AddRows(f, {{"1", "192.168.1.11", "A"}});
  SlaveListView* view = f.window->ListView();
  EXPECT_EQ(view->DoubleClickTarget(view->viewport()->height() - 2), 0);  // one row: anywhere edits it
  AddRows(f, {{"2", "192.168.1.12", "B"}, {"3", "192.168.1.13", "C"}});
  QApplication::processEvents();

  std::vector<std::string> opened;
  f.window->SetSlaveDialogRunner([&](SlaveConfigLogic& logic) {
    EXPECT_FALSE(f.net.slaveLock.IsFree());
    opened.push_back(std::to_string(logic.Slot()) + ":" + logic.record.node);
    return false;
  });
  QRect second = view->visualRect(f.Model().index(1, 0));
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, second.center());
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, QPoint(5, view->viewport()->height() - 3));
  EXPECT_EQ(opened, (Texts{"1:2", "3:2"}));  // the second is a new slave below the last row
  EXPECT_EQ(f.Model().Rows(), 3);
  EXPECT_TRUE(f.net.slaveLock.IsFree());

  // The right button neither selects nor opens anything.
  Select(f, {0});
  QRect third = view->visualRect(f.Model().index(2, 0));
  QTest::mouseClick(view->viewport(), Qt::RightButton, {}, third.center());
  EXPECT_EQ(view->SelectedRows(), std::vector<int>{0});
}

TEST(MainWindow, SaveOpenAndOk) {
  testing::ScratchDir dir;
  std::string path = dir.File("plant.bin");
  {
    MainFixture f({"192.168.1.10"});
    f.Button("okButton")->click();  // save dialog cancelled: the window stays
    EXPECT_EQ(f.prompts.shown, (std::vector<Shown>{{"save", "", ""}}));
    EXPECT_TRUE(f.window->isVisible());

    AddRows(f, {{"1", "192.168.1.1", "A"}, {"2", "192.168.1.2", "B"}, {"3", "192.168.1.3", "C"}});
    f.prompts.files = {path};
    f.Button("saveButton")->click();
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(f.window->windowTitle().toStdString(), " Varnel Plinth: " + path);
    f.prompts.Clear();
    std::filesystem::remove(path);
    f.Button("saveButton")->click();  // the path is known: no dialog
    EXPECT_TRUE(f.prompts.shown.empty());
    EXPECT_TRUE(std::filesystem::exists(path));

    f.Button("openButton")->click();
    EXPECT_EQ(f.prompts.shown, (std::vector<Shown>{{"message", path, "Configuration not empty"}}));
    EXPECT_EQ(f.Model().Rows(), 3);
  }
  {
    MainFixture f({"192.168.1.10"});
    f.Button("openButton")->click();  // cancelled
    EXPECT_EQ(f.window->windowTitle().toStdString(), " Varnel Plinth: New configuration");
    f.prompts.files = {path};
    f.Button("openButton")->click();
    EXPECT_EQ(Column(f, 5), (Texts{"A", "B", "C"}));
    EXPECT_EQ(f.window->windowTitle().toStdString(), " Plinth: " + path);
    EXPECT_TRUE(f.net.slaveLock.IsFree());
  }
  {
    // A file without slaves leaves the title; a corrupted one also the path.
    Configuration empty;
    empty.master.masterIpText = "10.9.8.7";
    RecordedMessages quiet;
    std::string emptyPath = dir.File("empty.bin");
    ASSERT_TRUE(WriteConfiguration(emptyPath, empty, quiet));
    std::string badPath = dir.File("bad.bin");
    auto bytes = testing::ReadAll(path);
    bytes[bytes.size() / 2] ^= 0xFF;
    testing::WriteAll(badPath, bytes);

    MainFixture f({"192.168.1.10"});
    f.prompts.files = {emptyPath};
    f.Button("openButton")->click();
    EXPECT_EQ(f.window->windowTitle().toStdString(), " Varnel Plinth: New configuration");
    EXPECT_EQ(f.window->MasterIpText(), "10.9.8.7");  // the file's master address is put into the box

    MainFixture g({"192.168.1.10"});
    g.prompts.files = {badPath};
    g.Button("openButton")->click();
    EXPECT_EQ(g.Model().Rows(), 0);
    g.prompts.Clear();
    g.Button("okButton")->click();  // OK must not overwrite the file that failed
    EXPECT_EQ(g.prompts.shown, (std::vector<Shown>{{"save", "", ""}}));
    EXPECT_EQ(testing::ReadAll(badPath), bytes);
  }
  {
    // Enter in the master address box acts as the default button OK.
    auto before = testing::ReadAll(path);
    MainFixture f({"192.168.1.10"}, path);
    std::filesystem::remove(path);
    QApplication::setActiveWindow(f.window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(f.window.get()));
    f.window->MasterIpBox()->setFocus();
    QTest::keyClick(f.window->MasterIpBox()->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(f.window->result(), QDialog::Accepted);
    EXPECT_EQ(testing::ReadAll(path), before);
  }
}

class FakeScan : public ScanControl {
 public:
  bool Started() const override { return started; }
  void RequestStop() override { stopRequests++; }
  bool AnyBusy() const override { return busy; }
  void ClearBusy() override { busy = false; }
  bool started = false, busy = false;
  int stopRequests = 0;
};

TEST(MainWindow, CancelStopsARunningScanFirst) {
  MainFixture f;
  FakeScan scan;
  f.window->SetScanControl(&scan);
  scan.started = scan.busy = true;
  f.Button("cancelButton")->click();
  EXPECT_EQ(f.prompts.shown,
            (std::vector<Shown>{{"message", "Net-Scan now stopped, hit CANCEL again for final exit.", "Plinth"}}));
  EXPECT_TRUE(f.window->isVisible());
  EXPECT_EQ(scan.stopRequests, 1);
  f.Button("cancelButton")->click();
  EXPECT_FALSE(f.window->isVisible());
  EXPECT_EQ(f.window->result(), QDialog::Rejected);

  // No scan ever started; Enter on the focused Cancel button is Cancel, not OK.
  MainFixture g;
  QTest::keyClick(g.Button("cancelButton"), Qt::Key_Return);
  EXPECT_FALSE(g.window->isVisible());
  EXPECT_EQ(g.window->result(), QDialog::Rejected);
  EXPECT_TRUE(g.prompts.shown.empty());
}

TEST(MainWindow, AdvancedSettingsRoundTrip) {
  MainFixture f;
  f.window->Config().master.advancedSettings = (1u << 14) | (1u << 13) | 5;
  std::string opened;
  const char* lastButton = "okButton";
  f.window->SetAdvancedRunner([&](AdvancedValues& values) {
    AdvancedDialog d(values, f.prompts, f.window.get());
    QLineEdit* burst = MainFixture::Edit(d, "burstEdit");
    opened = d.windowTitle().toStdString() + "|" + burst->text().toStdString() + "|" +
             std::to_string(d.findChild<QCheckBox*>("oneCycleCheck")->isChecked()) +
             std::to_string(d.findChild<QCheckBox*>("fillDummyCheck")->isHidden());
    burst->setText("abc");
    d.findChild<QPushButton*>("okButton")->click();
    if (d.result() == QDialog::Accepted) return true;  // must not happen: "abc" is no number
    burst->setText("7");
    d.findChild<QCheckBox*>("oneCycleCheck")->setChecked(false);
    d.findChild<QPushButton*>(lastButton)->click();
    return d.result() == QDialog::Accepted;
  });
  f.Button("advancedButton")->click();
  EXPECT_EQ(opened, "Advanced settings|5|11");
  EXPECT_EQ(f.prompts.Messages(), Texts{"Please enter an integer."});
  EXPECT_EQ(f.window->Config().master.advancedSettings, (1u << 14) | 7);  // the hidden flag kept
  lastButton = "cancelButton";
  f.window->Config().master.advancedSettings = 3;
  f.Button("advancedButton")->click();
  EXPECT_EQ(f.window->Config().master.advancedSettings, 3);
}

TEST(MainWindow, WorkerResultsWaitForCommandsAndTimerHooksRun) {
  MainFixture f;
  AddRows(f, {{"1", "192.168.1.11", "A"}});
  f.window->Config().dataList.At(0)->mac = {2, 0, 0, 0, 0, 1};
  RowChange append;
  append.kind = RowChange::Kind::UpsertByIp;
  append.record.ipAddress = "192.168.1.50", append.record.node = "50", append.record.status = "ok";
  RowChange mark;
  mark.kind = RowChange::Kind::MarkAssigned;
  mark.record.mac = {2, 0, 0, 0, 0, 1};

  std::string statusDuringDialog;
  int rowsDuringDialog = -1;
  f.AnswerSlaveDialogs([&](SlaveConfigDialog& d, SlaveConfigLogic&) {
    std::thread worker([&] {
      f.net.rowChanges.Post(append);
      f.net.rowChanges.Post(mark);
    });
    worker.join();
    QApplication::processEvents();
    rowsDuringDialog = f.Model().Rows();
    statusDuringDialog = f.Cell(0, 1);
    MainFixture::Edit(d, "nodeEdit")->setText("5");
    d.findChild<QPushButton*>("okButton")->click();
  });
  f.Button("addButton")->click();
  EXPECT_EQ(rowsDuringDialog, 1);  // the scan's row waited for the dialog
  EXPECT_EQ(statusDuringDialog, "assigned");  // the mark did not
  EXPECT_EQ(Column(f, 0), (Texts{"1", "5", "50"}));  // the new slave first, then the waiting row
  EXPECT_EQ(f.net.rowChanges.Pending(), 0u);

  int ticks = 0;
  f.window->AddTimerHandler([&] { ++ticks; });
  QSignalSpy scan(f.window.get(), &MainDialog::ScanToggled);
  f.window->ScanButton()->setFocus();
  QTest::keyClick(f.window->ScanButton(), Qt::Key_Space);  // the keyboard switches it too
  f.Button("scanButton")->click();
  ASSERT_EQ(scan.count(), 2);
  EXPECT_TRUE(scan[0][0].toBool() && !scan[1][0].toBool());
  QTest::qWait(700);
  EXPECT_GE(ticks, 1);
  EXPECT_LE(ticks, 3);
}


TEST(MainWindow, FileMasterAddressKeepsItselfAgainstLongerListEntries) {
  testing::ScratchDir dir;
  const std::string path = dir.File("master.bin");
  Configuration file;
  file.master.masterIpText = "192.168.1.1";
  RecordedMessages quiet;
  ASSERT_TRUE(WriteConfiguration(path, file, quiet));
  for (const std::vector<std::string>& local :
       {std::vector<std::string>{"192.168.1.10"}, std::vector<std::string>{"192.168.1.10", "192.168.1.1"}}) {
    MainFixture f(local, path);
    EXPECT_EQ(f.window->MasterIpText(), "192.168.1.1") << local.size() << " local addresses";
    f.Button("okButton")->click();
    Configuration back;
    ASSERT_TRUE(ReadConfiguration(path, back, quiet).ok);
    EXPECT_EQ(back.master.masterIpText, "192.168.1.1");
  }
}

}  // namespace
}  // namespace plinth
