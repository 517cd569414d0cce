#pragma once
// The order of the slave list when a column heading is clicked: each column
// has its own rule and, on a tie, hands over to another column's rule.
#include "config/slave_record.h"

namespace plinth {

// Compares a with b by the rule of column (0..7) and its tie-breaks:
// negative, zero or positive. Texts compare byte by byte as unsigned values.
int CompareSlaves(const SlaveRecord& a, const SlaveRecord& b, int column);

// Sorts the occupied slots ascending by the rule of column.
void SortSlaves(DataList& list, int column);

}  // namespace plinth
