#pragma once
// The module status window over ModuleDialogLogic (already opened): the
// eight read-only fields, "Flash IP Address", "Reset to BOOTP", "Test I/O",
// OK and Cancel. An I/O test that does not end with OK ends this window
// with the same result.
#include <QDialog>
#include <functional>

#include "app/user_prompts.h"
#include "dialogs/module_dialog_logic.h"

class QLineEdit;

namespace plinth {


class ModuleDialog : public QDialog {
  Q_OBJECT
 public:
  ModuleDialog(ModuleDialogLogic& logic, UserPrompts& prompts, QWidget* parent = nullptr);

  void FlashIpAddress();
  void ResetToBootp();
  void TestIo();

 private:
  QLineEdit* AddField(const char* name, const QString& text);

  ModuleDialogLogic& logic_;
  UserPrompts& prompts_;
};

}  // namespace plinth
