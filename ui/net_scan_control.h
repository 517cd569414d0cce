#pragma once
// The network scan as the main window drives it: "S&can bus" (mouse or
// keyboard) starts the scan from the address in the IP-Address field and
// stops it; the scanner is made on the first start and kept. Cancel reaches
// it through the window's ScanControl; timer 1 shows "dataList full" once
// per scan when a found module had no free slot. (The timer's step of the
// IP-Address field to the host about to be tried is part of the BOOTP
// control's timer step.)
#include <QObject>
#include <memory>

#include "net/net_scanner.h"
#include "ui/worker_messages.h"

namespace plinth {

class MainDialog;

class NetScanControl : public QObject {
  Q_OBJECT
 public:
  // Attaches to window (and becomes its child). options: the port (502 in
  // the program), the connect bound and the pacing; observer: told of each
  // probe (may be null).
  NetScanControl(MainDialog& window, ScanOptions options = {}, ScanObserver* observer = nullptr);
  // No more messages from the scan's threads; waits for the probes still
  // running (each is bounded).
  ~NetScanControl() override;

  // None until the first start.
  NetScanner* Scanner() { return scanner_.get(); }

 private:
  void Switched(bool on);
  void OnTimer1();

  MainDialog& window_;
  const ScanOptions options_;
  ScanObserver* observer_;
  WorkerMessages workerMessages_;
  std::unique_ptr<NetScanner> scanner_;
};

}  // namespace plinth
