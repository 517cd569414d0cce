#pragma once
// What the plant check window decides, without widgets: the list it checks,
// the rows it shows, and what it does with the results: "take the found
// values" into the slaves whose module ID, word counts or MAC address
// differ, add the modules the sweep found in no row, and save the report.
// The list is changed only through CheckedList, which changes it as an edit
// or an Add does (slaveLock held, the row rules, the row drawn again).
#include <string>
#include <vector>

#include "base/user_prompts.h"
#include "config/configuration.h"
#include "logic/check_report.h"

namespace plinth {

class CheckedList {
 public:
  virtual ~CheckedList() = default;
  virtual const DataList& Slaves() const = 0;
  // row's record becomes r, as OK of Slave Configuration stores an edit.
  // False when the list could not be taken (nothing changed).
  virtual bool ReplaceSlave(int row, const SlaveRecord& r) = 0;
  // r joins the list, as Add stores a new slave. False when the list could
  // not be taken or is full (the list has said so).
  virtual bool AppendSlave(const SlaveRecord& r) = 0;
};

// The file a window's check describes: the configuration's bytes as they
// would be saved now (their size and checksum), and whether the file at
// path holds other bytes (changes not saved).
void DescribeWindowFile(CheckRecord& record, const std::string& path, const Configuration& config);

enum class CheckRowState { kNotChecked, kMatch, kDiffers, kNotCheckable, kNotInList, kTaken, kAdded };

struct CheckRow {
  std::string node, ipAddress, result, expected, found;
  CheckRowState state = CheckRowState::kNotChecked;
};

class CheckWindowLogic {
 public:
  CheckWindowLogic(CheckedList& list, UserPrompts& prompts) : list_(list), messages_(prompts), prompts_(prompts) {}

  // The records the next check looks at: the list as it is now.
  std::vector<SlaveRecord> Snapshot() const;

  // A finished check: its rows replace the list's.
  void SetReport(CheckReport report);
  bool HasReport() const { return hasReport_; }
  const CheckReport& Report() const { return report_; }

  // Before a check: one row per slave, "not checked"; after: the slaves,
  // then the modules not in the list.
  std::vector<CheckRow> Rows() const;
  std::string Summary() const;

  // What the selected rows allow.
  bool CanTake(const std::vector<int>& rows) const;
  bool CanAdd(const std::vector<int>& rows) const;

  // Takes the found module ID, word counts and MAC address into the
  // selected slaves after a confirmation that names each change.
  void TakeFoundValues(const std::vector<int>& rows);
  // Adds the selected modules not in the list as rows (node = host number).
  void AddToList(const std::vector<int>& rows);
  // Asks for a file name and writes the report (format from its extension).
  void SaveReport();

 private:
  // Entry of window row i (slaves first, then modules not in the list), or null.
  const CheckEntry* EntryAt(int row) const;
  bool Takeable(int row) const;
  bool Addable(int row) const;

  CheckedList& list_;
  PromptMessages messages_;
  UserPrompts& prompts_;
  CheckReport report_;
  bool hasReport_ = false;
  std::vector<bool> done_;  // per window row: values taken, or added
};

}  // namespace plinth
