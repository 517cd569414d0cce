#pragma once
// How the scan's results reach the slave list. dataList and its rows belong
// to the user-interface thread: the scan's probes post changes here, and the
// user-interface thread applies them. While a user-interface command holds
// slaveLock, changes wait and are applied in arrival order afterwards. (The
// BOOTP server's results take the other road: its tables, read by the timer
// step, which also marks rows "assigned".)
#include <deque>
#include <functional>
#include <mutex>

#include "config/slave_record.h"

namespace plinth {

// The user-interface side of the list: the slots and their rows.
class SlaveRows {
 public:
  virtual ~SlaveRows() = default;
  virtual DataList& Slaves() = 0;
  virtual int RowCount() const = 0;
  // Writes row i from slot i (appending it when i is the row count).
  virtual void RenderRow(int row, SlaveRecord* fallback) = 0;
};

enum class RowChangeResult {
  kRefreshed,  // the row of the module's address was drawn again
  kAppended,   // the module became a new row
  kListFull,   // not stored: all slots are taken
  kNodeTaken,  // not stored: another row has the module's node
};

// A module that answered: the row with record's exact ipAddress (every part
// of the program writes an address in one way) is refreshed, record serving
// as fallback and not stored; else record is appended, unless another row
// already has its node (a list never holds one node twice) or the list is
// full.
struct RowChange {
  SlaveRecord record;
  // Called on the user-interface thread once the change was applied or
  // refused.
  std::function<void(RowChangeResult result)> done;
};

class RowChangeQueue {
 public:
  // Any thread. Queues the change and wakes the user-interface thread.
  void Post(RowChange change);

  // Called after each Post, on the posting thread, to ask the
  // user-interface thread to call Apply soon. An empty function stops the
  // wake-ups (at shutdown); once it returns no wake-up is running.
  void SetWake(std::function<void()> wake);

  // User-interface thread. listFree: the caller holds slaveLock for this
  // call (no command is in progress); otherwise nothing is applied. Returns
  // the number of changes taken out.
  int Apply(SlaveRows& rows, bool listFree);

  size_t Pending() const;

 private:
  static RowChangeResult ApplyOne(SlaveRows& rows, RowChange& change);

  mutable std::mutex mutex_;
  std::deque<RowChange> queue_;
  std::function<void()> wake_;
};

}  // namespace plinth
