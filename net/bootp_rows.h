#pragma once
// A list without a window: RenderRow brings the record up to date exactly as
// the list view does (and registers its MAC address for BOOTP) and keeps the
// row's texts. Used by plinthctl bootp and by tests.
#include <vector>

#include "config/render_row.h"
#include "net/bootp_report.h"

namespace plinth {

class RenderedRows : public BootpRows {
 public:
  RenderedRows(DataList& dataList, BootpTables& tables, Messages& messages)
      : dataList_(dataList), tables_(tables), messages_(messages) {}

  void RenderRow(int row) override;
  // Every slot up to the first empty one, in order (start-up fill).
  void RenderAll();

  const std::vector<RowTexts>& Texts() const { return texts_; }

 private:
  DataList& dataList_;
  BootpTables& tables_;
  Messages& messages_;
  std::vector<RowTexts> texts_;
};

}  // namespace plinth
