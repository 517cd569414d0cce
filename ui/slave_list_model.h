#pragma once
// The rows of the slave list: row i shows slot i of dataList. The rows keep
// only the texts that RenderRow last wrote.
#include <QAbstractTableModel>
#include <vector>

#include "logic/render_row.h"

namespace plinth {

class SlaveListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  using QAbstractTableModel::QAbstractTableModel;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  int Rows() const { return static_cast<int>(rows_.size()); }
  const RowTexts& Row(int row) const { return rows_[static_cast<size_t>(row)]; }
  // Appends a row showing "?" in column 0.
  void AppendRow();
  void SetRow(int row, const RowTexts& texts);
  void RemoveLastRow();
  void RemoveAll();

 private:
  std::vector<RowTexts> rows_;
};

// Column widths in pixels, in column order.
int ColumnWidth(int column);

}  // namespace plinth
