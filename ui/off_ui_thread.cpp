#include "ui/off_ui_thread.h"

#include <QEventLoop>
#include <thread>

namespace plinth {

void RunOffUiThread(const std::function<void()>& work) {
  QEventLoop loop;
  // The quit is queued to the loop's thread, so it also ends a loop that
  // has not started yet.
  std::thread worker([&] {
    work();
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  worker.join();
}

}  // namespace plinth
