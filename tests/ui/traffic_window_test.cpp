// The traffic window used from inside another window's modal loop: filters,
// pause and save; and the main window's CSV import and export.
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QAction>
#include <QComboBox>
#include <QTableView>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/text_scan.h"
#include "tests/support/config_fixtures.h"
#include "ui/advanced_dialog.h"
#include "ui/traffic_window.h"
#include "ui_fixture.h"

namespace plinth {
namespace {

using namespace testing;

void Add(TrafficLog& log, TrafficKind kind, const char* remote, std::vector<uint8_t> bytes, int error = 0,
         TrafficDirection direction = TrafficDirection::kSent) {
  TrafficRecord r;
  r.timeUs = TrafficNow();
  r.kind = kind;
  r.direction = direction;
  r.local = {ParseIpv4("10.0.0.100"), 40000};
  r.remote = {ParseIpv4(remote), static_cast<uint16_t>(kind == TrafficKind::kBootp ? 68 : 502)};
  r.error = error;
  log.Add(r, bytes);
}

// Column column of every row the window's table shows.
Texts Cells(QWidget& window, int column) {
  QAbstractItemModel* model = window.findChild<QTableView*>("trafficTable")->model();
  Texts texts;
  for (int r = 0; r < model->rowCount(); ++r) texts.push_back(model->index(r, column).data().toString().toStdString());
  return texts;
}

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(TrafficWindow, OpensOverAModalWindowFiltersPausesAndSavesWhatItShows) {
  TrafficLog log;
  SetTrafficLog(&log);
  Add(log, TrafficKind::kConnect, "10.0.0.1", {}, ECONNREFUSED);
  Add(log, TrafficKind::kModbus, "10.0.0.7", {0, 1, 0, 0, 0, 6, 1, 3, 0xF8, 0, 0, 13});
  Add(log, TrafficKind::kModbus, "10.0.0.7", {0, 1, 0, 0, 0, 3, 1, 0x83, 2}, 0, TrafficDirection::kReceived);
  Add(log, TrafficKind::kBootp, "10.0.0.9", std::vector<uint8_t>(300, 0));

  MainFixture f;
  TrafficKeyFilter trafficKey(f.prompts);  // as the program installs it
  qApp->installEventFilter(&trafficKey);
  AdvancedValues values;
  AdvancedDialog advanced(values, f.prompts, f.window.get());
  const auto dir = std::filesystem::temp_directory_path() / ("plinth-traffic-ui-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  f.prompts.files.push_back((dir / "errors.jsonl").string());
  Texts seen;
  Texts frames, addressed, errors, paused, resumed;
  QTimer::singleShot(0, [&] {
    QTest::keyClick(advanced.windowHandle(), Qt::Key_T, Qt::ControlModifier);
    QWidget* w = nullptr;
    for (QWidget* top : QApplication::allWidgets())
      if (top->objectName() == QLatin1String("trafficWindow") && top->isVisible()) w = top;
    if (!w) return advanced.reject();
    // Usable while the Advanced dialog runs modally: it is that window's own child window.
    seen.push_back(w->parentWidget() == &advanced && !QApplication::activeModalWidget()->isAncestorOf(w) ? "nested"
                                                                                                   : "blocked");
    frames = Cells(*w, 5);
    Edit(*w, "trafficAddressEdit")->setText(QStringLiteral("10.0.0.7"));
    addressed = Cells(*w, 4);
    Edit(*w, "trafficAddressEdit")->clear();
    w->findChild<QComboBox*>("trafficKindCombo")->setCurrentText(QStringLiteral("Errors only"));
    errors = Cells(*w, 0);
    Click(*w, "trafficPauseButton");
    Add(log, TrafficKind::kConnect, "10.0.0.2", {}, ETIMEDOUT);
    static_cast<TrafficWindow*>(w)->Poll();
    paused = Cells(*w, 5);
    Click(*w, "trafficPauseButton");
    resumed = Cells(*w, 5);
    Click(*w, "trafficSaveButton");
    Click(*w, "trafficCloseButton");
    advanced.reject();
  });
  advanced.hide();
  advanced.exec();
  SetTrafficLog(nullptr);

  EXPECT_EQ(seen, Texts{"nested"});
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(frames[0], "to 10.0.0.1:502 failed (connection refused)");
  EXPECT_EQ(frames[2], "tid 1 unit 1 Read Holding Registers (3) exception ILLEGAL DATA ADDRESS (2)");
  EXPECT_EQ(addressed, (Texts{"10.0.0.7:502", "10.0.0.100:40000"}));
  EXPECT_EQ(errors, (Texts{"Error", "Error"}));  // the refusal and the exception
  EXPECT_EQ(paused.size(), 2u);
  ASSERT_EQ(resumed.size(), 3u);
  EXPECT_EQ(resumed.back(), "to 10.0.0.2:502 failed (connection timed out)");
  std::ifstream saved(dir / "errors.jsonl");
  Texts lines;
  for (std::string line; std::getline(saved, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 3u);
  for (const std::string& line : lines) EXPECT_EQ(line.rfind("{\"formatVersion\":1,", 0), 0u) << line;
  EXPECT_NE(lines[2].find("\"errorText\":\"connection timed out\""), std::string::npos);
  std::filesystem::remove_all(dir);
}

TEST(MainWindow, CsvImportRefusesABadRowWithoutTouchingTheListAndReplacesItWhenAllAreGood) {
  MainFixture f;
  for (auto [node, ip] : {std::pair{"1", "192.168.1.1"}, {"2", "192.168.1.2"}})
    f.window->RenderRow(f.window->Config().dataList.Append(MakeSlave(node, "", ip)), nullptr);
  f.window->Changes().MarkSaved(f.window->Config());
  const auto dir = std::filesystem::temp_directory_path() / ("plinth-csv-ui-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "bad.csv") << "node;ipAddress;name\r\n7;10.0.0.7;A\r\n8;10.0.0.800;B\r\n";
  std::ofstream(dir / "good.csv") << "\xEF\xBB\xBFname,node,ipAddress\r\n\"A, first\",7,10.0.0.7\r\nB,8,10.0.0.8\r\n";
  auto trigger = [&](const char* action) { f.window->findChild<QAction*>(action)->trigger(); };

  f.prompts.files.push_back((dir / "bad.csv").string());
  trigger("importCsvAction");
  EXPECT_EQ(f.prompts.Messages(), Texts{(dir / "bad.csv").string() +
                                        ":\nrow 3, column B (ipAddress): \"10.0.0.800\" is not an IPv4 address (four "
                                        "numbers 0 to 255 joined by dots)\nThe list was not changed."});
  EXPECT_EQ(f.Cell(0, 2) + " " + f.Cell(1, 2), "192.168.1.1 192.168.1.2");
  EXPECT_EQ(f.window->Config().dataList.Count(), 2);
  EXPECT_FALSE(f.window->HasUnsavedChanges());

  f.prompts.files.push_back((dir / "good.csv").string());
  trigger("importCsvAction");
  ASSERT_EQ(f.Model().Rows(), 2);
  EXPECT_EQ(f.Cell(0, 0) + " " + f.Cell(0, 2) + " " + f.Cell(0, 5), "7 10.0.0.7 A, first");
  EXPECT_TRUE(f.window->HasUnsavedChanges());  // closing now asks to save

  f.prompts.files.push_back((dir / "out.csv").string());
  trigger("exportCsvAction");
  EXPECT_EQ(ReadAll(dir / "out.csv"),
            "\xEF\xBB\xBFnode,status,ipAddress,macAddress,moduleId,name,description,inputWords,outputWords,"
            "paramWords\r\n7,unknown,10.0.0.7,,,\"A, first\",,0,0,0\r\n8,unknown,10.0.0.8,,,B,,0,0,0\r\n");
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace plinth
