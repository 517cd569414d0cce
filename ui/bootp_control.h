#pragma once
// The BOOTP server as the main window drives it: the "Boot&P server" button
// switches UdpThread on and off, timer 1 turns the server's tables into list
// changes and moves the indicator beside the button, and the shutdown stops
// the server and waits for it.
#include <QObject>
#include <memory>

#include "logic/bootp_report.h"
#include "net/bootp_server.h"
#include "ui/worker_messages.h"

namespace plinth {

class MainDialog;

class BootpControl : public QObject, private BootpRows {
  Q_OBJECT
 public:
  // Attaches to window (and becomes its child). options: the server's ports
  // and addresses; clock: seconds, for the indicator.
  BootpControl(MainDialog& window, BootpServerOptions options,
               AssignmentReporter::Clock clock = [] { return std::time(nullptr); });
  ~BootpControl() override;

  // First step of the shutdown: no more messages from the server thread,
  // and StopBootpServer (the shutdown then waits for the thread).
  void StopForShutdown();

  UdpThread& Server() { return server_; }

 private:
  void Switched(bool on);
  void OnTimer1();
  void RenderRow(int row) override;

  MainDialog& window_;
  AssignmentReporter::Clock clock_;
  WorkerMessages workerMessages_;
  UdpThread server_;
  AssignmentReporter reporter_;
};

}  // namespace plinth
