#include "ui/slave_list_model.h"

namespace plinth {

int ColumnWidth(int column) {
  static const int widths[kColumnCount] = {40, 56, 100, 86, 36, 100, 50, 208};
  return column >= 0 && column < kColumnCount ? widths[column] : 0;
}

int SlaveListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : Rows(); }

int SlaveListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant SlaveListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= Rows()) return {};
  if (role == Qt::DisplayRole) return QString::fromStdString(Row(index.row())[static_cast<size_t>(index.column())]);
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
  return {};
}

QVariant SlaveListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
  if (role == Qt::DisplayRole) return QString::fromLatin1(ColumnHeadings()[static_cast<size_t>(section)]);
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
  return {};
}

void SlaveListModel::AppendRow() {
  beginInsertRows({}, Rows(), Rows());
  rows_.push_back(RowTexts{std::string(1, '?')});
  endInsertRows();
}

void SlaveListModel::SetRow(int row, const RowTexts& texts) {
  rows_[static_cast<size_t>(row)] = texts;
  emit dataChanged(index(row, 0), index(row, kColumnCount - 1));
}

void SlaveListModel::RemoveLastRow() {
  if (rows_.empty()) return;
  beginRemoveRows({}, Rows() - 1, Rows() - 1);
  rows_.pop_back();
  endRemoveRows();
}

void SlaveListModel::RemoveAll() {
  beginResetModel();
  rows_.clear();
  endResetModel();
}

}  // namespace plinth
