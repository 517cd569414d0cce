// Feeds arbitrary bytes to the CSV reader and the slave list's CSV form:
// they must end in rows or a message, never a crash; and rows the reader
// gives, written again, must read back as the same rows.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "config/csv_table.h"
#include "config/slave_csv.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::unique_ptr<plinth::SlaveRecord>> records;
  std::string error;
  plinth::ParseSlavesCsv(text, records, error);

  plinth::CsvTable table;
  if (!plinth::ReadCsv(text, table, error)) return 0;
  // Written with the separator read, they read back with it; written with
  // commas, as Plinth writes, the separator is also guessed right.
  for (const char delimiter : {table.delimiter, ','}) {
    std::string written;
    for (const auto& row : table.rows) plinth::AppendCsvRow(written, row, delimiter);
    plinth::CsvTable again;
    const bool read = plinth::ReadCsv(written, again, error, delimiter == ',' ? 0 : delimiter);
    if (!read || again.rows != table.rows || again.delimiter != delimiter) std::abort();
  }
  return 0;
}
