#include "logic/check_report_formats.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <nlohmann/json.hpp>

#include "base/atomic_file.h"
#include "base/utf8_text.h"
#include "config/module_catalog.h"

namespace plinth {
namespace {

using Json = nlohmann::ordered_json;

std::string RowNumber(const CheckEntry& e) { return e.row >= 0 ? std::to_string(e.row + 1) : ""; }

// The slave in the keys of "plinthctl show --json". A swept module takes its
// name, description and parameter words from the catalogue, as a scan does.
Json SlaveJson(const CheckEntry& e) {
  const SlaveRecord& r = e.slave;
  const ModuleCatalogEntry& entry = FindModuleByText(r.moduleId);
  const bool swept = e.row < 0;
  return {{"node", r.node},
          {"status", r.status},
          {"ipAddress", r.ipAddress},
          {"macAddress", r.macAddress},
          {"moduleId", r.moduleId},
          {"name", ValidUtf8(swept ? std::string(entry.partNumber) : r.name)},
          {"description", ValidUtf8(swept ? std::string(entry.description) : r.description)},
          {"inputWords", r.inputWords},
          {"outputWords", r.outputWords},
          {"paramWords", swept ? std::to_string(entry.paramWords) : r.paramWords}};
}

Json TextOrNull(bool known, const std::string& text) { return known ? Json(text) : Json(nullptr); }

Json FoundJson(const CheckEntry& e) {
  if (!e.found) return nullptr;
  const FoundValues& f = *e.found;
  return {{"statusRead", f.statusRead},
          {"statusFault", TextOrNull(!f.statusRead, f.statusFault)},
          {"moduleId", TextOrNull(f.statusRead, f.moduleId)},
          {"inputWords", TextOrNull(f.statusRead, f.inputWords)},
          {"outputWords", TextOrNull(f.statusRead, f.outputWords)},
          {"macAddress", TextOrNull(!f.macAddress.empty(), f.macAddress)},
          {"health", TextOrNull(f.statusRead, f.health)},
          {"lastError", TextOrNull(f.statusRead, f.lastError)},
          {"errorCount", TextOrNull(f.statusRead, f.errorCount)}};
}

const char* ResultKey(const CheckEntry& e) {
  if (e.row < 0) return "notInList";
  if (!e.Checkable()) return "notCheckable";
  return e.Matches() ? "match" : "differs";
}

Json EntryJson(const CheckEntry& e) {
  Json j;
  if (e.row >= 0) j["row"] = e.row + 1;
  j.update(SlaveJson(e));
  j["result"] = ResultKey(e);
  Json findings = Json::array();
  for (const Finding& f : e.findings) {
    Json one{{"kind", FindingKey(f.kind)}, {"text", f.Text()}};
    if (!f.expected.empty()) one["expected"] = f.expected;
    if (!f.found.empty()) one["found"] = f.found;
    if (!f.reason.empty()) one["reason"] = f.reason;
    findings.push_back(std::move(one));
  }
  j["findings"] = std::move(findings);
  j["found"] = FoundJson(e);
  return j;
}

// RFC 4180: a field with a comma, quote or line break is quoted, quotes doubled.
std::string CsvField(const std::string& raw) {
  const std::string text = ValidUtf8(raw);
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

// A text from a file that a spreadsheet would run as a formula is shown as text.
std::string CsvText(const std::string& text) {
  const std::string valid = ValidUtf8(text);
  return CsvField(!valid.empty() && std::strchr("=+-@\t\r", valid[0]) ? "'" + valid : valid);
}

std::string Html(const std::string& text) {
  std::string out;
  for (char c : ValidUtf8(text)) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string FileText(const CheckRecord& r) {
  std::string text = r.filePath.empty() ? "(not saved)" : r.filePath;
  if (r.unsavedChanges) text += " (the list checked has changes not saved in the file)";
  return text;
}

}  // namespace

std::optional<ReportFormat> ReportFormatFor(const std::string& path) {
  const size_t dot = path.find_last_of("./");
  if (dot == std::string::npos || path[dot] != '.') return std::nullopt;
  std::string ext = path.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  if (ext == "json") return ReportFormat::kJson;
  if (ext == "csv") return ReportFormat::kCsv;
  if (ext == "html" || ext == "htm") return ReportFormat::kHtml;
  return std::nullopt;
}

std::string ExpectedText(const CheckEntry& e) {
  if (e.row < 0) return "";
  const SlaveRecord& r = e.slave;
  std::string text = "ID " + (r.moduleId.empty() ? std::string("none") : r.moduleId) + ", " + r.inputWords + "/" +
                     r.outputWords + " words";
  if (!r.macAddress.empty()) text += ", MAC " + r.macAddress;
  return text;
}

std::string FoundText(const CheckEntry& e) {
  if (!e.found) return "";
  const FoundValues& f = *e.found;
  std::string text =
      f.statusRead ? "ID " + f.moduleId + ", " + f.inputWords + "/" + f.outputWords + " words" : f.statusFault;
  if (!f.macAddress.empty()) text += ", MAC " + f.macAddress;
  // Health only when it is not good, so that a healthy module reads short.
  if (f.statusRead && (f.health != "8000" || f.errorCount != "0" || f.lastError != "0000"))
    text += ", health " + f.health + ", last error " + f.lastError + ", " + f.errorCount + " errors";
  return text;
}

std::string ReportJson(const CheckReport& report) {
  const CheckRecord& r = report.record;
  Json summary{{"slaves", report.slaves.size()}, {"match", report.Matching()}};
  for (int k = 0; k < kFindingKinds; ++k) {
    const auto kind = static_cast<FindingKind>(k);
    summary[FindingKey(kind)] = report.Count(kind);
  }
  summary["notInList"] = report.notInList.size();
  summary["text"] = report.SummaryLine();
  Json slaves = Json::array(), notInList = Json::array();
  for (const CheckEntry& e : report.slaves) slaves.push_back(EntryJson(e));
  for (const CheckEntry& e : report.notInList) notInList.push_back(EntryJson(e));
  Json doc{{"formatVersion", 1},
           {"checked", r.checkedAt},
           {"durationMs", r.durationMs},
           {"host", ValidUtf8(r.host)},
           {"user", ValidUtf8(r.user)},
           {"plinthVersion", r.version},
           {"file",
            {{"path", ValidUtf8(r.filePath)},
             {"size", r.fileSize},
             {"checksum", r.fileChecksum},
             {"unsavedChanges", r.unsavedChanges}}},
           {"network",
            {{"master", ValidUtf8(r.master)},
             {"network", r.network},
             {"port", r.port},
             {"sweep", r.sweep},
             {"parallel", r.parallel}}},
           {"summary", std::move(summary)},
           {"slaves", std::move(slaves)},
           {"notInList", std::move(notInList)}};
  // Texts the list took from a file may be any bytes: never a reason to fail.
  return doc.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string ReportCsv(const CheckReport& report) {
  const CheckRecord& r = report.record;
  // Every row carries the check's own columns too, so a row keeps its
  // context when it is sorted, filtered or copied elsewhere.
  const std::string check = "," + CsvField(r.checkedAt) + "," + CsvText(r.host) + "," + CsvText(r.user) + "," +
                            CsvField(r.version) + "," + CsvText(r.filePath) + "," + CsvField(r.fileChecksum) + "," +
                            CsvField(r.network) + "\r\n";
  std::string out =
      "row,node,ipAddress,result,findings,expectedModuleId,foundModuleId,expectedInputWords,foundInputWords,"
      "expectedOutputWords,foundOutputWords,expectedMacAddress,foundMacAddress,health,lastError,errorCount,name,"
      "description,checked,host,user,plinthVersion,file,checksum,network\r\n";
  auto line = [&](const CheckEntry& e) {
    const bool listed = e.row >= 0;
    const SlaveRecord& s = e.slave;
    const FoundValues f = e.found.value_or(FoundValues{});
    std::string findings;
    for (const Finding& one : e.findings) findings += (findings.empty() ? "" : "; ") + one.Text();
    if (!listed) findings = e.ResultText();
    out += RowNumber(e) + "," + CsvField(s.node) + "," + CsvField(s.ipAddress) + "," + ResultKey(e) + "," +
           CsvText(findings) + "," + CsvField(listed ? s.moduleId : "") + "," + CsvField(f.moduleId) + "," +
           CsvField(listed ? s.inputWords : "") + "," + CsvField(f.inputWords) + "," +
           CsvField(listed ? s.outputWords : "") + "," + CsvField(f.outputWords) + "," +
           CsvField(listed ? s.macAddress : "") + "," + CsvField(f.macAddress) + "," + CsvField(f.health) + "," +
           CsvField(f.lastError) + "," + CsvField(f.errorCount) + "," + CsvText(listed ? s.name : "") + "," +
           CsvText(listed ? s.description : "") + check;
  };
  for (const CheckEntry& e : report.slaves) line(e);
  for (const CheckEntry& e : report.notInList) line(e);
  return out;
}

std::string ReportHtml(const CheckReport& report) {
  const CheckRecord& r = report.record;
  // The tables' border attributes are for Qt's rich text, which prints the
  // page and draws the PDF; browsers follow the style.
  std::string out =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<title>Commissioning report: " + Html(r.filePath.empty() ? "new configuration" : r.filePath) + "</title>\n"
      "<style>\n"
      "body { font-family: sans-serif; font-size: 10pt; color: #000; background: #fff; margin: 1em; }\n"
      "h1 { font-size: 16pt; margin: 0 0 0.5em 0; }\n"
      "table { border-collapse: collapse; margin-bottom: 1em; }\n"
      "th, td { border: 1px solid #777; padding: 2px 6px; text-align: left; vertical-align: top; }\n"
      "th { background: #e8e8e8; }\n"
      "table.results { width: 100%; }\n"
      "tr.differs td.result { font-weight: bold; }\n"
      "p.summary { font-size: 12pt; font-weight: bold; }\n"
      "@page { size: A4 landscape; margin: 12mm; }\n"
      "@media print { body { margin: 0; } thead { display: table-header-group; } tr { page-break-inside: avoid; } }\n"
      "</style>\n</head>\n<body>\n<h1>Commissioning report</h1>\n"
      "<table class=\"record\" border=\"1\" cellspacing=\"0\" cellpadding=\"3\">\n";
  const std::pair<const char*, std::string> head[] = {
      {"Checked", r.checkedAt + " (" + std::to_string(r.durationMs) + " ms)"},
      {"Host", r.host},
      {"User", r.user},
      {"Plinth version", r.version},
      {"File", FileText(r)},
      {"Checksum (CRC-16/MODBUS)",
       r.fileChecksum.empty() ? "-" : r.fileChecksum + ", " + std::to_string(r.fileSize) + " bytes"},
      {"Master", r.master},
      {"Network", (r.network.empty() ? std::string("-") : r.network) + ", port " + std::to_string(r.port) +
                      (r.sweep ? ", swept for modules not in the list" : "") + ", " + std::to_string(r.parallel) +
                      " at a time"},
  };
  for (const auto& [name, value] : head) out += "<tr><th>" + std::string(name) + "</th><td>" + Html(value) + "</td></tr>\n";
  out += "</table>\n<p class=\"summary\">" + Html(report.SummaryLine()) + "</p>\n"
         "<table class=\"results\" border=\"1\" cellspacing=\"0\" cellpadding=\"3\" width=\"100%\">\n"
         "<thead><tr><th>Row</th><th>Node</th><th>IP address</th><th>Result</th>"
         "<th>Expected</th><th>Found</th><th>Name</th></tr></thead>\n<tbody>\n";
  auto line = [&](const CheckEntry& e) {
    // The result is in words and a sign, so that it reads in black and white.
    const char* key = ResultKey(e);
    const char* sign = e.Matches() ? "\u2714 " : e.row < 0 ? "+ " : !e.Checkable() ? "? " : "\u2718 ";
    out += std::string("<tr class=\"") + key + "\"><td>" + RowNumber(e) + "</td><td>" + Html(e.slave.node) + "</td><td>" +
           Html(e.slave.ipAddress) + "</td><td class=\"result\">" + sign + Html(e.ResultText()) + "</td><td>" +
           Html(ExpectedText(e)) + "</td><td>" + Html(FoundText(e)) + "</td><td>" + Html(e.row >= 0 ? e.slave.name : "") +
           "</td></tr>\n";
  };
  for (const CheckEntry& e : report.slaves) line(e);
  for (const CheckEntry& e : report.notInList) line(e);
  out += "</tbody>\n</table>\n</body>\n</html>\n";
  return out;
}

std::string ReportText(const CheckReport& report, ReportFormat format) {
  switch (format) {
    case ReportFormat::kJson: return ReportJson(report);
    case ReportFormat::kCsv: return ReportCsv(report);
    case ReportFormat::kHtml: return ReportHtml(report);
  }
  return {};
}

bool WriteReportFile(const std::string& path, const CheckReport& report, std::string& error) {
  const std::optional<ReportFormat> format = ReportFormatFor(path);
  if (!format) {
    error = path + ": the name must end in .json, .csv or .html";
    return false;
  }
  const std::string text = ReportText(report, *format);
  int reason = 0;
  if (WriteFileAtomically(path, std::vector<uint8_t>(text.begin(), text.end()), &reason) != WriteFileError::None) {
    error = path + ": cannot write: " + std::strerror(reason);
    return false;
  }
  return true;
}

}  // namespace plinth
