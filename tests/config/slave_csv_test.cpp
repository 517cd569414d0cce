// The slave list as CSV: files as common spreadsheets write them, and bad
// rows, each refused with its row and column.
#include <gtest/gtest.h>

#include "config/csv_table.h"
#include "config/slave_csv.h"

namespace plinth {
namespace {

// Reads text; each record as "node|ipAddress|name|status|inputWords".
std::vector<std::string> Read(const std::string& text, std::string& error) {
  std::vector<std::unique_ptr<SlaveRecord>> records;
  std::vector<std::string> rows;
  if (!ParseSlavesCsv(text, records, error)) return {"refused"};
  for (const auto& r : records)
    rows.push_back(r->node + "|" + r->ipAddress + "|" + r->name + "|" + r->status + "|" + r->inputWords);
  return rows;
}

TEST(SlaveCsv, SpreadsheetDialectsReadAlike) {
  const std::vector<std::string> expected = {"5|10.0.0.5|DI; 16, \"fast\"|unknown|0",
                                             "6||two\nlines|unknown|0"};
  const struct {
    const char* dialect;
    std::string text;
  } cases[] = {
      {"comma, LF", "node,ipAddress,name\n5,10.0.0.5,\"DI; 16, \"\"fast\"\"\"\n6,,\"two\nlines\"\n"},
      {"semicolon, CRLF, BOM", "\xEF\xBB\xBFnode;ipAddress;name\r\n5;10.0.0.5;\"DI; 16, \"\"fast\"\"\"\r\n"
                               "6;;\"two\nlines\"\r\n"},
      {"every field quoted, no end of line",
       "\"node\",\"ipAddress\",\"name\"\r\n\"5\",\"10.0.0.5\",\"DI; 16, \"\"fast\"\"\"\r\n\"6\",\"\",\"two\nlines\""},
      {"other column order, empty rows and an empty unnamed column",
       "name;node;ipAddress;\r\n\"DI; 16, \"\"fast\"\"\";5;10.0.0.5;\r\n;;;\r\n\r\n\"two\nlines\";6;;\r\n"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_EQ(Read(c.text, error), expected) << c.dialect << ": " << error;
  }
  // Columns left out keep a new slave's start values; short rows read as empty cells.
  std::string error;
  EXPECT_EQ(Read("node,name\n1\n", error), std::vector<std::string>{"1|||unknown|0"}) << error;
}

TEST(SlaveCsv, BadRowsAreRefusedWithRowAndColumn) {
  const struct {
    std::string text;
    const char* error;
  } cases[] = {
      {"node,ipAddress\n1,10.0.0.1\n2,300.1.1.1\n",
       "row 3, column B (ipAddress): \"300.1.1.1\" is not an IPv4 address (four numbers 0 to 255 joined by dots)"},
      {"macAddress;node\n02:00:00:00:00;1\n", "row 2, column A (macAddress): \"02:00:00:00:00\" is not a MAC address"},
      {"node,inputWords\n1,abc\n", "row 2, column B (inputWords): \"abc\" is not a word count"},
      {"name,node\nA,5\n\nB,900\n", "row 4, column B (node): \"900\" is outside the node numbers 1 to 254"},
      {"name,node\nA,5\nB, 5\n", "row 3, column B (node): \" 5\": node 5 is already row 2's"},
      {"node;nodes\n1;2\n", "row 1, column B: unknown column \"nodes\""},
      {"name,node,name\n", "row 1, column C (name): column named twice (also column A)"},
      {"node\n1,x\n", "row 2, column B: a value beyond the last named column"},
      {"node,,name\n1,x,y\n", "row 2, column B: a value in a column without a name in row 1"},
      {"node,name\n1,\"open\n2,x\n", "row 2: a quoted field is not closed"},
      {"node,name\n1,\"closed\"x\n", "row 2, column B: text after the closing quote of a field"},
      {"", "no header row"},
      {"node\n" + [] {
         std::string rows;
         for (int i = 0; i < 301; ++i) rows += std::to_string(i) + "\n";
         return rows;
       }(),
       "301 slaves given; a configuration holds at most 300"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_EQ(Read(c.text, error), std::vector<std::string>{"refused"}) << c.text;
    EXPECT_EQ(error.substr(0, std::string(c.error).size()), c.error) << c.text;
  }
}

// What the writer writes reads back as the same cells, whatever bytes they hold.
TEST(SlaveCsv, WrittenCellsReadBackUnchanged) {
  const std::vector<std::vector<std::string>> rows = {
      {"\xEF\xBB\xBF" "bom", "semi;colon", " lead", "trail ", "com,ma", "q\"uote", "cr\rlf\n", "\xFF\xFE"},
      {"", "", "x"}};
  for (char delimiter : {',', ';'}) {
    std::string text;
    for (const auto& row : rows) AppendCsvRow(text, row, delimiter);
    CsvTable table;
    std::string error;
    ASSERT_TRUE(ReadCsv(text, table, error)) << error;
    EXPECT_EQ(table.delimiter, delimiter);
    EXPECT_EQ(table.rows, rows);
  }
}

}  // namespace
}  // namespace plinth
