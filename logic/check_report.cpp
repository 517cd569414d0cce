#include "logic/check_report.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>

#include "base/text_scan.h"
#include "config/generic_bus_table.h"
#include "config/mac_text.h"
#include "net/modbus_registers.h"

namespace plinth {
namespace {

// The MAC address the list has for r: its text when it has one, else its bytes.
MacAddress ListedMac(const SlaveRecord& r) {
  MacAddress mac = r.mac;
  if (!r.macAddress.empty()) ReadMacText(r.macAddress, mac);
  return mac;
}

std::string OrNone(const std::string& text) { return text.empty() ? "none" : text; }

}  // namespace

const char* FindingName(FindingKind kind) {
  switch (kind) {
    case FindingKind::kNotCheckable: return "not checkable";
    case FindingKind::kMissing: return "missing";
    case FindingKind::kNoStatus: return "no status";
    case FindingKind::kOtherModule: return "other module";
    case FindingKind::kOtherWordCounts: return "other word counts";
    case FindingKind::kOtherUnit: return "other unit";
    case FindingKind::kUnhealthy: return "unhealthy";
  }
  return "";
}

const char* FindingKey(FindingKind kind) {
  switch (kind) {
    case FindingKind::kNotCheckable: return "notCheckable";
    case FindingKind::kMissing: return "missing";
    case FindingKind::kNoStatus: return "noStatus";
    case FindingKind::kOtherModule: return "otherModule";
    case FindingKind::kOtherWordCounts: return "otherWordCounts";
    case FindingKind::kOtherUnit: return "otherUnit";
    case FindingKind::kUnhealthy: return "unhealthy";
  }
  return "";
}

std::string Finding::Text() const {
  std::string text = FindingName(kind);
  if (!reason.empty()) return text + " (" + reason + ")";
  if (!expected.empty()) return text + " (expected " + expected + ", found " + found + ")";
  return found.empty() ? text : text + " (" + found + ")";
}

bool CheckEntry::Checkable() const {
  for (const Finding& f : findings)
    if (f.kind == FindingKind::kNotCheckable) return false;
  return row >= 0;
}

std::string CheckEntry::ResultText() const {
  if (row < 0) {
    if (!found || !found->statusRead) return "not in the list (" + (found ? found->statusFault : "") + ")";
    return "not in the list (module " + found->moduleId + ", " + found->inputWords + "/" + found->outputWords +
           " words, MAC " + OrNone(found->macAddress) + ")";
  }
  if (findings.empty()) return "match";
  std::string text;
  for (const Finding& f : findings) text += (text.empty() ? "" : "; ") + f.Text();
  return text;
}

FoundValues FoundFrom(const ModuleProbe& probe) {
  FoundValues found;
  found.statusRead = probe.statusRead;
  if (found.statusRead) {
    found.moduleId = std::to_string(probe.words[kStatusModuleId]);
    found.inputWords = std::to_string(probe.words[kStatusInputWords]);
    found.outputWords = std::to_string(probe.words[kStatusOutputWords]);
    found.health = FormatHex4(probe.words[kStatusHealth]);
    found.lastError = FormatHex4(probe.words[kStatusLastError]);
    found.errorCount = std::to_string(probe.words[kStatusErrorCount]);
  } else {
    found.statusFault = "status block: " + DescribeModbusError(probe.statusError);
  }
  if (probe.statisticsRead) found.macAddress = FormatMac(probe.mac);
  return found;
}

std::vector<Finding> ClassifySlave(const SlaveRecord& expected, const ModuleProbe& probe, int connectTimeoutMs) {
  std::vector<Finding> findings;
  if (!probe.Connected()) {
    findings.push_back({FindingKind::kMissing, "", "", DescribeConnectFault(probe, connectTimeoutMs)});
    return findings;
  }
  const FoundValues found = FoundFrom(probe);
  const MacAddress listedMac = ListedMac(expected);
  const bool macWanted = !IsZeroMac(listedMac);
  if (!found.statusRead) findings.push_back({FindingKind::kNoStatus, "", "", found.statusFault});
  else if (macWanted && !probe.statisticsRead)
    findings.push_back({FindingKind::kNoStatus, "", "", "MAC address: statistics not read"});
  if (found.statusRead) {
    const auto& w = probe.words;
    if (static_cast<uint16_t>(ScanDecimal(expected.moduleId)) != w[kStatusModuleId])
      findings.push_back({FindingKind::kOtherModule, OrNone(expected.moduleId), found.moduleId, ""});
    if (ScanDecimal(expected.inputWords) != w[kStatusInputWords] ||
        ScanDecimal(expected.outputWords) != w[kStatusOutputWords])
      findings.push_back({FindingKind::kOtherWordCounts, expected.inputWords + "/" + expected.outputWords,
                          found.inputWords + "/" + found.outputWords, ""});
  }
  if (macWanted && probe.statisticsRead && probe.mac != listedMac)
    findings.push_back({FindingKind::kOtherUnit, FormatMac(listedMac), found.macAddress, ""});
  if (found.statusRead && (probe.words[kStatusHealth] != kGoodHealth || probe.words[kStatusErrorCount] != 0 ||
                           probe.words[kStatusLastError] != 0))
    findings.push_back({FindingKind::kUnhealthy, "", "health " + found.health + ", last error " + found.lastError +
                                                       ", " + found.errorCount + " errors", ""});
  return findings;
}

SlaveRecord SweptRecord(uint32_t addressNetworkOrder, const ModuleProbe& probe) {
  const FoundValues found = FoundFrom(probe);
  SlaveRecord r;
  r.node = std::to_string(ScanDotted(FormatIpv4(addressNetworkOrder))[3]);
  r.status = "ok";
  r.ipAddress = FormatIpv4(addressNetworkOrder);
  r.macAddress = found.macAddress;
  if (probe.statisticsRead) r.mac = probe.mac;
  r.moduleId = found.moduleId;
  r.inputWords = found.statusRead ? found.inputWords : "0";
  r.outputWords = found.statusRead ? found.outputWords : "0";
  return r;
}

void StampCheckRecord(CheckRecord& record) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
  record.checkedAt = text;
  if (record.checkedAt.size() > 2) record.checkedAt.insert(record.checkedAt.size() - 2, ":");  // +0100 -> +01:00
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) == 0) record.host = host;
  if (const passwd* pw = getpwuid(geteuid())) record.user = pw->pw_name;
  else if (const char* user = std::getenv("USER")) record.user = user;
  else record.user = std::to_string(geteuid());
  record.version = PLINTH_VERSION;
}

void DescribeCheckedFile(CheckRecord& record, const std::string& path, const std::vector<uint8_t>& bytes) {
  record.filePath = path;
  record.fileSize = bytes.size();
  // The checksum the file carries: CRC-16/MODBUS over all but its last four bytes.
  record.fileChecksum =
      bytes.size() > 4 ? FormatHex4(Crc16Modbus(std::span<const uint8_t>(bytes).first(bytes.size() - 4))) : "";
}

int CheckReport::Count(FindingKind kind) const {
  int n = 0;
  for (const CheckEntry& e : slaves)
    for (const Finding& f : e.findings)
      if (f.kind == kind) {
        ++n;
        break;
      }
  return n;
}

int CheckReport::Matching() const {
  int n = 0;
  for (const CheckEntry& e : slaves) n += e.Matches();
  return n;
}

int CheckReport::ExitStatus() const {
  for (const CheckEntry& e : slaves)
    if (e.Checkable() && !e.Matches()) return 1;
  return 0;
}

std::string CheckReport::SummaryLine() const {
  std::string line = std::to_string(Matching()) + " match";
  for (int k = 0; k < kFindingKinds; ++k) {
    const auto kind = static_cast<FindingKind>(k);
    if (const int n = Count(kind)) line += ", " + std::to_string(n) + " " + FindingName(kind);
  }
  if (!notInList.empty()) line += ", " + std::to_string(notInList.size()) + " not in the list";
  return line;
}

}  // namespace plinth
