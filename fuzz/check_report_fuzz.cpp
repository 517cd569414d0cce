// Feeds arbitrary bytes to the commissioning report as a configuration file
// whose slaves were checked: their texts (name, description, addresses) are
// whatever the file holds, and the modules' readings come from the bytes
// too. Every report must be valid UTF-8, and the JSON one must read back.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>

#include "base/utf8_text.h"
#include "config/config_reader.h"
#include "logic/check_report_formats.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

// A reading for slave i: connected or not, the status block and statistics
// read or not, the words from the bytes.
plinth::ModuleProbe Reading(const uint8_t* data, size_t size, size_t i) {
  plinth::ModuleProbe probe;
  const uint8_t pick = size ? data[i % size] : 0;
  probe.connect = pick % 5 == 0 ? plinth::ConnectFault::kRefused : plinth::ConnectFault::kNone;
  probe.statusRead = pick % 3 != 0;
  if (!probe.statusRead) probe.statusError.kind = plinth::ModbusError::Kind::kException, probe.statusError.code = pick;
  for (size_t w = 0; w < probe.words.size() && size; ++w) probe.words[w] = static_cast<uint16_t>(data[(i + w) % size] * 257);
  probe.statisticsRead = pick % 2 == 0;
  for (size_t b = 0; b < probe.mac.size() && size; ++b) probe.mac[b] = data[(i + b) % size];
  return probe;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto image = std::make_shared<plinth::ConfigImage>(data, data + size);
  plinth::Configuration config;
  plinth::RecordedMessages messages;
  plinth::ReadConfigurationBytes(image, "fuzz", config, messages);
  plinth::CheckReport report;
  plinth::DescribeCheckedFile(report.record, std::string(reinterpret_cast<const char*>(data), std::min<size_t>(size, 40)),
                              *image);
  for (int i = 0; i < config.dataList.Count(); ++i) {
    const plinth::ModuleProbe probe = Reading(data, size, static_cast<size_t>(i));
    plinth::CheckEntry entry;
    entry.row = i;
    entry.slave = *config.dataList.At(i);
    entry.findings = plinth::ClassifySlave(entry.slave, probe, 1000);
    if (probe.Connected()) entry.found = plinth::FoundFrom(probe);
    report.slaves.push_back(entry);
    if (i % 4 == 0) {
      plinth::CheckEntry swept;
      swept.slave = plinth::SweptRecord(static_cast<uint32_t>(i * 7919), probe);
      swept.found = plinth::FoundFrom(probe);
      report.notInList.push_back(swept);
    }
  }
  for (const std::string& text : {plinth::ReportJson(report), plinth::ReportCsv(report), plinth::ReportHtml(report)})
    Require(plinth::ValidUtf8(text) == text);
  const nlohmann::json doc = nlohmann::json::parse(plinth::ReportJson(report));
  Require(doc["slaves"].size() == report.slaves.size());
  return 0;
}
