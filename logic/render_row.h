#pragma once
// The data side of showing one slave in the list: the eight column texts of
// its row, and what showing it writes back into the record (normalised MAC
// text, catalogue name, description and word counts, the IP text learned by
// BOOTP, the BOOTP registration). The list view and the command line share it.
#include <array>
#include <string>

#include "base/messages.h"
#include "config/slave_record.h"

namespace plinth {

struct BootpTables;

inline constexpr int kColumnCount = 8;
using RowTexts = std::array<std::string, kColumnCount>;

// Column headings, in column order.
const std::array<const char*, kColumnCount>& ColumnHeadings();

// Brings r up to date and returns its row's texts. fallback (none: r itself)
// supplies texts that r lacks. tables may be null when no BOOTP registration
// is wanted.
RowTexts RenderRecord(SlaveRecord& r, SlaveRecord* fallback, BootpTables* tables, Messages& messages);

}  // namespace plinth
