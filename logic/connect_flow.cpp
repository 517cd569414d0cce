#include "logic/connect_flow.h"

#include "base/text_scan.h"
#include "config/module_catalog.h"
#include "net/tcp_connect.h"

namespace plinth {

using WaitEnd = ConnectWindows::WaitEnd;

ConnectFlow::ConnectFlow(NetState& net, SlaveRows& rows, ConnectWindows& windows, UserPrompts& prompts,
                         uint16_t port)
    : net_(net), rows_(rows), windows_(windows), messages_(prompts), port_(port) {}

bool ConnectFlow::Run(SlaveConfigLogic& slave) {
  SlaveRecord& r = slave.record;
  const uint32_t address = ParseIpv4(r.ipAddress);
  if (address == 0) {
    messages_.Show("cannot read ip-address!");
    return false;
  }
  if (!Register(slave, address)) return false;

  int connection = Connect(address);
  const bool resetDone = connection >= 0 && TalkToModule(slave, connection);
  CloseSocket(connection);
  if (!resetDone) return false;
  // Back to BOOTP: the next connect registers the module again and waits
  // for a new assignment; until then its withdrawn address is not
  // registered again when its row is drawn.
  r.status = "bootp";
  r.bootpAssigned = false;
  r.bootpWithdrawn = r.ipAddress;
  return true;
}

bool ConnectFlow::Register(SlaveConfigLogic& slave, uint32_t address) {
  SlaveRecord& r = slave.record;
  if (r.status != "bootp") return true;
  if (!net_.BootpServing()) {
    messages_.Show("Bootp-Server must be enabled to assign an ip-address");
    return false;
  }
  // The user gives the module an address: registered anew, whatever
  // "Reset to BOOTP" withdrew before.
  r.bootpWithdrawn.clear();
  SlaveRecord* listed = slave.Slot() >= 0 ? rows_.Slaves().At(slave.Slot()) : nullptr;
  if (listed) {
    listed->ipAddress = r.ipAddress;
    listed->bootpWithdrawn.clear();
    // The row shows the address its record now has (a slave being added has
    // no row yet).
    if (slave.Slot() < rows_.RowCount()) rows_.RenderRow(slave.Slot(), nullptr);
  }
  AddBootpEntry(net_.bootp, r.mac, r.ipAddress, messages_);
  if (address == r.bootpAddress || r.macAddress.empty() || !listed) return true;

  // The timer step marks the listed record "assigned" while this waits: the
  // mark moves no row, so it is applied although the dialog holds the list.
  switch (windows_.WaitForAssignment([listed] { return listed->bootpAssigned; })) {
    case WaitEnd::kOk:
      return true;
    case WaitEnd::kCancel:
      return false;
    case WaitEnd::kEnded:
      break;
  }
  messages_.Show("Cannot assign ip-address!");
  return false;
}

int ConnectFlow::Connect(uint32_t address) {
  const int socket = OpenTcpSocket();
  if (socket < 0) {
    messages_.Show("socket() failed!");
    return -1;
  }
  ConnectWorker worker(socket, address, port_, kConnectWaitMs);
  if (!worker.Start()) {
    messages_.Show("Connect thread failed!");
    return -1;
  }
  const WaitEnd end = windows_.WaitForConnection(worker);
  worker.Cancel();
  worker.Join();
  if (end == WaitEnd::kCancel) return -1;  // the worker closes its socket
  if (worker.connected.load(std::memory_order_acquire) == 0) {
    messages_.Show("connect to module failed!");
    return -1;
  }
  return worker.TakeSocket();
}

bool ConnectFlow::TalkToModule(SlaveConfigLogic& slave, int& connection) {
  SlaveRecord& r = slave.record;
  if (r.name.empty()) {
    const ModuleCatalogEntry& entry = FindModuleByText(r.moduleId);
    r.name = std::string(entry.partNumber);
    r.description = std::string(entry.description);
  }
  r.status = "ok";
  slave.ShowFields();

  ModuleSession module(connection, r.ipAddress, net_.bootp, messages_);
  // Cancel wakes the reads blocked on the connection; they then fail at once.
  const int socket = connection;
  if (!windows_.RunExchange([&module] { module.Read(); }, [socket] { WakeSocket(socket); })) return false;
  module.Report();
  // Without the status block the module's ID and word counts are unknown:
  // OK then leaves the slave's module fields as they were.
  if (windows_.RunModuleDialog(module) && module.Status().statusRead) {
    r.moduleId = module.fields.moduleId;
    const ModuleCatalogEntry& entry = FindModuleByText(r.moduleId);
    r.name = std::string(entry.partNumber);
    r.description = std::string(entry.description);
    if (r.description.empty()) r.description = module.fields.mac;
    r.paramWords = std::to_string(entry.paramWords);
    r.inputWords = module.fields.inputWords;
    r.outputWords = module.fields.outputWords;
    r.macAddress = module.fields.mac;
    slave.moduleFieldsLocked = true;
    slave.ShowFields();
  }
  return module.resetDone;
}

}  // namespace plinth
