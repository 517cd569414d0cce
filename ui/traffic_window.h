#pragma once
// The "Traffic" window: the traffic log shown live, newest at the bottom,
// filtered by address and kind, with Pause, Clear and Save. One window for
// the program, opened by Ctrl+T or from the main window's context menu; it
// stays usable while another window runs modally, as the help window does.
#include <QDialog>
#include <QObject>
#include <QTimer>
#include <memory>

#include "base/user_prompts.h"
#include "logic/traffic_view.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace plinth {

class TrafficTableModel;

class TrafficWindow : public QDialog {
  Q_OBJECT
 public:
  TrafficWindow(const TrafficLog* log, UserPrompts& prompts, QWidget* parent = nullptr);
  ~TrafficWindow() override;

  // Takes in the log's new entries now (the window's timer does it every 200 ms).
  void Poll();
  TrafficView& View() { return view_; }
  void SaveCommand();

 private:
  void Refilter();
  TrafficView view_;
  UserPrompts& prompts_;
  TrafficTableModel* model_;
  QTableView* table_;
  QLineEdit* address_;
  QComboBox* kind_;
  QPushButton* pause_;
  QLabel* status_;
  QTimer timer_;
};

// Opens the program's traffic window on the active log, in front of the
// window whose modal loop runs.
void ShowTrafficWindow(UserPrompts& prompts);

// Installed on the application: Ctrl+T opens the traffic window.
class TrafficKeyFilter : public QObject {
  Q_OBJECT
 public:
  TrafficKeyFilter(UserPrompts& prompts, QObject* parent = nullptr) : QObject(parent), prompts_(prompts) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  UserPrompts& prompts_;
};

}  // namespace plinth
