#pragma once
// The slave list without a window: slot i is row i, and showing a row brings
// its record up to date exactly as the list view does and keeps the row's
// texts. With BOOTP tables, showing a row also registers its MAC address
// (plinthctl bootp); without, nothing is registered (plinthctl scan, which
// applies the workers' row changes to it).
#include <vector>

#include "config/row_changes.h"
#include "logic/bootp_report.h"
#include "logic/render_row.h"

namespace plinth {

class ListRows : public SlaveRows, public BootpRows {
 public:
  ListRows(DataList& list, Messages& messages, BootpTables* tables = nullptr)
      : list_(list), messages_(messages), tables_(tables) {}

  DataList& Slaves() override { return list_; }
  int RowCount() const override { return static_cast<int>(texts_.size()); }
  void RenderRow(int row, SlaveRecord* fallback) override;
  void RenderRow(int row) override { RenderRow(row, nullptr); }
  // Every slot up to the first empty one, in order (the start-up fill).
  void RenderAll();

  const std::vector<RowTexts>& Texts() const { return texts_; }

 private:
  DataList& list_;
  Messages& messages_;
  BootpTables* tables_;
  std::vector<RowTexts> texts_;
};

}  // namespace plinth
