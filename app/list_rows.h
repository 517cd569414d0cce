#pragma once
// The slave list without a window: slot i is row i, and showing a row brings
// its record up to date as the list view does (no BOOTP registration).
// plinthctl applies the workers' row changes to it.
#include <vector>

#include "app/row_changes.h"
#include "config/render_row.h"

namespace plinth {

class ListRows : public SlaveRows {
 public:
  ListRows(DataList& list, Messages& messages) : list_(list), messages_(messages) {}
  DataList& Slaves() override { return list_; }
  int RowCount() const override { return static_cast<int>(texts_.size()); }
  void RenderRow(int row, SlaveRecord* fallback) override {
    if (row < 0 || row > RowCount() || !list_.At(row)) return;
    if (row == RowCount()) texts_.emplace_back();
    texts_[static_cast<size_t>(row)] = RenderRecord(*list_.At(row), fallback, nullptr, messages_);
  }
  // Every slot up to the first empty one (the start-up fill).
  void RenderAll() {
    for (int i = RowCount(); i < list_.Count(); ++i) RenderRow(i, nullptr);
  }
  const std::vector<RowTexts>& Texts() const { return texts_; }

 private:
  DataList& list_;
  Messages& messages_;
  std::vector<RowTexts> texts_;
};

}  // namespace plinth
