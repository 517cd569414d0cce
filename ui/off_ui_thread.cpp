#include "ui/off_ui_thread.h"

#include <QApplication>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <system_error>
#include <thread>

#include "ui/wait_dialogs.h"

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

bool RunOffUiThreadShown(const std::function<void()>& work, const std::function<void()>& cancel,
                         const QString& title, QWidget* parent) {
  struct BusyCursor {
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
  } busy;
  std::atomic<bool> finished{false};
  bool cancelled = false;
  QEventLoop loop;
  QPointer<WaitDialog> progress;
  // Receives the worker's end on this thread; destroyed first, so that an
  // end not yet delivered is dropped with it rather than delivered late.
  QObject ends;
  const auto ended = [&] {
    loop.quit();
    if (progress) progress->done(kWaitOk);
  };
  std::thread worker;
  try {
    worker = std::thread([&] {
      work();
      finished.store(true, std::memory_order_release);
      QMetaObject::invokeMethod(&ends, ended, Qt::QueuedConnection);
    });
  } catch (const std::system_error&) {
    work();
    return true;
  }
  QTimer::singleShot(kProgressDelayMs, &loop, &QEventLoop::quit);
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  if (!finished.load(std::memory_order_acquire)) {
    // The bar runs over the longest the reads of a module take: four of the
    // client's 2000 ms.
    WaitDialog window(title, WaitProgress(64, [&finished] { return !finished.load(std::memory_order_acquire); },
                                          [] { return kWaitOk; }),
                      parent);
    window.SetOnCancel([&] {
      cancelled = true;
      cancel();
    });
    progress = &window;
    window.exec();
    progress = nullptr;
    while (!finished.load(std::memory_order_acquire)) loop.exec(QEventLoop::ExcludeUserInputEvents);
  }
  worker.join();
  return !cancelled;
}

}  // namespace plinth
