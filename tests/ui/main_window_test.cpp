// The main window driven through its buttons, list and combo box, with every prompt answered by the test.
#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include "tests/support/config_fixtures.h"
#include "ui/advanced_dialog.h"
#include "ui_fixture.h"

namespace plinth {
namespace {

using namespace testing;

void AddRows(MainFixture& f, std::vector<std::tuple<std::string, std::string, std::string>> rows) {
  for (auto& [node, ip, name] : rows)
    f.window->RenderRow(f.window->Config().dataList.Append(testing::MakeSlave(node, "", ip, name)), nullptr);
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

TEST(MainWindow, AddEditAndRemove) {
  MainFixture f({"192.168.1.1"});
  f.AnswerSlaveDialogs([](SlaveConfigDialog& d, SlaveConfigLogic&) { Click(d, "cancelButton"); });
  f.Button("addButton")->click();
  f.AddThroughButton("20", "1218");
  ASSERT_EQ(f.Model().Rows(), 1);  // and nothing added on cancel
  EXPECT_EQ(f.Model().Row(0), (RowTexts{"20", "unknown", "192.168.1.20", "", "1218", "482-BFK-287-46", "4/4/4",
                                        "ANALOG-4CH RTD, THERMO INPUT"}));
  EXPECT_EQ(f.window->Config().nextNode, 21);
  f.AddThroughButton("10");
  EXPECT_EQ(f.window->Config().nextNode, 11);
  f.window->Config().nextNode = 21;  // editing leaves it alone
  Select(f, {1});
  f.AnswerSlaveDialogs([](SlaveConfigDialog& d, SlaveConfigLogic&) {
    Edit(d, "nodeEdit")->setText("12"), Click(d, "okButton");
  });
  f.Button("editButton")->click();
  EXPECT_EQ(f.Cell(1, 0) + " " + f.Cell(1, 2) + " " + std::to_string(f.window->Config().nextNode) +
                std::to_string(f.prompts.shown.size()), "12 192.168.1.12 210");

  // Each selected slave is edited, and offered for removal from the bottom up.
  AddRows(f, {{"3", "192.168.1.13", "C"}});
  std::vector<int> edited;
  f.window->SetSlaveDialogRunner([&](SlaveConfigLogic& logic) { return edited.push_back(logic.Slot()), false; });
  Select(f, {2, 0});
  f.Button("editButton")->click();
  EXPECT_EQ(edited, (std::vector<int>{0, 2}));
  f.prompts.answers = {false, true};  // the first kept
  f.Button("removeButton")->click();
  EXPECT_EQ(f.prompts.shown, (std::vector<Shown>{{"ask", "3  192.168.1.13  C", "Delete Item?"},
                                                 {"ask", "20  192.168.1.20  482-BFK-287-46", "Delete Item?"}}));
  EXPECT_TRUE(Column(f, 0) == (Texts{"12", "3"}) && f.window->Config().dataList.Count() == 2);
  // A worker's row that arrives while the question is open stays in step with its slot after the removal.
  Select(f, {0});
  f.prompts.answers = {true};
  RowChange found;
  found.record.node = "9";
  f.prompts.whileAsking = [&] { f.net.rowChanges.Post(found), f.window->DrainRowChanges(); };
  f.Button("removeButton")->click();
  EXPECT_TRUE(Column(f, 0) == (Texts{"3", "9"}) && f.window->Config().dataList.Count() == 2);
  EXPECT_TRUE(f.net.slaveLock.IsFree());
  // Without a selection, and with a full list.
  f.prompts.shown.clear();
  Select(f, {});
  f.Button("editButton")->click();
  f.Button("removeButton")->click();
  while (!f.window->Config().dataList.Full()) f.window->Config().dataList.Append(std::make_unique<SlaveRecord>());
  f.Button("addButton")->click();
  EXPECT_EQ(f.prompts.Messages(), (Texts{"No item selected!", "No item selected!", "dataList full"}));
  EXPECT_EQ(edited.size(), 2u);
}

TEST(MainWindow, HeadingClickSortsDoubleClickEdits) {
  MainFixture f;
  AddRows(f, {{"10", "10.0.0.9", "x"}, {"2", "10.0.0.10", "y"}, {"7", "10.0.0.1", "z"}});
  QHeaderView* header = f.window->ListView()->header();
  for (auto [column, expected] : {std::pair{2, Texts{"10.0.0.1", "10.0.0.10", "10.0.0.9"}}, {0, {"2", "7", "10"}},
                                  {0, {"2", "7", "10"}}}) {  // a second click sorts the same way again
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
    EXPECT_EQ(Column(f, column), expected);
  }
  EXPECT_EQ(f.window->Config().dataList.At(0)->node, "2");  // slot i is row i
  // A double click edits the row under the pointer; below the last row it adds.
  SlaveListView* view = f.window->ListView();
  QApplication::processEvents();
  std::vector<std::string> opened;
  f.window->SetSlaveDialogRunner([&](SlaveConfigLogic& logic) {
    EXPECT_FALSE(f.net.slaveLock.IsFree());
    return opened.push_back(std::to_string(logic.Slot()) + ":" + logic.record.node), false;
  });
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(f.Model().index(1, 0)).center());
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, QPoint(5, view->viewport()->height() - 3));
  EXPECT_EQ(opened, (Texts{"1:7", "3:2"}));  // the second a new slave below the last row
  EXPECT_TRUE(f.net.slaveLock.IsFree());
  // The right button neither selects nor opens anything.
  Select(f, {0});
  QTest::mouseClick(view->viewport(), Qt::RightButton, {}, view->visualRect(f.Model().index(2, 0)).center());
  EXPECT_EQ(view->SelectedRows(), std::vector<int>{0});
}

TEST(MainWindow, SaveOpenOkAndCancel) {
  testing::ScratchDir dir;
  const std::string path = dir.File("plant.bin");
  {
    MainFixture f({"192.168.1.1"});  // the file's master address: a prefix of the later list's entry
    AddRows(f, {{"1", "192.168.1.1", "A"}, {"2", "192.168.1.2", "B"}, {"3", "192.168.1.3", "C"}});
    f.prompts.files = {path};
    f.Button("saveButton")->click();
    EXPECT_EQ(f.Title(), " Varnel Plinth: " + path);
    f.prompts.shown.clear();
    std::filesystem::remove(path);
    f.Button("saveButton")->click();  // the path is known: no dialog
    EXPECT_TRUE(f.prompts.shown.empty() && std::filesystem::exists(path));
    f.Button("openButton")->click();
    EXPECT_EQ(f.prompts.shown, (std::vector<Shown>{{"message", path, "Configuration not empty"}}));
  }
  testing::WriteAll(dir.File("empty.bin"), testing::EmptyExample());  // master 192.168.1.10
  {
    MainFixture f({"192.168.1.10"});
    f.Button("openButton")->click();  // cancelled
    f.prompts.files = {path};
    f.Button("openButton")->click();
    EXPECT_EQ(Column(f, 5), (Texts{"A", "B", "C"}));
    EXPECT_TRUE(f.Title() == " Plinth: " + path && f.net.slaveLock.IsFree());
    // A file without slaves leaves the title and puts its master address
    // into the box. (A file that fails to load: the whole program's test.)
    MainFixture g({"10.9.8.7"});
    g.prompts.files = {dir.File("empty.bin")};
    g.Button("openButton")->click();
    EXPECT_EQ(g.Title() + " " + g.window->MasterIpText(), " Varnel Plinth: New configuration 192.168.1.10");
  }
  // Enter in the master address box acts as the default button OK (what OK writes: the whole program's test);
  // Enter on the focused Cancel button is Cancel. (Cancel during a scan: the scan's test.)
  MainFixture f({"192.168.1.10"}, path);
  EXPECT_EQ(f.window->MasterIpText(), "192.168.1.1");  // not completed to the longer list entry
  QApplication::setActiveWindow(f.window.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(f.window.get()));
  f.window->MasterIpBox()->setFocus();
  QTest::keyClick(f.window->MasterIpBox()->lineEdit(), Qt::Key_Return);
  EXPECT_EQ(f.window->result(), QDialog::Accepted);
  MainFixture g;
  QTest::keyClick(g.Button("cancelButton"), Qt::Key_Return);
  EXPECT_TRUE(!g.window->isVisible() && g.window->result() == QDialog::Rejected && g.prompts.shown.empty());
}

TEST(MainWindow, MasterAddressFollowsTypingAdvancedSettingsRoundTrip) {
  MainFixture f({"192.168.1.20", "10.0.0.5"});
  QComboBox* box = f.window->MasterIpBox();
  ASSERT_EQ(box->count(), 2);
  auto followed = [&] {  // the sorted list's first item, then the box, the scan field and the scan address
    return box->itemText(0).toStdString() + " " + f.window->MasterIpText() + " " +
           Text(*f.window, "scanAddressEdit") + " " + f.window->ScanAddressText();
  };
  EXPECT_EQ(followed(), "10.0.0.5 192.168.1.20 192.168.1.20 192.168.1.20");  // the first address found
  box->lineEdit()->clear();
  QTest::keyClicks(box->lineEdit(), "172.16.0.9");
  EXPECT_EQ(followed(), "10.0.0.5 172.16.0.9 172.16.0.9 172.16.0.9");
  box->setCurrentIndex(0);
  emit box->textActivated(box->itemText(0));
  EXPECT_EQ(followed(), "10.0.0.5 10.0.0.5 10.0.0.5 10.0.0.5");
  // The advanced settings word through its dialog.
  f.window->Config().master.advancedSettings = (1u << 14) | (1u << 13) | (1u << 8) | 5;  // bit 8: a stray bit
  std::string opened;
  const char* lastButton = "okButton";
  f.window->SetAdvancedRunner([&](AdvancedValues& values) {
    AdvancedDialog d(values, f.prompts, f.window.get());
    auto* oneCycle = d.findChild<QCheckBox*>("oneCycleCheck");
    opened = Text(d, "burstEdit") + "|" + std::to_string(oneCycle->isChecked()) +
             std::to_string(d.findChild<QCheckBox*>("fillDummyCheck")->isHidden());
    for (const char* refused : {"abc", "256", "-1"}) {
      Edit(d, "burstEdit")->setText(refused);
      Click(d, "okButton");
      if (d.result() == QDialog::Accepted) return true;  // must not happen
    }
    Edit(d, "burstEdit")->setText(" 255 ");
    oneCycle->setChecked(false);
    Click(d, lastButton);
    return d.result() == QDialog::Accepted;
  });
  f.Button("advancedButton")->click();
  EXPECT_EQ(opened, "5|11");
  EXPECT_EQ(f.prompts.Messages(), (Texts{"Please enter an integer.", "Please enter an integer between 0 and 255.",
                                         "Please enter an integer between 0 and 255."}));
  EXPECT_EQ(f.window->Config().master.advancedSettings, (1u << 14) | 255);  // the hidden flag kept
  lastButton = "cancelButton";
  f.window->Config().master.advancedSettings = 3;
  f.Button("advancedButton")->click();
  EXPECT_EQ(f.window->Config().master.advancedSettings, 3);
}

TEST(MainWindow, WorkerResultsWaitForCommands) {
  MainFixture f;
  AddRows(f, {{"1", "192.168.1.11", "A"}});
  RowChange append;
  append.record.ipAddress = "192.168.1.50", append.record.node = "50", append.record.status = "ok";
  std::string duringDialog;
  f.AnswerSlaveDialogs([&](SlaveConfigDialog& d, SlaveConfigLogic&) {
    std::thread([&] { f.net.rowChanges.Post(append); }).join();
    QApplication::processEvents();
    duringDialog = std::to_string(f.Model().Rows());
    Edit(d, "nodeEdit")->setText("5");
    Click(d, "okButton");
  });
  f.Button("addButton")->click();
  EXPECT_EQ(duringDialog, "1");  // the scan's row waited for the dialog (marks "assigned" do not: the report tests)
  EXPECT_EQ(Column(f, 0), (Texts{"1", "5", "50"}));  // the new slave first, then the waiting row
  EXPECT_EQ(f.net.rowChanges.Pending(), 0u);
}

}  // namespace
}  // namespace plinth
