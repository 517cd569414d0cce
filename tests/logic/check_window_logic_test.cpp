// The plant check window's decisions over a list without a window: which found values are taken and how the row
// rules bend them, rows changed since the check, modules added or refused, and the file a window's check describes.
#include "logic/check_window_logic.h"
#include <gtest/gtest.h>
#include "base/text_scan.h"
#include "logic/check_report_formats.h"
#include "logic/list_rows.h"
#include "tests/support/config_fixtures.h"
#include "tests/support/scripted_prompts.h"

namespace plinth {
namespace {
using namespace testing;

// The list as the window changes it: records stored or appended, then drawn.
struct List : CheckedList {
  const DataList& Slaves() const override { return config.dataList; }
  bool ReplaceSlave(int row, const SlaveRecord& r) override { return CopyRecord(*config.dataList.At(row), r), rows.RenderRow(row), true; }
  bool AppendSlave(const SlaveRecord& r) override { return rows.RenderRow(config.dataList.Append(std::make_unique<SlaveRecord>(r))), true; }
  Configuration config;
  RecordedMessages messages;
  ListRows rows{config.dataList, messages};
};

ModuleProbe Reading(uint16_t id, uint16_t in, uint16_t out, uint8_t macLast) {
  ModuleProbe p;
  p.connect = ConnectFault::kNone, p.statusRead = true, p.statisticsRead = true, p.mac = {0, 0x50, 0xc2, 0, 0, macLast};
  p.words[kStatusModuleId] = id, p.words[kStatusInputWords] = in, p.words[kStatusOutputWords] = out;
  p.words[kStatusHealth] = kGoodHealth;
  return p;
}

// Rows: 1217 that reports 8/2 words (the catalogue keeps 16/4), 99 that reports module 1218 and another unit, 704
// whose row is edited after the check, and a swept module on host 5 whose node another row already has; host 6 is free.
TEST(CheckWindowLogic, TakesFoundValuesUnderTheRowRulesSkipsChangedRowsAndAddsOnlyFreeNodesAndAddresses) {
  List list;
  list.config.dataList.Append(MakeSlave("1", "1217", "10.0.0.1"));
  list.config.dataList.Append(MakeSlave("2", "99", "10.0.0.2", "mine", "d", "2", "2", "0", "0050c20000ff"));
  list.config.dataList.Append(MakeSlave("5", "704", "10.0.0.3"));
  list.rows.RenderAll();
  ScriptedPrompts prompts;
  CheckWindowLogic logic(list, prompts);
  CheckReport report;
  const ModuleProbe probes[] = {Reading(1217, 8, 2, 1), Reading(1218, 4, 4, 2), Reading(1217, 16, 4, 3)};
  for (int i = 0; i < 3; ++i) {
    CheckEntry e{i, *list.config.dataList.At(i), FoundFrom(probes[i]), ClassifySlave(*list.config.dataList.At(i), probes[i], 1000)};
    report.slaves.push_back(e);
  }
  for (uint8_t host : {5, 6}) {
    const ModuleProbe p = Reading(4578, 16, 16, host);
    report.notInList.push_back({-1, SweptRecord(ParseIpv4("10.0.0." + std::to_string(host)), p), FoundFrom(p), {}});
  }
  logic.SetReport(report);
  list.config.dataList.At(2)->ipAddress = "10.0.0.33";  // edited since the check
  EXPECT_TRUE(logic.CanTake({0}) && logic.CanTake({2}) && !logic.CanTake({3}) && logic.CanAdd({1, 3}) && !logic.CanAdd({0}));

  prompts.answers = {false, true};
  logic.TakeFoundValues({0, 1, 2});  // refused at the question: nothing changes
  EXPECT_EQ(list.config.dataList.At(1)->moduleId, "99");
  logic.TakeFoundValues({0, 1, 2});
  const std::string question = "Take the values the modules report into these slaves?\n\nNode 1 (10.0.0.1): words 16/4 -> 8/2 "
                               "(the catalogue keeps 16/4 words for module 1217)\nNode 2 (10.0.0.2): module ID 99 -> 1218, "
                               "words 2/2 -> 4/4, MAC address 0050c20000ff -> 0050c2000002";
  const std::string stale = "These slaves have changed since the check; run it again to take their values:\nNode 5 (10.0.0.3)";
  EXPECT_EQ(prompts.shown, (std::vector<Shown>{{"message", stale, "Plinth"}, {"ask", question, "Take found values"},
                                               {"message", stale, "Plinth"}, {"ask", question, "Take found values"}}));
  EXPECT_EQ(list.rows.Texts()[0][6] + " " + list.rows.Texts()[1][3] + " " + list.rows.Texts()[1][5] + " " +
                list.rows.Texts()[1][6] + " " + list.config.dataList.At(2)->moduleId,
            "16/4/4 0050c2000002 482-BFK-287-46 4/4/4 704");
  EXPECT_FALSE(logic.CanTake({0, 1}));
  EXPECT_EQ(logic.Rows()[1].state, CheckRowState::kTaken);

  prompts.shown.clear();
  logic.AddToList({3, 4});
  EXPECT_EQ(prompts.Messages(), Texts{"Not added:\n10.0.0.5: node 5 is taken by another slave"});
  ASSERT_EQ(list.config.dataList.Count(), 4);
  EXPECT_EQ(list.rows.Texts()[3][0] + " " + list.rows.Texts()[3][1] + " " + list.rows.Texts()[3][2] + " " + list.rows.Texts()[3][3],
            "6 ok 10.0.0.6 0050c2000006");
  EXPECT_TRUE(logic.CanAdd({3}) && !logic.CanAdd({4}));
}

// The window's check names the list as it would be saved now: unsaved until the file holds exactly those bytes.
TEST(CheckWindowLogic, DescribesTheFileAsSavedOrWithUnsavedChangesAndSavesTheReportByItsExtension) {
  ScratchDir dir;
  List list;
  list.config.dataList.Append(MakeSlave("1", "1217", "10.0.0.1"));
  CheckRecord record;
  DescribeWindowFile(record, "", list.config);
  EXPECT_TRUE(record.unsavedChanges && record.filePath.empty() && record.fileChecksum.size() == 4);
  ASSERT_TRUE(WriteConfiguration(dir.File("plant.bin"), list.config, list.messages));
  const std::vector<uint8_t> saved = ReadAll(dir.File("plant.bin"));
  DescribeWindowFile(record, dir.File("plant.bin"), list.config);
  EXPECT_EQ(record.fileChecksum, FormatHex4(static_cast<uint16_t>(saved[saved.size() - 4] | saved[saved.size() - 3] << 8)));
  EXPECT_TRUE(!record.unsavedChanges && record.fileSize == saved.size());
  list.config.dataList.At(0)->name = "renamed";
  DescribeWindowFile(record, dir.File("plant.bin"), list.config);
  EXPECT_TRUE(record.unsavedChanges);

  ScriptedPrompts prompts;
  CheckWindowLogic logic(list, prompts);
  logic.SetReport(CheckReport{record, {}, {}});
  prompts.files = {dir.File("report.txt"), dir.File("report.csv")};
  logic.SaveReport();
  logic.SaveReport();
  EXPECT_EQ(prompts.Messages(), Texts{dir.File("report.txt") + ": the name must end in .json, .csv or .html"});
  EXPECT_EQ(ReadAll(dir.File("report.csv")).size(), std::string_view(ReportCsv(logic.Report())).size());
}

}  // namespace
}  // namespace plinth
