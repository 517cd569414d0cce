#pragma once
// The two small progress windows of the module connection: "Waiting for
// connection" and "Waiting for ip assignment". Each polls its worker's flags
// every 250 ms, moves its bar by 2 and ends itself when the worker
// is done or the bar is full; Cancel ends it at once.
#include <QDialog>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QProgressBar;
class QTimer;

namespace plinth {


// Results of exec(): the plain end (time up or worker done without the
// assignment), OK and Cancel.
inline constexpr int kWaitEnded = 0;
inline constexpr int kWaitOk = 1;
inline constexpr int kWaitCancel = 2;

// The polling, without the window.
class WaitProgress {
 public:
  WaitProgress(int top, std::function<bool()> goesOn, std::function<int()> endResult)
      : top_(top), goesOn_(std::move(goesOn)), endResult_(std::move(endResult)) {}

  // One tick: nullopt while the wait goes on, else the dialog's result.
  std::optional<int> Tick();
  int Position() const { return position_; }
  int Top() const { return top_; }

 private:
  int top_;
  int position_ = 0;
  std::function<bool()> goesOn_;
  std::function<int()> endResult_;
};

// Range 0..80 over the flags of one connect worker: goes on while connecting
// and not connected; ends with OK.
// Range 0..160 over a test of the slave's mark "assigned": OK once it holds,
// kWaitEnded when time is up.
WaitProgress ConnectProgress(const std::atomic<uint8_t>& connecting, const std::atomic<uint8_t>& connected);
WaitProgress AssignProgress(std::function<bool()> assigned);

class WaitDialog : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kPeriodMs = 250;

  WaitDialog(const QString& title, WaitProgress progress, QWidget* parent = nullptr);

  // Run on Cancel before the dialog ends (the connect flow lets go of its
  // worker there; the worker itself is not stopped).
  void SetOnCancel(std::function<void()> onCancel) { onCancel_ = std::move(onCancel); }
  const WaitProgress& Progress() const { return progress_; }
  QProgressBar* Bar() const { return bar_; }

  void reject() override;
  // One timer tick (public so that tests can step it).
  void Tick();

 protected:
  // The polling starts when the window opens, not when it is built.
  void showEvent(QShowEvent* event) override;

 private:
  WaitProgress progress_;
  QProgressBar* bar_;
  QTimer* timer_;
  std::function<void()> onCancel_;
};

std::unique_ptr<WaitDialog> MakeWaitConnectDialog(WaitProgress progress, QWidget* parent);
std::unique_ptr<WaitDialog> MakeWaitAssignDialog(WaitProgress progress, QWidget* parent);

}  // namespace plinth
