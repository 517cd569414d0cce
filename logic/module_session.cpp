#include "logic/module_session.h"

#include "base/text_scan.h"
#include "net/modbus_client.h"
#include "net/tcp_connect.h"

namespace plinth {
namespace {

// The fields for what was read: empty where the status block was not read.
ModuleFields FieldsOf(const ModuleStatus& status) {
  ModuleFields f;
  f.mac = status.macField;
  if (status.timeoutRead) f.timeout = std::to_string(status.timeoutMs);
  if (!status.statusRead) return f;
  const auto& w = status.words;
  f.moduleId = std::to_string(w[kStatusModuleId]);
  f.inputWords = std::to_string(w[kStatusInputWords]);
  f.outputWords = std::to_string(w[kStatusOutputWords]);
  f.health = FormatHex4(w[kStatusHealth]);
  f.lastError = FormatHex4(w[kStatusLastError]);
  f.errorCount = std::to_string(w[kStatusErrorCount]);
  return f;
}

}  // namespace

ModuleSession::ModuleSession(int& connection, std::string slaveIp, BootpTables& tables, Messages& messages)
    : connection_(connection), slaveIp_(std::move(slaveIp)), tables_(tables), messages_(messages) {}

void ModuleSession::Open() {
  Read();
  Report();
}

void ModuleSession::Read() { status_ = ReadModuleStatus(connection_, kUnit); }

void ModuleSession::Report() {
  if (!status_.statusRead) {
    messages_.Show("ReadNode STATUS_BLOCK failed!");
    commandsEnabled = false;
  }
  if (!status_.statisticsRead) messages_.Show("GetStatistics for MAC-Addr failed!");
  fields = FieldsOf(status_);
}

void ModuleSession::FlashIpAddress() {
  WriteFlashFlag(connection_, true);
  CloseSocket(connection_);
  connection_ = -1;  // later requests of this dialog fail
}

std::string ModuleSession::ResetQuestion() const {
  return "Send the module at " + slaveIp_ +
         " back to BOOTP? It forgets this IP address and asks the BOOTP server for one again.";
}

void ModuleSession::ResetToBootp() {
  WriteFlashFlag(connection_, false);
  RemoveBootpEntry(tables_, slaveIp_);
  resetDone = true;
}

IoTestLogic ModuleSession::MakeIoTest() const {
  const auto& w = status_.words;
  return IoTestLogic(connection_, w[kStatusModuleId], kUnit, w[kStatusInputWords], w[kStatusOutputWords]);
}

}  // namespace plinth
