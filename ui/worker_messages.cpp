#include "ui/worker_messages.h"

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <cstdio>
#include <future>
#include <memory>

namespace plinth {

void WorkerMessages::Show(const std::string& text, const std::string& title) {
  if (QThread::currentThread() == context_.thread()) {
    prompts_.ShowMessage(text, title);
    return;
  }
  if (closed_.load(std::memory_order_acquire)) {
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    return;
  }
  auto answered = std::make_shared<std::promise<void>>();
  std::future<void> done = answered->get_future();
  QMetaObject::invokeMethod(
      &context_,
      [this, text, title, answered] {
        if (!closed_.load(std::memory_order_acquire)) prompts_.ShowMessage(text, title);
        answered->set_value();
      },
      Qt::QueuedConnection);
  // A call still queued when the window goes is dropped with it; the flag
  // then ends the wait.
  while (done.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready)
    if (closed_.load(std::memory_order_acquire)) return;
}

}  // namespace plinth
