#include "net/bootp_rows.h"

namespace plinth {

void RenderedRows::RenderRow(int row) {
  const int count = static_cast<int>(texts_.size());
  if (row < 0 || row > count) {
    messages_.Show("internal error: itemCount unexpected!");
    return;
  }
  SlaveRecord* record = dataList_.At(row);
  if (!record) {
    messages_.Show("internal error: item undefined!");
    return;
  }
  if (row == count) texts_.emplace_back();
  texts_[static_cast<size_t>(row)] = RenderRecord(*record, nullptr, &tables_, messages_);
}

void RenderedRows::RenderAll() {
  for (int i = static_cast<int>(texts_.size()); i < dataList_.Count(); ++i) RenderRow(i);
}

}  // namespace plinth
