#pragma once
// Every question the program puts to the user goes through this interface:
// message boxes, yes/no questions and the file dialogs. The window uses Qt's
// boxes; tests answer with their own.
#include <optional>
#include <string>

#include "base/messages.h"

namespace plinth {

class UserPrompts {
 public:
  virtual ~UserPrompts() = default;
  // A message with an OK button.
  virtual void ShowMessage(const std::string& text, const std::string& title) = 0;
  // A question with OK and Cancel buttons; true for OK.
  virtual bool Ask(const std::string& question, const std::string& title) = 0;
  // The open and save dialogs for configuration files; nullopt when cancelled.
  virtual std::optional<std::string> OpenFile() = 0;
  virtual std::optional<std::string> SaveFile() = 0;
  // The save dialog for another kind of file (a report): filter in the
  // form "HTML page (*.html);;CSV (*.csv)", the suffix added to a name
  // without one. nullopt when cancelled.
  virtual std::optional<std::string> SaveOtherFile(const std::string& filter, const std::string& suffix) = 0;

  void ShowMessage(const std::string& text) { ShowMessage(text, kAppName); }
};

// The core's messages shown through the prompts.
class PromptMessages : public Messages {
 public:
  explicit PromptMessages(UserPrompts& prompts) : prompts_(prompts) {}
  using Messages::Show;
  void Show(const std::string& text, const std::string& title) override { prompts_.ShowMessage(text, title); }

 private:
  UserPrompts& prompts_;
};

}  // namespace plinth
