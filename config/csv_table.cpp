#include "config/csv_table.h"

namespace plinth {
namespace {

// The separator of the first row: the one of ';' and ',' that occurs more
// often outside quoted fields (',' when neither does). As in reading, a
// quote opens a quoted field only at the start of a field.
char GuessDelimiter(std::string_view text) {
  size_t commas = 0, semicolons = 0;
  bool fieldStart = true;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"' && fieldStart) {
      for (++i; i < text.size(); ++i)
        if (text[i] == '"' && !(i + 1 < text.size() && text[i + 1] == '"')) break;
        else if (text[i] == '"') ++i;
      fieldStart = false;
      continue;
    }
    if (c == '\n' || c == '\r') break;
    fieldStart = c == ',' || c == ';';
    commas += c == ',';
    semicolons += c == ';';
  }
  return semicolons > commas ? ';' : ',';
}

bool AllEmpty(const std::vector<std::string>& row) {
  for (const std::string& cell : row)
    if (!cell.empty()) return false;
  return true;
}

}  // namespace

bool ReadCsv(std::string_view text, CsvTable& table, std::string& error, char delimiter) {
  table = CsvTable{};
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  if (!delimiter) delimiter = GuessDelimiter(text);
  table.delimiter = delimiter;

  std::vector<std::string> row;
  std::string cell;
  int record = 1;
  size_t i = 0;
  auto endRow = [&] {
    row.push_back(std::move(cell));
    cell.clear();
    if (!AllEmpty(row)) {
      table.rows.push_back(std::move(row));
      table.rowNumbers.push_back(record);
    }
    row.clear();
    ++record;
  };
  while (i < text.size()) {
    char c = text[i];
    if (c == '"' && cell.empty()) {
      // A quoted field: up to the quote that is not doubled.
      const int startRecord = record;
      ++i;
      for (;;) {
        if (i >= text.size()) {
          error = "row " + std::to_string(startRecord) + ": a quoted field is not closed";
          return false;
        }
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            cell += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        cell += text[i++];
      }
      if (i < text.size() && text[i] != delimiter && text[i] != '\n' && text[i] != '\r') {
        error = "row " + std::to_string(record) + ", column " + CsvColumnLetter(row.size()) +
                ": text after the closing quote of a field";
        return false;
      }
      // An empty quoted field must still count as a cell of the row.
      if (i >= text.size()) break;
      continue;
    }
    if (c == delimiter) {
      row.push_back(std::move(cell));
      cell.clear();
      ++i;
    } else if (c == '\n' || c == '\r') {
      ++i;
      if (c == '\r' && i < text.size() && text[i] == '\n') ++i;
      endRow();
    } else {
      cell += c;
      ++i;
    }
  }
  if (!cell.empty() || !row.empty() || (!text.empty() && text.back() == '"')) endRow();
  return true;
}

void AppendCsvRow(std::string& out, const std::vector<std::string>& fields, char delimiter) {
  for (size_t k = 0; k < fields.size(); ++k) {
    if (k) out += delimiter;
    const std::string& f = fields[k];
    // Both separators are quoted, so that a reader guessing the separator
    // from the first row guesses right; so is a leading byte-order mark.
    const bool quote = f.find_first_of("\"\r\n,;") != std::string::npos ||
                       (!f.empty() && (f.front() == ' ' || f.back() == ' ' || f.front() == '\t')) ||
                       f.rfind("\xEF\xBB\xBF", 0) == 0;
    if (!quote) {
      out += f;
      continue;
    }
    out += '"';
    for (char c : f) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  out += "\r\n";
}

std::string CsvColumnLetter(size_t index) {
  std::string letters;
  for (size_t n = index + 1; n > 0; n = (n - 1) / 26) letters.insert(letters.begin(), static_cast<char>('A' + (n - 1) % 26));
  return letters;
}

}  // namespace plinth
