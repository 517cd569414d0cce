#pragma once
// "Connect to module" as the main window offers it: the connect flow with
// its Qt windows (the two progress windows, the module status window), set
// as the flow of every Slave Configuration dialog of the window.
#include <QObject>
#include <functional>

#include "logic/connect_flow.h"

namespace plinth {

class MainDialog;
class ModuleDialog;

class ConnectControl : public QObject, public ConnectWindows {
  Q_OBJECT
 public:
  // Attaches to window (and becomes its child); port: the modules' Modbus/TCP port.
  explicit ConnectControl(MainDialog& window, uint16_t port = kModbusPort);

  WaitEnd WaitForAssignment(const std::function<bool()>& assigned) override;
  WaitEnd WaitForConnection(const ConnectWorker& worker) override;
  bool RunModuleDialog(ModuleSession& module) override;
  bool RunExchange(const std::function<void()>& exchange, const std::function<void()>& cancel) override;

  // Runs the module status window and returns its result (exec() unless
  // replaced, by tests).
  void SetModuleDialogRunner(std::function<int(ModuleDialog&)> runner) { moduleRunner_ = std::move(runner); }

 private:
  MainDialog& window_;
  ConnectFlow flow_;
  std::function<int(ModuleDialog&)> moduleRunner_;
};

}  // namespace plinth
