#include "config/slave_csv.h"

#include <algorithm>

#include "config/csv_table.h"
#include "config/slave_values.h"

namespace plinth {
namespace {

std::string* Field(SlaveRecord& r, const std::string& key) {
  if (key == "node") return &r.node;
  if (key == "status") return &r.status;
  if (key == "ipAddress") return &r.ipAddress;
  if (key == "macAddress") return &r.macAddress;
  if (key == "moduleId") return &r.moduleId;
  if (key == "name") return &r.name;
  if (key == "description") return &r.description;
  if (key == "inputWords") return &r.inputWords;
  if (key == "outputWords") return &r.outputWords;
  if (key == "paramWords") return &r.paramWords;
  return nullptr;
}

std::string Where(int row, size_t column, const std::string& key) {
  return "row " + std::to_string(row) + ", column " + CsvColumnLetter(column) + (key.empty() ? "" : " (" + key + ")");
}

}  // namespace

const std::vector<std::string>& SlaveCsvKeys() {
  static const std::vector<std::string> keys = {"node",        "status",     "ipAddress",   "macAddress",
                                                "moduleId",    "name",       "description", "inputWords",
                                                "outputWords", "paramWords"};
  return keys;
}

void AppendSlaveCsvHeader(std::string& out, char delimiter) { AppendCsvRow(out, SlaveCsvKeys(), delimiter); }

void AppendSlaveCsvRow(std::string& out, const SlaveRecord& r, char delimiter) {
  AppendCsvRow(out,
               {r.node, r.status, r.ipAddress, IsZeroMac(r.mac) ? std::string() : FormatMac(r.mac), r.moduleId,
                r.name, r.description, r.inputWords, r.outputWords, r.paramWords},
               delimiter);
}

std::string SlavesToCsv(const DataList& list, char delimiter) {
  std::string out;
  AppendSlaveCsvHeader(out, delimiter);
  for (int i = 0; i < list.Count(); ++i) AppendSlaveCsvRow(out, *list.At(i), delimiter);
  return out;
}

bool ParseSlavesCsv(std::string_view text, std::vector<std::unique_ptr<SlaveRecord>>& records, std::string& error) {
  records.clear();
  CsvTable table;
  if (!ReadCsv(text, table, error)) return false;
  if (table.rows.empty()) {
    error = "no header row: the first row names the columns (" + SlaveCsvKeys().front() + ", ...)";
    return false;
  }
  // The header: every named column must be a key, and once. A column
  // without a name is allowed only when all its cells are empty.
  const std::vector<std::string>& header = table.rows.front();
  const int headerRow = table.rowNumbers.front();
  for (size_t c = 0; c < header.size(); ++c) {
    const std::string& key = header[c];
    SlaveRecord probe;
    if (key.empty()) {
      for (size_t r = 1; r < table.rows.size(); ++r)
        if (c < table.rows[r].size() && !table.rows[r][c].empty()) {
          error = Where(table.rowNumbers[r], c, "") + ": a value in a column without a name in row " +
                  std::to_string(headerRow);
          return false;
        }
      continue;
    }
    if (!Field(probe, key)) {
      error = Where(headerRow, c, "") + ": unknown column " + QuotedInput(key) + "; the columns are node, status, "
              "ipAddress, macAddress, moduleId, name, description, inputWords, outputWords, paramWords";
      return false;
    }
    for (size_t before = 0; before < c; ++before)
      if (header[before] == key) {
        error = Where(headerRow, c, key) + ": column named twice (also column " + CsvColumnLetter(before) + ")";
        return false;
      }
  }
  const size_t slaves = table.rows.size() - 1;
  if (slaves > static_cast<size_t>(DataList::kCapacity)) {
    error = std::to_string(slaves) + " slaves given; a configuration holds at most " +
            std::to_string(DataList::kCapacity);
    return false;
  }
  std::vector<std::unique_ptr<SlaveRecord>> read;
  for (size_t r = 1; r < table.rows.size(); ++r) {
    const std::vector<std::string>& cells = table.rows[r];
    const int row = table.rowNumbers[r];
    if (cells.size() > header.size()) {
      for (size_t c = header.size(); c < cells.size(); ++c)
        if (!cells[c].empty()) {
          error = Where(row, c, "") + ": a value beyond the last named column";
          return false;
        }
    }
    auto record = std::make_unique<SlaveRecord>();
    for (size_t c = 0; c < header.size(); ++c) {
      if (header[c].empty()) continue;
      std::string* field = Field(*record, header[c]);
      *field = c < cells.size() ? cells[c] : std::string();
      if (const std::string problem = SlaveValueProblem(header[c], *field); !problem.empty()) {
        error = Where(row, c, header[c]) + ": " + problem;
        return false;
      }
    }
    read.push_back(std::move(record));
  }
  // Nodes are checked over the whole list, as in the JSON form: each 1 to
  // 254 and held once.
  DataList list;
  for (const auto& record : read) list.Append(std::make_unique<SlaveRecord>(*record));
  if (const std::vector<NodeProblem> problems = FindNodeProblems(list); !problems.empty()) {
    const size_t column = static_cast<size_t>(std::find(header.begin(), header.end(), "node") - header.begin());
    const auto rowOf = [&table](int slot) { return table.rowNumbers[static_cast<size_t>(slot) + 1]; };
    const NodeProblem& p = problems.front();
    error = Where(rowOf(p.slot), column, "node") + ": " +
            DescribeNodeProblem(p, list, [&rowOf](int slot) { return "row " + std::to_string(rowOf(slot)); });
    return false;
  }
  records = std::move(read);
  return true;
}

}  // namespace plinth
