#pragma once
// "Advanced settings": burst count and "One cycle output/input"; the
// "Fill UDP dummy-frame" box exists but is never shown, so that setting
// keeps its value.
#include <QDialog>

#include "logic/advanced_settings.h"

class QCheckBox;
class QLineEdit;

namespace plinth {

class AdvancedDialog : public QDialog {
  Q_OBJECT
 public:
  // values: where OK writes back; the dialog starts from them.
  AdvancedDialog(AdvancedValues& values, UserPrompts& prompts, QWidget* parent = nullptr);
  void accept() override;

 private:
  AdvancedValues& values_;
  UserPrompts& prompts_;
  QCheckBox* oneCycle_;
  QCheckBox* fillDummy_;
  QLineEdit* burst_;
};

}  // namespace plinth
