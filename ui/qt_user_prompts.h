#pragma once
// The user's prompts as Qt shows them: message boxes titled "Plinth" (or the
// title given), without an icon, with the buttons named; the file dialogs
// for configuration files.
#include <QWidget>
#include <QPointer>

#include "base/user_prompts.h"

namespace plinth {

class QtUserPrompts : public UserPrompts {
 public:
  // parent: the window the boxes belong to; may change while the program runs.
  void SetParent(QWidget* parent) { parent_ = parent; }

  using UserPrompts::ShowMessage;
  void ShowMessage(const std::string& text, const std::string& title) override;
  bool Ask(const std::string& question, const std::string& title) override;
  SaveChoice AskToSave(const std::string& question, const std::string& title) override;
  std::optional<std::string> OpenFile() override;
  std::optional<std::string> SaveFile() override;
  std::optional<std::string> OpenOtherFile(const std::string& title, const std::string& filter) override;
  std::optional<std::string> SaveOtherFile(const std::string& title, const std::string& filter,
                                           const std::string& suffix) override;

 private:
  QWidget* Parent() const;
  std::optional<std::string> SaveDialog(const QString& title, const QString& filter, const std::string& suffix);
  QPointer<QWidget> parent_;
};

// The filter of both file dialogs.
QString ConfigFileFilter();

}  // namespace plinth
