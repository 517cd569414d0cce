#include "ui/net_scan_control.h"

#include "ui/main_dialog.h"

namespace plinth {

NetScanControl::NetScanControl(MainDialog& window, ScanOptions options, ScanObserver* observer)
    : QObject(&window),
      window_(window),
      options_(options),
      observer_(observer),
      workerMessages_(window, window.Prompts()) {
  connect(&window, &MainDialog::ScanToggled, this, &NetScanControl::Switched);
  window.AddTimerHandler([this] { OnTimer1(); });
}

// Runs while the window is being destroyed: only this object's own members.
NetScanControl::~NetScanControl() { workerMessages_.Close(); }

void NetScanControl::Switched(bool on) {
  window_.ControlsToFields();
  if (!on) {
    if (scanner_) scanner_->RequestStop();
    return;
  }
  window_.repaint();
  if (!scanner_) {
    scanner_ = std::make_unique<NetScanner>(window_.Net(), workerMessages_, options_, observer_);
    window_.SetScanControl(scanner_.get());
  }
  scanner_->Start(window_.ScanAddressText());
}

void NetScanControl::OnTimer1() {
  if (!scanner_) return;
  if (scanner_->TakeFullNotice()) window_.CoreMessages().Show("dataList full");
  for (const std::string& notice : scanner_->TakeNodeNotices()) window_.CoreMessages().Show(notice);
}

}  // namespace plinth
