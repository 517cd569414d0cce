#pragma once
// A small reader and writer of comma-separated values as spreadsheets write
// them: comma or semicolon between fields (whichever the first row uses),
// fields in double quotes with "" for a quote and line ends or separators
// inside, a UTF-8 byte-order mark at the start, LF or CRLF line ends. Field
// bytes are kept as they are.
#include <string>
#include <string_view>
#include <vector>

namespace plinth {

struct CsvTable {
  char delimiter = ',';
  // Rows in file order; rows whose cells are all empty are left out.
  std::vector<std::vector<std::string>> rows;
  // The spreadsheet row number (1 for the first record) of each row.
  std::vector<int> rowNumbers;
};

// Reads text into table; false with error ("row 3: ...") for a quoted field
// that is never closed or text after a closing quote. delimiter 0: the one
// the first row uses.
bool ReadCsv(std::string_view text, CsvTable& table, std::string& error, char delimiter = 0);

// One row: fields joined by delimiter, quoted where needed, ended by CRLF.
void AppendCsvRow(std::string& out, const std::vector<std::string>& fields, char delimiter = ',');

// The spreadsheet letter of column index 0, 1, ... ("A", "B", ..., "AA").
std::string CsvColumnLetter(size_t index);

}  // namespace plinth
