#pragma once
// A session with one connected module, as the module status window and
// plinthctl's module commands run it: the reads on opening and the eight
// fields they fill, "Flash IP Address", "Reset to BOOTP" and the start of the
// I/O test.
#include <cstdint>
#include <string>

#include "base/messages.h"
#include "logic/io_test_logic.h"
#include "net/bootp_tables.h"
#include "net/module_status.h"

namespace plinth {

// The texts of the eight read-only fields.
struct ModuleFields {
  std::string moduleId;    // status word 3, "%d"
  std::string mac;         // text block, or the MAC address
  std::string inputWords;  // status word 1
  std::string outputWords; // status word 2
  std::string health;      // status word 9, "%04X"
  std::string lastError;   // status word 10, "%04X"
  std::string errorCount;  // status word 11, "%d"
  std::string timeout;     // milliseconds; the field is never shown
};

class ModuleSession {
 public:
  static constexpr uint8_t kUnit = 1;

  // connection: the connected socket, closed (and set to -1) by "Flash IP
  // Address"; the creator closes it after the dialog otherwise.
  ModuleSession(int& connection, std::string slaveIp, BootpTables& tables, Messages& messages);

  // Opening: the reads in their order, their messages, the fields.
  void Open();
  // Open in two halves: the reads, which may run on another thread, and
  // their messages and fields on the caller's thread.
  void Read();
  void Report();
  // Keeps the module's address; the connection is closed afterwards.
  void FlashIpAddress();
  // Sends the module back to BOOTP and withdraws its BOOTP entry; the
  // dialog then ends with OK. The window asks ResetQuestion() first: the
  // module forgets its address at once.
  void ResetToBootp();
  std::string ResetQuestion() const;
  static constexpr const char* kResetTitle = "Reset to BOOTP";
  // The I/O test of this module on this connection.
  IoTestLogic MakeIoTest() const;

  std::string Title() const { return "Slave IP-Addr: " + slaveIp_; }
  const ModuleStatus& Status() const { return status_; }

  ModuleFields fields;
  bool commandsEnabled = true;  // "Flash IP Address", "Reset to BOOTP", "Test I/O"
  bool resetDone = false;

 private:
  int& connection_;
  std::string slaveIp_;
  BootpTables& tables_;
  Messages& messages_;
  ModuleStatus status_;
};

}  // namespace plinth
