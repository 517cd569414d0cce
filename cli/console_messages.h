#pragma once
// Messages of the core printed on standard error: "title: text", or just the
// text when the title is the application's name.
#include <cstdio>

#include "base/messages.h"

namespace plinth {

class ConsoleMessages : public Messages {
 public:
  using Messages::Show;
  void Show(const std::string& text, const std::string& title) override {
    ++count;
    if (title == kAppName) std::fprintf(stderr, "%s\n", text.c_str());
    else std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
  }
  int count = 0;
};

}  // namespace plinth
