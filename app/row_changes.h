#pragma once
// How results of worker threads reach the slave list. dataList and its rows
// belong to the user-interface thread: workers post changes here, and the
// user-interface thread applies them. While a user-interface command holds
// slaveLock, changes that add or move rows wait and are applied in arrival
// order afterwards; marking a row "assigned" moves nothing and is applied at
// once.
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

struct RowChange {
  enum class Kind {
    Append,        // store record in the first empty slot and show it
    UpsertByIp,    // refresh the row with record's exact ipAddress (record as
                   // fallback, not stored), else append record
    MarkAssigned,  // the first row whose mac equals record.mac: "assigned"
  };
  Kind kind = Kind::Append;
  SlaveRecord record;
  // Called on the user-interface thread once the change was applied (true)
  // or refused (false: the list is full, or no row has that MAC address).
  std::function<void(bool applied)> done;
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
  // call (no command is in progress); otherwise only "assigned" marks whose
  // row exists are applied. Returns the number of changes taken out.
  int Apply(SlaveRows& rows, bool listFree);

  size_t Pending() const;

 private:
  static bool ApplyOne(SlaveRows& rows, RowChange& change);

  mutable std::mutex mutex_;
  std::deque<RowChange> queue_;
  std::function<void()> wake_;
};

// The first row whose record's mac equals mac, or -1.
int FindRowByMac(SlaveRows& rows, const MacAddress& mac);

}  // namespace plinth
