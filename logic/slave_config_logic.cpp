#include "logic/slave_config_logic.h"

#include <cctype>
#include <climits>
#include <string>

#include "base/text_scan.h"
#include "config/configuration.h"
#include "config/mac_text.h"
#include "config/module_catalog.h"

namespace plinth {

SlaveConfigLogic::SlaveConfigLogic(const SlaveConfigOwner& owner, int slot, UsedNodes& usedNodes,
                                   UserPrompts& prompts)
    : autoIp(owner.autoIpDefault), owner_(owner), slot_(slot), usedNodes_(usedNodes), prompts_(prompts) {
  usedNodes_.fill(0);
  if (!owner_.dataList) return;
  for (int i = 0; i < owner_.dataList->Count(); ++i) {
    const SlaveRecord* r = owner_.dataList->At(i);
    if (i == slot_ || !r || r->node.empty()) continue;
    usedNodes_[static_cast<uint8_t>(ScanDecimal(r->node))] = 1;  // modulo 256
  }
}

std::string SlaveConfigLogic::MasterAddressText() const {
  auto m = ScanDotted(owner_.masterIpText);
  return FormatDotted(m[0], m[1], m[2], m[3]);
}

void SlaveConfigLogic::Open(const char* autoIpMode) {
  ipEditable = !autoIp;
  std::optional<std::string> mode;
  if (autoIpMode) mode = autoIpMode;
  if (!record.node.empty()) {
    int node = ScanDecimal(record.node);
    bool matches = ParseIpv4(record.ipAddress) != 0 && ScanDotted(record.ipAddress)[3] == node;
    if (!matches) mode = "OFF";
  } else if (record.ipAddress.empty()) {
    record.node = std::to_string(owner_.nextNode);
  } else {
    mode = "OFF";
  }
  if (mode && *mode != "ON") {
    autoIp = false;
    autoIpBoxVisible = true;
    ipEditable = true;
  } else {
    autoIpBoxVisible = false;
  }
  if (autoIp) BuildAutoIp();
  if (record.catalogEntry) moduleFieldsLocked = true;
}

void SlaveConfigLogic::BuildAutoIp() {
  auto m = ScanDotted(owner_.masterIpText);
  // A node that reads as a number goes in as that number, so that " 7" or
  // "011" give an address every part of the program reads as .7 or .11;
  // other texts go in as typed (the node check refuses them).
  const std::optional<int> number = ReadWholeDecimal(record.node);
  record.ipAddress = std::to_string(m[0]) + "." + std::to_string(m[1]) + "." + std::to_string(m[2]) + "." +
                     (number ? std::to_string(*number) : record.node);
  if (record.ipAddress != MasterAddressText()) return;
  int node = TryScanDecimal(record.node).value_or(1);
  for (int tries = 0; tries < 256; ++tries) {
    if (++node >= 255) node = 1;
    if (!usedNodes_[static_cast<uint8_t>(node)]) break;
  }
  record.ipAddress = FormatDotted(m[0], m[1], m[2], node);
  record.node = std::to_string(node);
}

bool SlaveConfigLogic::ValidateNode() {
  std::optional<int> node = ReadWholeDecimal(record.node);
  if (!node) {
    prompts_.ShowMessage("Cannot read slave node");
    return false;
  }
  if (*node < 1 || *node > 254) {
    prompts_.ShowMessage("Slave node range is 1..254");
    return false;
  }
  if (usedNodes_[static_cast<uint8_t>(*node)]) {
    prompts_.ShowMessage("Slave node already used");
    return false;
  }
  if (autoIp) BuildAutoIp();
  if (record.ipAddress == MasterAddressText()) {
    prompts_.ShowMessage("SlaveNode illegal. Address conflict with master.");
    return false;
  }
  return true;
}

bool SlaveConfigLogic::ApplyModuleId(int64_t id) {
  if (id == -1 && !record.moduleId.empty()) {
    std::optional<int> number = ReadWholeDecimal(record.moduleId);
    if (!number) {
      prompts_.ShowMessage("Cannot read slave id");
      return false;
    }
    if (*number < 0) {
      prompts_.ShowMessage("Slave id out of range");
      return false;
    }
    id = *number;
  }
  const ModuleCatalogEntry& entry = FindModule(static_cast<uint16_t>(id & 0xFFFF));
  if (entry.Known()) {
    record.moduleId = std::to_string(id);
    record.name = std::string(entry.partNumber);
    record.description = std::string(entry.description);
    record.inputWords = std::to_string(entry.inputWords);
    record.outputWords = std::to_string(entry.outputWords);
    record.paramWords = std::to_string(entry.paramWords);
    moduleFieldsLocked = true;
  } else {
    moduleFieldsLocked = false;
  }
  return true;
}

bool SlaveConfigLogic::Accept() {
  int params = ScanDecimal(record.paramWords);
  int outputs = ScanDecimal(record.outputWords);
  if (params > outputs) {
    if (!prompts_.Ask("The word count for output will be adjusted to " + std::to_string(params) + ".",
                      "Too much parameter words defined!"))
      return false;
    record.outputWords = std::to_string(params);
  }
  if (!ValidateNode()) return false;
  // A typed address must be one: the file would keep "999.1.1.1" as it is.
  if (!autoIp && !record.ipAddress.empty() && !ReadIpv4Octets(record.ipAddress)) {
    prompts_.ShowMessage("IP address " + record.ipAddress +
                         " is not valid: it must be four numbers from 0 to 255 separated by dots.");
    return false;
  }
  // A MAC text that is no address would be saved as none.
  if (!IsMacText(record.macAddress)) {
    prompts_.ShowMessage("MAC address " + record.macAddress +
                         " is not valid: it must be 12 hexadecimal digits, with or without ':' or '-' between pairs.");
    return false;
  }
  if (!ApplyModuleId(-1)) return false;
  if (std::string problem = WordCountProblem(record); !problem.empty()) {
    prompts_.ShowMessage(problem);
    return false;
  }
  return true;
}

bool SlaveConfigLogic::LeaveNode(bool toCancel) { return toCancel || ValidateNode(); }

bool SlaveConfigLogic::LeaveModuleId(bool toCancel) { return toCancel || ApplyModuleId(-1); }

void SlaveConfigLogic::SetAutoIp(bool on) {
  autoIp = on;
  if (autoIp) BuildAutoIp();
  ipEditable = !autoIp;
}

bool SlaveConfigLogic::ConnectToModule() {
  if (record.ipAddress.empty()) {
    prompts_.ShowMessage("Must have an ip-address to make a connection");
    return false;
  }
  return connectFlow && connectFlow(*this);
}

}  // namespace plinth
