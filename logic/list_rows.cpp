#include "logic/list_rows.h"

namespace plinth {

void ListRows::RenderRow(int row, SlaveRecord* fallback) {
  if (row < 0 || row > RowCount()) {
    messages_.Show("internal error: itemCount unexpected!");
    return;
  }
  SlaveRecord* record = list_.At(row);
  if (!record) {
    messages_.Show("internal error: item undefined!");
    return;
  }
  if (row == RowCount()) texts_.emplace_back();
  texts_[static_cast<size_t>(row)] = RenderRecord(*record, fallback, tables_, messages_);
}

void ListRows::RenderAll() {
  for (int i = RowCount(); i < list_.Count(); ++i) RenderRow(i, nullptr);
}

}  // namespace plinth
