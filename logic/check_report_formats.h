#pragma once
// The commissioning report as files: JSON for machines (the shape of
// "plinthctl verify --json"), CSV for spreadsheets and a self-contained HTML
// page to print for the plant's documentation. Texts from files and modules
// are made valid UTF-8 first.
#include <optional>
#include <string>

#include "logic/check_report.h"

namespace plinth {

enum class ReportFormat { kJson, kCsv, kHtml };

// From the file name's extension: .json, .csv, .html or .htm (any case).
std::optional<ReportFormat> ReportFormatFor(const std::string& path);

std::string ReportJson(const CheckReport& report);
std::string ReportCsv(const CheckReport& report);
std::string ReportHtml(const CheckReport& report);
std::string ReportText(const CheckReport& report, ReportFormat format);

// What the list expects of a slave and what its module reported, one text
// each: "ID 1217, 16/4 words, MAC 0050c2000001" and the same with health.
std::string ExpectedText(const CheckEntry& entry);
std::string FoundText(const CheckEntry& entry);

// Writes the report to path atomically, in the format of its extension.
// False with error set ("... : cannot write: reason") otherwise.
bool WriteReportFile(const std::string& path, const CheckReport& report, std::string& error);

}  // namespace plinth
