#pragma once
// Where the core's messages go. The window shows them in message boxes, the
// command line prints them, tests record them.
#include <string>
#include <vector>

namespace plinth {

inline constexpr const char* kAppName = "Plinth";

class Messages {
 public:
  virtual ~Messages() = default;
  // A message with an OK button; title defaults to the application's name.
  virtual void Show(const std::string& text, const std::string& title) = 0;
  void Show(const std::string& text) { Show(text, kAppName); }
};

// Keeps every message, for tests and for callers that report later.
class RecordedMessages : public Messages {
 public:
  struct Entry {
    std::string text;
    std::string title;
  };
  using Messages::Show;
  void Show(const std::string& text, const std::string& title) override { entries.push_back({text, title}); }
  std::vector<Entry> entries;
};

}  // namespace plinth
