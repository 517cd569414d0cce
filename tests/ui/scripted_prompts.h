#pragma once
// Prompts answered by the test: every message and question is recorded
// word for word; questions and file dialogs take their answers from queues
// (an unexpected question counts as Cancel, an unexpected file dialog as
// cancelled, and both are recorded so that tests can see them).
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/user_prompts.h"

namespace plinth::testing {

class ScriptedPrompts : public UserPrompts {
 public:
  struct Shown {
    std::string kind;  // "message", "ask", "open", "save"
    std::string text;
    std::string title;
    bool operator==(const Shown&) const = default;
  };

  using UserPrompts::ShowMessage;
  void ShowMessage(const std::string& text, const std::string& title) override {
    shown.push_back({"message", text, title});
  }
  bool Ask(const std::string& question, const std::string& title) override {
    shown.push_back({"ask", question, title});
    if (whileAsking) whileAsking();
    if (answers.empty()) return false;
    bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::optional<std::string> OpenFile() override { return NextFile("open"); }
  std::optional<std::string> SaveFile() override { return NextFile("save"); }

  std::vector<std::string> Messages() const {
    std::vector<std::string> texts;
    for (const Shown& s : shown)
      if (s.kind == "message") texts.push_back(s.text);
    return texts;
  }
  void Clear() { shown.clear(); }

  std::vector<Shown> shown;
  std::deque<bool> answers;
  std::deque<std::optional<std::string>> files;
  // Runs while a question is open, as the event loop of a real box would.
  std::function<void()> whileAsking;

 private:
  std::optional<std::string> NextFile(const char* kind) {
    shown.push_back({kind, "", ""});
    if (files.empty()) return std::nullopt;
    auto file = files.front();
    files.pop_front();
    return file;
  }
};

}  // namespace plinth::testing
