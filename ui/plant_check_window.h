#pragma once
// The plant check window ("Plant check"): checks the main window's list
// against the live network off the user-interface thread, with a progress
// bar and Cancel, and shows one row per slave with its result (text and
// icon), expected and found values, and a summary. From there the found
// values are taken into the list, modules the sweep found are added, and
// the report is saved, printed or saved as PDF. Its decisions are
// CheckWindowLogic's; this class holds the widgets.
#include <QDialog>
#include <QTimer>
#include <memory>
#include <vector>

#include "logic/check_window_logic.h"
#include "logic/plant_check.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace plinth {

class MainDialog;

class PlantCheckWindow : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kPollMs = 100;

  PlantCheckWindow(MainDialog& main, PlantCheckOptions options, UserPrompts& prompts, QWidget* parent = nullptr);
  ~PlantCheckWindow() override;

  // The buttons' commands.
  void StartCheck();
  void CancelCheck();
  void TakeFoundValues();
  void AddToList();
  void SaveReport();
  void Print();
  void SaveAsPdf();

  bool Running() const { return check_ != nullptr; }
  CheckWindowLogic& Logic() { return logic_; }
  QTreeWidget* Table() const { return table_; }

  // Escape and closing the window: a running check is cancelled first.
  void reject() override;

 private:
  class ListAdapter;
  void Poll();
  void Refresh();
  void UpdateButtons();
  std::vector<int> SelectedRows() const;

  MainDialog& main_;
  const PlantCheckOptions options_;
  UserPrompts& prompts_;
  std::unique_ptr<ListAdapter> list_;
  CheckWindowLogic logic_;
  std::unique_ptr<PlantCheck> check_;
  CheckRecord checkedFile_;  // the file of the list the running check took
  bool closeWhenDone_ = false;
  QTimer poll_;

  QCheckBox* sweep_;
  QLabel* network_;
  QProgressBar* bar_;
  QTreeWidget* table_;
  QLabel* summary_;
  QPushButton* checkButton_;
  QPushButton* cancelButton_;
  QPushButton* takeButton_;
  QPushButton* addButton_;
  QPushButton* saveButton_;
  QPushButton* printButton_;
  QPushButton* pdfButton_;
  QPushButton* closeButton_;
};

}  // namespace plinth
