#include "logic/check_window_logic.h"

#include <fstream>
#include <iterator>

#include "base/text_scan.h"
#include "config/config_writer.h"
#include "config/mac_text.h"
#include "config/module_catalog.h"
#include "logic/check_report_formats.h"
#include "logic/render_row.h"

namespace plinth {
namespace {

bool Has(const CheckEntry& e, FindingKind kind) {
  for (const Finding& f : e.findings)
    if (f.kind == kind) return true;
  return false;
}

// r with what its module reported, as the connect flow takes a module's
// values: a new module ID brings its catalogue name, description and
// parameter words; the word counts and MAC address are the module's.
SlaveRecord WithFoundValues(const SlaveRecord& current, const CheckEntry& e, std::string& changes) {
  const FoundValues& f = *e.found;
  SlaveRecord r = current;
  if (Has(e, FindingKind::kOtherModule)) {
    changes += ", module ID " + current.moduleId + " -> " + f.moduleId;
    r.moduleId = f.moduleId;
    const ModuleCatalogEntry& entry = FindModuleByText(r.moduleId);
    r.name = std::string(entry.partNumber);
    r.description = std::string(entry.description);
    r.paramWords = std::to_string(entry.paramWords);
  }
  if (Has(e, FindingKind::kOtherModule) || Has(e, FindingKind::kOtherWordCounts)) {
    if (current.inputWords != f.inputWords || current.outputWords != f.outputWords)
      changes += ", words " + current.inputWords + "/" + current.outputWords + " -> " + f.inputWords + "/" + f.outputWords;
    r.inputWords = f.inputWords;
    r.outputWords = f.outputWords;
  }
  if (Has(e, FindingKind::kOtherUnit)) {
    changes += ", MAC address " + current.macAddress + " -> " + f.macAddress;
    r.macAddress = f.macAddress;
    ReadMacText(f.macAddress, r.mac);
  }
  // The row rules have the last word: a catalogue module keeps the
  // catalogue's word counts, whatever the module reports.
  SlaveRecord shown = r;
  RecordedMessages quiet;
  RenderRecord(shown, nullptr, nullptr, quiet);
  if (shown.inputWords != f.inputWords || shown.outputWords != f.outputWords)
    changes += " (the catalogue keeps " + shown.inputWords + "/" + shown.outputWords + " words for module " +
               r.moduleId + ")";
  return r;
}

std::string Who(const CheckEntry& e) { return "Node " + e.slave.node + " (" + e.slave.ipAddress + ")"; }

}  // namespace

void DescribeWindowFile(CheckRecord& record, const std::string& path, const Configuration& config) {
  RecordedMessages quiet;
  const auto bytes = EncodeConfiguration(config.dataList, config.master, quiet);
  DescribeCheckedFile(record, path, bytes.value_or(std::vector<uint8_t>{}));
  record.unsavedChanges = true;
  if (path.empty() || !bytes) return;
  std::ifstream file(path, std::ios::binary);
  if (!file) return;  // no file yet
  const std::vector<uint8_t> saved((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  record.unsavedChanges = saved != *bytes;
}

std::vector<SlaveRecord> CheckWindowLogic::Snapshot() const {
  std::vector<SlaveRecord> slaves;
  const DataList& list = list_.Slaves();
  for (int i = 0; i < list.Count(); ++i) slaves.push_back(*list.At(i));
  return slaves;
}

void CheckWindowLogic::SetReport(CheckReport report) {
  report_ = std::move(report);
  hasReport_ = true;
  done_.assign(report_.slaves.size() + report_.notInList.size(), false);
}

const CheckEntry* CheckWindowLogic::EntryAt(int row) const {
  if (!hasReport_ || row < 0) return nullptr;
  const auto at = static_cast<size_t>(row);
  if (at < report_.slaves.size()) return &report_.slaves[at];
  if (at - report_.slaves.size() < report_.notInList.size()) return &report_.notInList[at - report_.slaves.size()];
  return nullptr;
}

std::vector<CheckRow> CheckWindowLogic::Rows() const {
  std::vector<CheckRow> rows;
  if (!hasReport_) {
    for (const SlaveRecord& r : Snapshot())
      rows.push_back({r.node, r.ipAddress, "not checked", "", "", CheckRowState::kNotChecked});
    return rows;
  }
  for (int i = 0; const CheckEntry* e = EntryAt(i); ++i) {
    CheckRow row{e->slave.node, e->slave.ipAddress, e->ResultText(), ExpectedText(*e), FoundText(*e),
                 e->row < 0           ? CheckRowState::kNotInList
                 : !e->Checkable()    ? CheckRowState::kNotCheckable
                 : e->Matches()       ? CheckRowState::kMatch
                                      : CheckRowState::kDiffers};
    if (done_[static_cast<size_t>(i)]) {
      row.state = e->row < 0 ? CheckRowState::kAdded : CheckRowState::kTaken;
      row.result = (e->row < 0 ? "added to the list; " : "found values taken; ") + row.result;
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string CheckWindowLogic::Summary() const {
  if (!hasReport_) return "Not checked yet: " + std::to_string(list_.Slaves().Count()) + " slaves in the list.";
  return report_.SummaryLine() + "  (" + std::to_string(report_.record.durationMs) + " ms)";
}

bool CheckWindowLogic::Takeable(int row) const {
  const CheckEntry* e = EntryAt(row);
  return e && e->row >= 0 && !done_[static_cast<size_t>(row)] && e->found && e->found->statusRead &&
         (Has(*e, FindingKind::kOtherModule) || Has(*e, FindingKind::kOtherWordCounts) ||
          (Has(*e, FindingKind::kOtherUnit) && !e->found->macAddress.empty()));
}

bool CheckWindowLogic::Addable(int row) const {
  const CheckEntry* e = EntryAt(row);
  return e && e->row < 0 && !done_[static_cast<size_t>(row)] && e->found && e->found->statusRead;
}

bool CheckWindowLogic::CanTake(const std::vector<int>& rows) const {
  for (int row : rows)
    if (Takeable(row)) return true;
  return false;
}

bool CheckWindowLogic::CanAdd(const std::vector<int>& rows) const {
  for (int row : rows)
    if (Addable(row)) return true;
  return false;
}

void CheckWindowLogic::TakeFoundValues(const std::vector<int>& rows) {
  struct Change {
    int windowRow;
    int listRow;
    SlaveRecord record;
  };
  std::vector<Change> changes;
  std::string text, stale;
  const DataList& list = list_.Slaves();
  for (int row : rows) {
    if (!Takeable(row)) continue;
    const CheckEntry& e = *EntryAt(row);
    // The row must still be the slave that was checked.
    const SlaveRecord* current = list.At(e.row);
    if (!current || current->node != e.slave.node || current->ipAddress != e.slave.ipAddress) {
      stale += "\n" + Who(e);
      continue;
    }
    std::string what;
    changes.push_back({row, e.row, WithFoundValues(*current, e, what)});
    text += "\n" + Who(e) + ":" + what.substr(1);
  }
  if (!stale.empty())
    messages_.Show("These slaves have changed since the check; run it again to take their values:" + stale);
  if (changes.empty()) {
    if (stale.empty()) messages_.Show("None of the selected slaves has a module ID, word counts or MAC address to take.");
    return;
  }
  if (!prompts_.Ask("Take the values the modules report into these slaves?\n" + text, "Take found values")) return;
  for (const Change& c : changes)
    if (list_.ReplaceSlave(c.listRow, c.record)) done_[static_cast<size_t>(c.windowRow)] = true;
}

void CheckWindowLogic::AddToList(const std::vector<int>& rows) {
  std::string refused;
  for (int row : rows) {
    if (!Addable(row)) continue;
    const CheckEntry& e = *EntryAt(row);
    const DataList& list = list_.Slaves();
    const int node = ScanDecimal(e.slave.node);
    std::string why;
    for (int i = 0; i < list.Count() && why.empty(); ++i) {
      const SlaveRecord& r = *list.At(i);
      if (r.ipAddress == e.slave.ipAddress) why = "its address is in the list already";
      else if (!r.node.empty() && ScanDecimal(r.node) == node) why = "node " + e.slave.node + " is taken by another slave";
    }
    if (why.empty() && list_.AppendSlave(e.slave)) done_[static_cast<size_t>(row)] = true;
    else if (!why.empty()) refused += "\n" + e.slave.ipAddress + ": " + why;
  }
  if (!refused.empty()) messages_.Show("Not added:" + refused);
}

void CheckWindowLogic::SaveReport() {
  if (!hasReport_) return;
  const std::optional<std::string> path = prompts_.SaveOtherFile("Save Report", "HTML page (*.html);;JSON (*.json);;CSV (*.csv)", "html");
  if (!path) return;
  std::string error;
  if (!WriteReportFile(*path, report_, error)) messages_.Show(error);
}

}  // namespace plinth
