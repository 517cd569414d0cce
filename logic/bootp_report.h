#pragma once
// The timer step of the main window (timer 1, every 300 ms), without the
// window: turns the BOOTP tables into list changes, steps the scan address
// and moves the server's indicator.
//
// How the window calls it, in its timer 1 handler on the user-interface
// thread (stop the timer, read the controls into the fields first):
//
//   BootpReportFields f{bootpButton->isChecked(), bootpStartTime,
//                       scanButton->isChecked(), scanAddressText};
//   reporter.Tick(f);                     // marks, appends, texts
//   scanAddressText = f.scanAddressText; bootpIndicatorText = f.bootpIndicatorText;
//   write the fields back to the controls; restart the timer with timerPeriod
//
// where reporter is an AssignmentReporter built once over NetState, the
// window's DataList, its Messages and a BootpRows whose RenderRow(i) is the
// window's RenderRow(i, none) (the model's row i rewritten, or appended when
// i equals the row count). When the button switches the server on, call
// reporter.NewServerRun() as well.
//
// Locking: dataList is changed on the user-interface thread only. Marking a
// row "assigned" moves no row and is done at once, also while a modal dialog
// holds slaveLock (the connect flow waits for that mark). Appending "bootp"
// rows needs slaveLock: Tick tries it without waiting, and while a command
// holds it the requests stay unreported in BootpRequestTable, which keeps
// them in arrival order; the first tick after the release appends them, each
// exactly once.
#include <array>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "base/messages.h"
#include "config/slave_record.h"
#include "net/net_state.h"

namespace plinth {

// The list view as the timer step sees it.
class BootpRows {
 public:
  virtual ~BootpRows() = default;
  // RenderRow(row, none): writes row from its slot; row == row count appends.
  virtual void RenderRow(int row) = 0;
};

struct BootpReportFields {
  bool bootpButtonChecked = false;
  std::time_t bootpStartTime = 0;  // seconds, set when the server was switched on
  bool scanButtonChecked = false;
  std::string scanAddressText;      // read and written
  std::string bootpIndicatorText;   // written
};

// What one tick changed, for headless callers and tests.
struct BootpReportResult {
  std::vector<int> assignedRows;  // rows marked "assigned"
  std::vector<int> appendedRows;  // "bootp" rows appended
  std::vector<int> askingRows;    // existing rows whose module asked again: now "bootp"
  bool appendsDeferred = false;   // slaveLock was held: requests wait
};

class AssignmentReporter {
 public:
  using Clock = std::function<std::time_t()>;

  AssignmentReporter(NetState& net, DataList& dataList, BootpRows& rows, Messages& messages,
                     Clock clock = [] { return std::time(nullptr); });

  // One timer tick.
  BootpReportResult Tick(BootpReportFields& fields);

  // A new server run: "dataList full" may be shown again (once per run).
  void NewServerRun() { fullShown_ = false; }

 private:
  void ReportAssignments(BootpReportResult& result);
  void ReportRequests(BootpReportResult& result);

  NetState& net_;
  DataList& dataList_;
  BootpRows& rows_;
  Messages& messages_;
  Clock clock_;
  bool fullShown_ = false;
  // Entries whose missing row was reported: said once, not on every tick.
  std::array<bool, BootpTables::kSize> missingShown_{};
};

// "<" k times, " ? ", ">" k times with k = ((now - start) mod 5) + 1 when the
// server is on; empty when it is off.
std::string BootpIndicator(bool serverOn, std::time_t now, std::time_t startTime);

// The scan's address field: the network of text with host scanCursor, or the
// text's own host when scanCursor is 0.
std::string ScanAddressStep(const std::string& text, int scanCursor);

}  // namespace plinth
