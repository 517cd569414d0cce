#include "ui/wait_dialogs.h"

#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>


namespace plinth {

std::optional<int> WaitProgress::Tick() {
  if (goesOn_() && position_ < top_) {
    position_ += 2;
    return std::nullopt;
  }
  return endResult_();
}

WaitProgress ConnectProgress(const std::atomic<uint8_t>& connecting, const std::atomic<uint8_t>& connected) {
  return WaitProgress(
      80, [&] { return connecting.load() == 1 && connected.load() == 0; }, [] { return kWaitOk; });
}

WaitProgress AssignProgress(std::function<bool()> assigned) {
  return WaitProgress(
      160, [assigned] { return !assigned(); }, [assigned] { return assigned() ? kWaitOk : kWaitEnded; });
}

WaitDialog::WaitDialog(const QString& title, WaitProgress progress, QWidget* parent)
    : QDialog(parent), progress_(std::move(progress)) {
  setWindowTitle(title);
  setObjectName(QStringLiteral("waitDialog"));
  bar_ = new QProgressBar(this);
  bar_->setObjectName(QStringLiteral("progressBar"));
  bar_->setRange(0, progress_.Top());
  bar_->setValue(0);
  bar_->setTextVisible(false);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  cancel->setObjectName(QStringLiteral("cancelButton"));
  cancel->setAutoDefault(false);  // Enter does nothing; only Cancel or the worker ends the wait
  connect(cancel, &QPushButton::clicked, this, &WaitDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(bar_);
  layout->addWidget(cancel, 0, Qt::AlignHCenter);
  resize(300, sizeHint().height());
  timer_ = new QTimer(this);
  timer_->setInterval(kPeriodMs);
  connect(timer_, &QTimer::timeout, this, &WaitDialog::Tick);
}

void WaitDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  timer_->start();
}

void WaitDialog::Tick() {
  std::optional<int> result = progress_.Tick();
  if (!result) {
    bar_->setValue(progress_.Position());
    return;
  }
  timer_->stop();
  done(*result);
}

void WaitDialog::reject() {
  if (onCancel_) onCancel_();
  timer_->stop();
  done(kWaitCancel);
}

std::unique_ptr<WaitDialog> MakeWaitConnectDialog(WaitProgress progress, QWidget* parent) {
  return std::make_unique<WaitDialog>(QStringLiteral("Waiting for connection"), std::move(progress), parent);
}

std::unique_ptr<WaitDialog> MakeWaitAssignDialog(WaitProgress progress, QWidget* parent) {
  return std::make_unique<WaitDialog>(QStringLiteral("Waiting for ip assignment"), std::move(progress), parent);
}

}  // namespace plinth
