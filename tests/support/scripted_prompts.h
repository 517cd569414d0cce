#pragma once
// Prompts answered by the test: every message, question and file dialog is recorded word for word; questions
// and file dialogs take their answers from queues (nothing queued: Cancel).
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>
#include "base/user_prompts.h"

namespace plinth::testing {

using Texts = std::vector<std::string>;

class ScriptedPrompts : public UserPrompts {
 public:
  struct Shown {
    std::string kind, text, title;  // kind: "message", "ask", "open", "save"
    bool operator==(const Shown&) const = default;
  };
  using UserPrompts::ShowMessage;
  void ShowMessage(const std::string& text, const std::string& t) override { shown.push_back({"message", text, t}); }
  bool Ask(const std::string& question, const std::string& title) override {
    shown.push_back({"ask", question, title});
    if (whileAsking) whileAsking();  // as the event loop of a real box would
    return Next(answers);
  }
  std::optional<std::string> OpenFile() override { return shown.push_back({"open", "", ""}), Next(files); }
  std::optional<std::string> SaveFile() override { return shown.push_back({"save", "", ""}), Next(files); }
  std::optional<std::string> SaveOtherFile(const std::string& filter, const std::string&) override {
    return shown.push_back({"save", filter, ""}), Next(files);
  }
  Texts Messages() const {
    Texts texts;
    for (const Shown& s : shown)
      if (s.kind == "message") texts.push_back(s.text);
    return texts;
  }

  std::vector<Shown> shown;
  std::deque<bool> answers;
  std::deque<std::optional<std::string>> files;
  std::function<void()> whileAsking;

 private:
  template <typename T>
  static T Next(std::deque<T>& queue) {
    T front{};
    if (!queue.empty()) front = queue.front(), queue.pop_front();
    return front;
  }
};
using Shown = ScriptedPrompts::Shown;

}  // namespace plinth::testing
