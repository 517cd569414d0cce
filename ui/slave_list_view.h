#pragma once
// The slave list in the main window: report view with eight columns and
// multiple selection. A heading click asks for a sort, a double-click asks to
// edit the row under the pointer (or to add a slave below the last row), and
// the right button does nothing. Enter and F2 ask to edit the selected rows,
// Delete to remove them, Insert to add a slave.
#include <QTreeView>

namespace plinth {

class SlaveListView : public QTreeView {
  Q_OBJECT
 public:
  explicit SlaveListView(QWidget* parent = nullptr);

  // The row a double-click at height y of the viewport edits, or -1 for Add.
  int DoubleClickTarget(int y) const;
  // Selected rows in ascending order.
  std::vector<int> SelectedRows() const;

 signals:
  void SortRequested(int column);
  void DoubleClickedRow(int row);  // -1: below the last row, or an empty list
  void EditKeyPressed();
  void RemoveKeyPressed();
  void AddKeyPressed();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace plinth
