#pragma once
// The slave list as a spreadsheet: a header row with the key names of the
// JSON form (node, status, ipAddress, macAddress, moduleId, name,
// description, inputWords, outputWords, paramWords) in any order, then one
// row per slave. A column that is left out keeps a new slave's start value.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/slave_record.h"

namespace plinth {

// The key names in the order they are written.
const std::vector<std::string>& SlaveCsvKeys();

// The slaves of list as CSV text with all ten columns.
std::string SlavesToCsv(const DataList& list, char delimiter = ',');
// The header row, and one slave's row (its MAC address from mac).
void AppendSlaveCsvHeader(std::string& out, char delimiter = ',');
void AppendSlaveCsvRow(std::string& out, const SlaveRecord& record, char delimiter = ',');

// Reads CSV text into records, checking every row as the JSON form is
// checked. False with error naming the row and column of the first bad
// value ("row 4, column C (ipAddress): ..."); records is then empty.
bool ParseSlavesCsv(std::string_view text, std::vector<std::unique_ptr<SlaveRecord>>& records, std::string& error);

}  // namespace plinth
