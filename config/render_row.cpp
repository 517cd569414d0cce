#include "config/render_row.h"

#include <cctype>
#include <cstdio>

#include "config/text_scan.h"
#include "dialogs/module_catalog.h"
#include "net/bootp_tables.h"

namespace plinth {
namespace {

// A group of 1 to 4 hex digits; anything else reads as 0.
uint16_t ReadHexGroup(std::string_view text) {
  if (text.empty() || text.size() > 4) return 0;
  unsigned value = 0;
  for (char c : text) {
    unsigned digit;
    if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
    else if (c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
    else return 0;
    value = value * 16 + digit;
  }
  return static_cast<uint16_t>(value);
}

void PutGroup(MacAddress& mac, int group, uint16_t value) {
  mac[static_cast<size_t>(2 * group)] = static_cast<uint8_t>(value >> 8);
  mac[static_cast<size_t>(2 * group + 1)] = static_cast<uint8_t>(value & 0xFF);
}

}  // namespace

const std::array<const char*, kColumnCount>& ColumnHeadings() {
  static const std::array<const char*, kColumnCount> headings{
      "Node", "Status", "IP Address", "MAC Address", "ID", "Name", "I/O/P", "Description"};
  return headings;
}

void ReadMacText(std::string_view text, MacAddress& mac) {
  std::string digits;
  digits.reserve(text.size());
  for (char c : text)
    if (c != ':' && c != '-') digits.push_back(c);
  mac.fill(0);
  std::string_view d(digits);
  size_t length = d.size();
  if (length <= 4) {
    PutGroup(mac, 2, ReadHexGroup(d));
  } else if (length <= 8) {
    PutGroup(mac, 2, ReadHexGroup(d.substr(length - 4)));
    PutGroup(mac, 1, ReadHexGroup(d.substr(0, length - 4)));
  } else {
    if (length > 12) length = 12;
    PutGroup(mac, 2, ReadHexGroup(d.substr(length - 4, 4)));
    PutGroup(mac, 1, ReadHexGroup(d.substr(length - 8, 4)));
    PutGroup(mac, 0, ReadHexGroup(d.substr(0, length - 8)));
  }
}

bool ReadMacExact(std::string_view text, MacAddress& mac) {
  size_t digits = 0;
  for (char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c))) ++digits;
    else if (c != ':' && c != '-') return false;
  }
  if (digits != 12) return false;
  ReadMacText(text, mac);
  return true;
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
    if (tables) AddBootpEntry(*tables, r.mac, ip, messages);
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
