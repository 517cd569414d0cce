#include "ui/slave_list_view.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <algorithm>

namespace plinth {

SlaveListView::SlaveListView(QWidget* parent) : QTreeView(parent) {
  setObjectName(QStringLiteral("slaveList"));
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setContextMenuPolicy(Qt::PreventContextMenu);
  setFrameShape(QFrame::StyledPanel);
  header()->setSectionsClickable(true);
  header()->setSortIndicatorShown(false);
  header()->setStretchLastSection(true);
  header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  connect(header(), &QHeaderView::sectionClicked, this, &SlaveListView::SortRequested);
}

int SlaveListView::DoubleClickTarget(int y) const {
  int rows = model() ? model()->rowCount() : 0;
  if (rows == 0) return -1;
  QModelIndex topIndex = indexAt(QPoint(0, 0));
  int top = topIndex.isValid() ? topIndex.row() : 0;
  if (top + 1 >= rows) return top;  // a single visible row: anywhere edits it
  int upper = visualRect(model()->index(top, 0)).top();
  int next = visualRect(model()->index(top + 1, 0)).top();
  if (next <= upper) return top;
  int target = top + (y - upper) / (next - upper);
  return target < rows ? target : -1;
}

std::vector<int> SlaveListView::SelectedRows() const {
  std::vector<int> rows;
  if (!selectionModel()) return rows;
  for (const QModelIndex& index : selectionModel()->selectedRows()) rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

void SlaveListView::keyPressEvent(QKeyEvent* event) {
  // Enter on a row opens it, as in every list of the desktop, instead of
  // pressing the window's default button (which writes and ends).
  const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
  if (mods == Qt::NoModifier) {
    switch (event->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
      case Qt::Key_F2:
        emit EditKeyPressed();
        return;
      case Qt::Key_Delete:
        emit RemoveKeyPressed();
        return;
      case Qt::Key_Insert:
        emit AddKeyPressed();
        return;
      default:
        break;
    }
  }
  QTreeView::keyPressEvent(event);
}

void SlaveListView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  emit DoubleClickedRow(DoubleClickTarget(event->position().toPoint().y()));
}

void SlaveListView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) return;
  QTreeView::mousePressEvent(event);
}

void SlaveListView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) return;
  QTreeView::mouseReleaseEvent(event);
}

}  // namespace plinth
