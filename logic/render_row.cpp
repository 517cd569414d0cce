#include "logic/render_row.h"

#include "base/text_scan.h"
#include "config/mac_text.h"
#include "config/module_catalog.h"
#include "net/bootp_tables.h"

namespace plinth {

const std::array<const char*, kColumnCount>& ColumnHeadings() {
  static const std::array<const char*, kColumnCount> headings{
      "Node", "Status", "IP Address", "MAC Address", "ID", "Name", "I/O/P", "Description"};
  return headings;
}

RowTexts RenderRecord(SlaveRecord& r, SlaveRecord* fallback, BootpTables* tables, Messages& messages) {
  SlaveRecord& f = fallback ? *fallback : r;
  RowTexts columns;

  columns[0] = !r.node.empty() ? r.node : f.node;
  columns[1] = !f.status.empty() ? f.status : r.status;

  std::string ip = !r.ipAddress.empty() ? r.ipAddress : f.ipAddress;
  if (ip.empty() && r.bootpAddress != 0) {
    ip = FormatIpv4(r.bootpAddress);
    r.ipAddress = ip;
  }
  columns[2] = ip;

  // The MAC that is shown is the record's own, else the fallback's; reading
  // a typed text changes that field itself.
  MacAddress& m = !IsZeroMac(r.mac) ? r.mac : f.mac;
  if (!r.macAddress.empty()) ReadMacText(r.macAddress, m);
  if (!IsZeroMac(m)) {
    // Not under the address "Reset to BOOTP" took back: that would hand the
    // module its old address at its next request.
    if (tables && (r.bootpWithdrawn.empty() || ip != r.bootpWithdrawn)) AddBootpEntry(*tables, r.mac, ip, messages);
    r.macAddress = FormatMac(m);
  }
  columns[3] = r.macAddress;

  const std::string& moduleId = !r.moduleId.empty() ? r.moduleId : f.moduleId;
  columns[4] = moduleId;
  const ModuleCatalogEntry& entry = FindModuleByText(moduleId);
  if (entry.Known()) {
    r.catalogEntry = &entry;
    r.name = std::string(entry.partNumber);
    r.description = std::string(entry.description);
    r.inputWords = std::to_string(entry.inputWords);
    r.outputWords = std::to_string(entry.outputWords);
    r.paramWords = std::to_string(entry.paramWords);
    columns[5] = r.name;
    columns[6] = r.inputWords + "/" + r.outputWords + "/" + r.paramWords;
    columns[7] = r.description;
  } else {
    r.catalogEntry = nullptr;
    columns[5] = r.name;
    columns[6] = f.inputWords + "/" + f.outputWords + "/" + f.paramWords;
    columns[7] = r.description;
  }
  return columns;
}

}  // namespace plinth
