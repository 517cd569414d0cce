#include "ui/off_ui_thread.h"

#include <QEventLoop>
#include <system_error>
#include <thread>

namespace plinth {

void RunOffUiThread(const std::function<void()>& work) {
  QEventLoop loop;
  std::thread worker;
  try {
    // The quit is queued to the loop's thread, so it also ends a loop that
    // has not started yet.
    worker = std::thread([&] {
      work();
      QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
  } catch (const std::system_error&) {
    work();  // no thread to be had: the exchange holds the window as it would anyway
    return;
  }
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  worker.join();
}

}  // namespace plinth
