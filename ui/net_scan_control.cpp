#include "ui/net_scan_control.h"

#include <QPushButton>
#include <QSignalBlocker>

#include "base/text_scan.h"
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
  // A field that names no network starts nothing, and the button says so.
  const std::string address = window_.ScanAddressText();
  if (ParseIpv4(address) == 0) {
    {
      const QSignalBlocker quiet(window_.ScanButton());
      window_.ScanButton()->setChecked(false);  // first: the timer steps the field of a checked button
    }
    window_.CoreMessages().Show("IP-Address \"" + address +
                                "\" cannot be read: the scan needs a dotted address such as 192.168.1.10.");
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
