#pragma once
// Messages raised on a worker thread, shown by the window's thread. The
// worker waits until the user has answered, as it would on its own box, but
// never once the window is closing: then the message goes to standard error
// and the worker goes on.
#include <QObject>
#include <atomic>

#include "base/user_prompts.h"

namespace plinth {

class WorkerMessages : public Messages {
 public:
  // context: a QObject living on the window's thread; the boxes are shown
  // there.
  WorkerMessages(QObject& context, UserPrompts& prompts) : context_(context), prompts_(prompts) {}

  using Messages::Show;
  void Show(const std::string& text, const std::string& title) override;

  // From now on nothing is shown; workers waiting for an answer go on.
  void Close() { closed_.store(true, std::memory_order_release); }

 private:
  QObject& context_;
  UserPrompts& prompts_;
  std::atomic<bool> closed_{false};
};

}  // namespace plinth
