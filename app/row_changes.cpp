#include "app/row_changes.h"

#include <memory>

namespace plinth {

int FindRowByMac(SlaveRows& rows, const MacAddress& mac) {
  for (int i = 0; i < rows.RowCount(); ++i) {
    const SlaveRecord* r = rows.Slaves().At(i);
    if (r && r->mac == mac) return i;
  }
  return -1;
}

namespace {

bool AppendRecord(SlaveRows& rows, const SlaveRecord& record) {
  DataList& list = rows.Slaves();
  if (list.Full()) return false;
  int slot = list.Append(std::make_unique<SlaveRecord>(record));
  rows.RenderRow(slot, nullptr);
  return true;
}

}  // namespace

void RowChangeQueue::Post(RowChange change) {
  std::lock_guard<std::mutex> lock(mutex_);
  queue_.push_back(std::move(change));
  if (wake_) wake_();
}

void RowChangeQueue::SetWake(std::function<void()> wake) {
  std::lock_guard<std::mutex> lock(mutex_);
  wake_ = std::move(wake);
}

size_t RowChangeQueue::Pending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return queue_.size();
}

bool RowChangeQueue::ApplyOne(SlaveRows& rows, RowChange& change) {
  switch (change.kind) {
    case RowChange::Kind::Append:
      return AppendRecord(rows, change.record);
    case RowChange::Kind::UpsertByIp:
      for (int i = 0; i < rows.RowCount(); ++i) {
        const SlaveRecord* r = rows.Slaves().At(i);
        if (r && r->ipAddress == change.record.ipAddress) {
          rows.RenderRow(i, &change.record);
          return true;
        }
      }
      return AppendRecord(rows, change.record);
    case RowChange::Kind::MarkAssigned: {
      int row = FindRowByMac(rows, change.record.mac);
      if (row < 0) return false;
      SlaveRecord* r = rows.Slaves().At(row);
      r->status = "assigned";
      r->bootpAssigned = true;
      rows.RenderRow(row, nullptr);
      return true;
    }
  }
  return false;
}

int RowChangeQueue::Apply(SlaveRows& rows, bool listFree) {
  std::deque<RowChange> work;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    work.swap(queue_);
  }
  // Changes are applied without holding the queue's mutex, so that workers
  // can post meanwhile; what stays is put back in front of newer arrivals.
  std::deque<RowChange> kept;
  int taken = 0;
  for (RowChange& change : work) {
    bool mark = change.kind == RowChange::Kind::MarkAssigned;
    if (!listFree && !(mark && FindRowByMac(rows, change.record.mac) >= 0)) {
      kept.push_back(std::move(change));
      continue;
    }
    bool applied = ApplyOne(rows, change);
    ++taken;
    if (change.done) change.done(applied);
  }
  if (!kept.empty()) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.insert(queue_.begin(), std::make_move_iterator(kept.begin()), std::make_move_iterator(kept.end()));
  }
  return taken;
}

}  // namespace plinth
