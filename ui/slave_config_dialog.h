#pragma once
// The "Slave Configuration" window over SlaveConfigLogic: it shows the
// working record, takes the typed texts back and forwards each command.
#include <QDialog>

#include "logic/slave_config_logic.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace plinth {

class SlaveConfigDialog : public QDialog {
  Q_OBJECT
 public:
  // Runs logic.Open(autoIpMode) and shows the result.
  SlaveConfigDialog(SlaveConfigLogic& logic, const char* autoIpMode, UserPrompts& prompts, QWidget* parent = nullptr);
  ~SlaveConfigDialog() override;

  void TakeFields();  // controls -> working record
  void ShowFields();  // working record -> controls

  void accept() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void LeaveField(QLineEdit* field, QWidget* target);
  void SelectModule();
  QLineEdit* AddEdit(const char* name);

  SlaveConfigLogic& logic_;
  UserPrompts& prompts_;
  QLineEdit* node_;
  QLineEdit* ip_;
  QLineEdit* mac_;
  QLineEdit* moduleId_;
  QLineEdit* name_;
  QLineEdit* description_;
  QLineEdit* input_;
  QLineEdit* output_;
  QLineEdit* param_;
  QCheckBox* autoIp_;
  QPushButton* ok_;
  QPushButton* cancel_;
  bool checking_ = false;
};

}  // namespace plinth
