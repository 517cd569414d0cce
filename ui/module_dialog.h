#pragma once
// The module status window over ModuleSession (already opened): the
// eight read-only fields, "Flash IP Address", "Reset to BOOTP", "Test I/O",
// OK and Cancel. An I/O test that does not end with OK ends this window
// with the same result.
#include <QDialog>
#include <functional>

#include "base/user_prompts.h"
#include "logic/module_session.h"

class QLineEdit;

namespace plinth {


class ModuleDialog : public QDialog {
  Q_OBJECT
 public:
  ModuleDialog(ModuleSession& logic, UserPrompts& prompts, QWidget* parent = nullptr);

  void FlashIpAddress();
  void ResetToBootp();
  void TestIo();

 private:
  QLineEdit* AddField(const char* name, const QString& text);

  ModuleSession& logic_;
  UserPrompts& prompts_;
};

}  // namespace plinth
