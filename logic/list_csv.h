#pragma once
// "Export list as CSV..." and "Import list from CSV..." of the main window,
// without widgets: the file read and checked whole, or written whole.
#include <memory>
#include <string>
#include <vector>

#include "config/slave_record.h"

namespace plinth {

// Reads the slaves of a CSV file. False with the message to show (the path,
// the row and column of the first bad value, and that the list is
// unchanged); records is then empty.
bool ReadSlavesCsvFile(const std::string& path, std::vector<std::unique_ptr<SlaveRecord>>& records,
                       std::string& message);

// Writes the list as CSV (with a byte-order mark, so that spreadsheets take
// it as UTF-8), whole or not at all. False with the message to show.
bool WriteSlavesCsvFile(const std::string& path, const DataList& list, std::string& message);

}  // namespace plinth
