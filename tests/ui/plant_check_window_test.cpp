// The plant check window over the main window's list, against simulated modules on loopback.
#include <gtest/gtest.h>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTreeWidget>
#include "tests/support/scan_test_support.h"
#include "ui/plant_check_control.h"
#include "ui/plant_check_window.h"
#include "ui_fixture.h"

namespace plinth {
namespace {

using namespace testing;
using test::ScanModule;
using test::ScanText;

struct CheckWindow : MainFixture {
  CheckWindow(uint16_t port, const std::vector<int>& hosts, int parallel = 16) : MainFixture({ScanText(8, 1)}) {
    for (int h : hosts) {
      SlaveRecord r;
      r.node = std::to_string(h), r.ipAddress = ScanText(8, h), r.moduleId = "1217", r.macAddress = "0050c20000ff";
      window->AppendSlave(r);
    }
    options.port = port, options.sweep = true, options.parallel = parallel;
    check = std::make_unique<PlantCheckWindow>(*window, options, prompts, window.get());
    check->show();
  }
  std::string Result(int row) const { return check->Table()->topLevelItem(row)->text(2).toStdString(); }
  void Select(std::initializer_list<int> rows) {
    check->Table()->clearSelection();
    for (int row : rows) check->Table()->topLevelItem(row)->setSelected(true);
  }
  bool Enabled(const char* button) const { return check->findChild<QPushButton*>(button)->isEnabled(); }
  PlantCheckOptions options;
  std::unique_ptr<PlantCheckWindow> check;
};

// Module 2 is another module and unit than its row says, module 3 another unit, module 5 is in no row. The found
// values of 2 and 3 are taken (the confirmation names each change), 5 is added, the report saved as JSON and PDF.
TEST(PlantCheckWindow, TakesFoundValuesAddsASweptModuleSavesTheReportAndCancelsWithinASecond) {
  const uint16_t port = test::UnusedPort();
  std::vector<SimModuleConfig> modules{ScanModule(8, 2, port, 1218), ScanModule(8, 3, port), ScanModule(8, 5, port, 4578)};
  for (int h = 20; h < 30; ++h) modules.push_back(ScanModule(8, h, port, 1217, FaultMode::kNoAccept));
  test::RunningSim sim(modules);
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  CheckWindow f(port, {2, 3});
  EXPECT_EQ(f.Result(0) + "|" + f.Result(1), "not checked|not checked");
  Click(*f.check, "checkButton");
  ASSERT_TRUE(RunUntil([&] { return !f.check->Running(); }));
  ASSERT_EQ(f.check->Table()->topLevelItemCount(), 3);
  EXPECT_EQ(f.Result(0), "other module (expected 1217, found 1218); other word counts (expected 16/4, found 4/4); "
                         "other unit (expected 0050c20000ff, found 0050c2000002)");
  EXPECT_EQ(f.Result(1) + "|" + f.Result(2),
            "other unit (expected 0050c20000ff, found 0050c2000003)|not in the list (module 4578, 16/16 words, MAC 0050c2000005)");

  f.Select({0, 1, 2});
  EXPECT_TRUE(f.Enabled("takeButton") && f.Enabled("addButton"));
  f.prompts.answers = {true};
  Click(*f.check, "takeButton");
  EXPECT_EQ(f.prompts.shown, (std::vector<Shown>{{"ask",
      "Take the values the modules report into these slaves?\n\nNode 2 (" + ScanText(8, 2) + "): module ID 1217 -> 1218, "
      "words 16/4 -> 4/4, MAC address 0050c20000ff -> 0050c2000002\nNode 3 (" + ScanText(8, 3) + "): MAC address "
      "0050c20000ff -> 0050c2000003", "Take found values"}}));
  // As an edit stores them: the catalogue's name and words for 1218, the rows drawn again.
  EXPECT_EQ(f.Cell(0, 3) + " " + f.Cell(0, 4) + " " + f.Cell(0, 5) + " " + f.Cell(0, 6) + " " + f.Cell(1, 3),
            "0050c2000002 1218 482-BFK-287-46 4/4/4 0050c2000003");
  EXPECT_EQ(f.Result(0).substr(0, 20), "found values taken; ");
  f.Select({2});
  Click(*f.check, "addButton");
  ASSERT_EQ(f.window->RowCount(), 3);
  EXPECT_EQ(f.Cell(2, 0) + " " + f.Cell(2, 1) + " " + f.Cell(2, 2) + " " + f.Cell(2, 4) + " " + f.Cell(2, 3),
            "5 ok " + ScanText(8, 5) + " 4578 0050c2000005");
  EXPECT_FALSE(f.Enabled("addButton") || f.Enabled("takeButton"));  // done once only

  QTemporaryDir dir;
  const QString json = dir.filePath(QStringLiteral("plant.json")), pdf = dir.filePath(QStringLiteral("plant.pdf"));
  f.prompts.files = {json.toStdString(), pdf.toStdString()};
  Click(*f.check, "saveReportButton");
  Click(*f.check, "pdfButton");
  QFile jsonFile(json), pdfFile(pdf);
  ASSERT_TRUE(jsonFile.open(QIODevice::ReadOnly) && pdfFile.open(QIODevice::ReadOnly));
  EXPECT_TRUE(jsonFile.readAll().contains("\"summary\": {\n    \"slaves\": 2,\n    \"match\": 0,"));
  EXPECT_TRUE(pdfFile.readAll().startsWith("%PDF"));

  // Ten modules that accept nothing, one at a time: Cancel ends the check within a second.
  CheckWindow silent(port, {20, 21, 22, 23, 24, 25, 26, 27, 28, 29}, 1);
  Click(*silent.check, "checkButton");
  QTest::qWait(300);
  const auto cancelled = std::chrono::steady_clock::now();
  Click(*silent.check, "cancelButton");
  ASSERT_TRUE(RunUntil([&] { return !silent.check->Running(); }));
  EXPECT_LT(std::chrono::steady_clock::now() - cancelled, std::chrono::seconds(1));
  EXPECT_EQ(silent.Result(0) + " " + silent.check->findChild<QLabel*>("summaryLabel")->text().toStdString(),
            "not checked Check cancelled.");

  // "Verify plant..." of the main window opens the window.
  new PlantCheckControl(*f.window, f.options);
  std::string title;
  OnNextModal([&](QWidget* w) { title = w->windowTitle().toStdString(), w->close(); });
  f.Button("verifyButton")->click();
  EXPECT_EQ(title, "Plant check");
}

}  // namespace
}  // namespace plinth
