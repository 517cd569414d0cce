#include "logic/bootp_report.h"

#include <chrono>
#include <memory>

#include "base/text_scan.h"
#include "net/bootp_tables.h"

namespace plinth {

AssignmentReporter::AssignmentReporter(NetState& net, DataList& dataList, BootpRows& rows,
                                       Messages& messages, Clock clock)
    : net_(net), dataList_(dataList), rows_(rows), messages_(messages), clock_(std::move(clock)) {}

BootpReportResult AssignmentReporter::Tick(BootpReportFields& fields) {
  BootpReportResult result;
  ReportAssignments(result);
  ReportRequests(result);
  if (fields.scanButtonChecked)
    fields.scanAddressText =
        ScanAddressStep(fields.scanAddressText, net_.scanCursor.load(std::memory_order_acquire));
  fields.bootpIndicatorText = BootpIndicator(fields.bootpButtonChecked, clock_(), fields.bootpStartTime);
  return result;
}

void AssignmentReporter::ReportAssignments(BootpReportResult& result) {
  for (size_t i = 0; i < net_.bootp.table.size(); ++i) {
    BootpEntry& e = net_.bootp.table[i];
    if (!e.valid.load(std::memory_order_acquire)) break;
    if (!e.assigned.load(std::memory_order_acquire) || e.reported.load(std::memory_order_relaxed))
      continue;
    const uint64_t packed = e.mac.load(std::memory_order_acquire);
    if (packed == 0) continue;  // withdrawn after its reply; no row stands for it
    const int row = dataList_.FindByMac(UnpackMac(packed));
    if (row < 0) {
      // Stays unreported: the row may still come (an Add not yet confirmed).
      // Said once per entry; repeating it on every tick would bury the
      // window under boxes while the user finishes the Add.
      if (!missingShown_[i]) messages_.Show("internal error: listEntry not found!");
      missingShown_[i] = true;
      continue;
    }
    missingShown_[i] = false;
    SlaveRecord* record = dataList_.At(row);
    record->status = "assigned";
    record->bootpAssigned = true;
    e.reported.store(1, std::memory_order_release);
    rows_.RenderRow(row);
    result.assignedRows.push_back(row);
  }
}

void AssignmentReporter::ReportRequests(BootpReportResult& result) {
  for (BootpRequestEntry& e : net_.bootp.requests) {
    if (!e.used.load(std::memory_order_acquire)) break;
    if (e.reported.load(std::memory_order_relaxed)) continue;
    // A module that a row already stands for (one sent back to BOOTP, or a
    // row of the file without an address) makes no second row: that row
    // shows it asking, in place, as a mark "assigned" is shown.
    if (const int row = dataList_.FindByMac(UnpackMac(e.mac.load(std::memory_order_relaxed))); row >= 0) {
      SlaveRecord* record = dataList_.At(row);
      record->status = "bootp";
      record->bootpAssigned = false;
      if (record->bootpAddress == 0) record->bootpAddress = e.ipAddress.load(std::memory_order_relaxed);
      e.reported.store(1, std::memory_order_release);
      rows_.RenderRow(row);
      result.askingRows.push_back(row);
      continue;
    }
    if (dataList_.Full()) {
      // The request stays in the table and becomes a row once a slot is free.
      if (!fullShown_) messages_.Show("dataList full");
      fullShown_ = true;
      return;
    }
    if (!net_.slaveLock.Acquire(std::chrono::milliseconds(0))) {
      result.appendsDeferred = true;
      return;
    }
    auto record = std::make_unique<SlaveRecord>();
    record->mac = UnpackMac(e.mac.load(std::memory_order_relaxed));
    record->bootpAddress = e.ipAddress.load(std::memory_order_relaxed);
    record->status = "bootp";
    const int row = dataList_.Append(std::move(record));
    rows_.RenderRow(row);
    e.reported.store(1, std::memory_order_release);
    net_.slaveLock.Release();
    result.appendedRows.push_back(row);
  }
}

std::string BootpIndicator(bool serverOn, std::time_t now, std::time_t startTime) {
  if (!serverOn) return {};
  const long long elapsed = static_cast<long long>(now) - static_cast<long long>(startTime);
  const int k = static_cast<int>(((elapsed % 5) + 5) % 5) + 1;
  return std::string(static_cast<size_t>(k), '<') + " ? " + std::string(static_cast<size_t>(k), '>');
}

std::string ScanAddressStep(const std::string& text, int scanCursor) {
  const std::array<int, 4> a = ScanDotted(text);
  return FormatDotted(a[0], a[1], a[2], scanCursor != 0 ? scanCursor : a[3]);
}

}  // namespace plinth
