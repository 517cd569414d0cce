#pragma once
// The I/O test window over IoTestLogic: every 100 ms after the end of the
// last cycle it reads the module's inputs and writes its outputs, showing
// the first eight words of each; "Set Output" takes the typed words.
// Result: OK on "Close", Cancel when a cycle failed or on Escape.
#include <QDialog>
#include <QTimer>
#include <array>

#include "base/user_prompts.h"
#include "logic/io_test_logic.h"

class QLineEdit;

namespace plinth {

class TestIoDialog : public QDialog {
  Q_OBJECT
 public:
  TestIoDialog(IoTestLogic& logic, UserPrompts& prompts, QWidget* parent = nullptr);

  // One expiry of the cycle timer (public so that tests can step it).
  void Cycle();
  void SetOutput();
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void TakeFields();
  void ShowFields();

  IoTestLogic& logic_;
  PromptMessages messages_;
  std::array<QLineEdit*, IoTestLogic::kShownWords> inputs_{};
  std::array<QLineEdit*, IoTestLogic::kShownWords> outputs_{};
  QTimer cycleTimer_;
  bool opened_ = false;   // the first show has started the cycles
  bool inCycle_ = false;  // a cycle's exchange is running
};

}  // namespace plinth
