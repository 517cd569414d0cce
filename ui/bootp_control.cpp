#include "ui/bootp_control.h"

#include <QPushButton>

#include "ui/main_dialog.h"

namespace plinth {

BootpControl::BootpControl(MainDialog& window, BootpServerOptions options, AssignmentReporter::Clock clock)
    : QObject(&window),
      window_(window),
      clock_(clock),
      workerMessages_(window, window.Prompts()),
      server_(window.Net(), workerMessages_, options),
      reporter_(window.Net(), window.Config().dataList, *this, window.CoreMessages(), clock_) {
  connect(&window, &MainDialog::BootpToggled, this, &BootpControl::Switched);
  window.AddTimerHandler([this] { OnTimer1(); });
}

BootpControl::~BootpControl() { workerMessages_.Close(); }

void BootpControl::Switched(bool on) {
  if (on) {
    window_.BootpStartTime() = clock_();
    reporter_.NewServerRun();
    server_.SwitchOn();
  } else {
    server_.SwitchOff();
  }
}

void BootpControl::OnTimer1() {
  // The timer rests while the step runs, so a message box it shows is not
  // shown again underneath by the next tick.
  QTimer& timer = window_.Timer1();
  timer.stop();
  window_.ControlsToFields();
  // A server that ended on an error shows itself off (its message said why).
  if (server_.Failed() && window_.BootpButton()->isChecked()) window_.BootpButton()->setChecked(false);
  BootpReportFields fields{window_.BootpButton()->isChecked(), window_.BootpStartTime(),
                           window_.ScanButton()->isChecked(), window_.ScanAddressText(), {}};
  reporter_.Tick(fields);
  window_.ScanAddressText() = fields.scanAddressText;
  window_.BootpIndicatorText() = fields.bootpIndicatorText;
  window_.FieldsToControls();
  timer.start(window_.TimerPeriod());
}

void BootpControl::RenderRow(int row) { window_.RenderRow(row, nullptr); }

void BootpControl::StopForShutdown() {
  workerMessages_.Close();
  StopBootpServer(server_, window_.CoreMessages());
}

}  // namespace plinth
