#include "ui/connect_control.h"

#include <QApplication>

#include "ui/main_dialog.h"
#include "ui/module_dialog.h"
#include "ui/off_ui_thread.h"
#include "ui/wait_dialogs.h"

namespace plinth {
namespace {

ConnectWindows::WaitEnd EndOf(int result) {
  if (result == kWaitOk) return ConnectWindows::WaitEnd::kOk;
  if (result == kWaitCancel) return ConnectWindows::WaitEnd::kCancel;
  return ConnectWindows::WaitEnd::kEnded;
}

}  // namespace

ConnectControl::ConnectControl(MainDialog& window, uint16_t port)
    : QObject(&window), window_(window), flow_(window.Net(), window, *this, window.Prompts(), port) {
  window.SetConnectFlow([this](SlaveConfigLogic& slave) { return flow_.Run(slave); });
}

// The progress windows belong to the Slave Configuration dialog that is open.
ConnectWindows::WaitEnd ConnectControl::WaitForAssignment(const std::function<bool()>& assigned) {
  return EndOf(MakeWaitAssignDialog(AssignProgress(assigned), QApplication::activeModalWidget())->exec());
}

ConnectWindows::WaitEnd ConnectControl::WaitForConnection(const ConnectWorker& worker) {
  auto dialog = MakeWaitConnectDialog(ConnectProgress(worker.connecting, worker.connected), QApplication::activeModalWidget());
  return EndOf(dialog->exec());
}

bool ConnectControl::RunModuleDialog(ModuleSession& module) {
  ModuleDialog dialog(module, window_.Prompts());
  return (moduleRunner_ ? moduleRunner_(dialog) : dialog.exec()) == QDialog::Accepted;
}

// The reads of the module status window, before it opens.
bool ConnectControl::RunExchange(const std::function<void()>& exchange, const std::function<void()>& cancel) {
  return RunOffUiThreadShown(exchange, cancel, QStringLiteral("Reading module"), QApplication::activeModalWidget());
}

}  // namespace plinth
