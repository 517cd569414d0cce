#pragma once
// "Connect to module" of the Slave Configuration dialog, after its first
// check: a "bootp" module is registered with the typed address and its
// assignment awaited, a connect worker opens the Modbus/TCP connection, the
// module status window runs on it, and what the module reports is taken
// into the slave's fields. The windows it opens are behind ConnectWindows,
// so the flow itself holds no widget.
#include <cstdint>
#include <functional>

#include "base/user_prompts.h"
#include "config/row_changes.h"
#include "config/slave_record.h"
#include "logic/module_session.h"
#include "logic/slave_config_logic.h"
#include "net/connect_worker.h"
#include "net/modbus_registers.h"
#include "net/net_state.h"

namespace plinth {

class ConnectWindows {
 public:
  enum class WaitEnd { kEnded, kOk, kCancel };
  virtual ~ConnectWindows() = default;
  // "Waiting for ip assignment": OK at the first tick at which assigned()
  // holds, kEnded when its time is up, kCancel.
  virtual WaitEnd WaitForAssignment(const std::function<bool()>& assigned) = 0;
  // "Waiting for connection" over the worker's flags: OK or kCancel.
  virtual WaitEnd WaitForConnection(const ConnectWorker& worker) = 0;
  // The module status window over module (already opened); true for OK.
  virtual bool RunModuleDialog(ModuleSession& module) = 0;
  // Runs a blocking exchange with a module; the windows may go on
  // (repainting, their timers) meanwhile, and show that the module is being
  // read. The user may cancel it: then cancel() is called, which ends the
  // exchange early, and the result is false once the exchange has ended.
  virtual bool RunExchange(const std::function<void()>& exchange, const std::function<void()>& /*cancel*/) {
    exchange();
    return true;
  }
};

class ConnectFlow {
 public:
  // The connect worker's own bound: a little beyond the 40 steps of 250 ms
  // of its window, which ends the wait (and then the worker) first.
  static constexpr int kConnectWaitMs = 11000;

  // rows: the main window's slaves (the edited slave's record there
  // receives the address, and its row is drawn anew; the timer step marks it
  // "assigned").
  ConnectFlow(NetState& net, SlaveRows& rows, ConnectWindows& windows, UserPrompts& prompts,
              uint16_t port = kModbusPort);

  // The flow on the dialog's working record, whose address is not empty.
  // True when the Slave Configuration dialog is to end with OK.
  bool Run(SlaveConfigLogic& slave);

 private:
  // False when the flow ends before connecting.
  bool Register(SlaveConfigLogic& slave, uint32_t address);
  // The connected socket, or -1 (message shown unless cancelled).
  int Connect(uint32_t address);
  // The module status window on connection; true when it sent the module
  // back to BOOTP.
  bool TalkToModule(SlaveConfigLogic& slave, int& connection);

  NetState& net_;
  SlaveRows& rows_;
  ConnectWindows& windows_;
  PromptMessages messages_;
  uint16_t port_;
};

}  // namespace plinth
