#include "config/row_changes.h"

#include <memory>
#include <optional>

#include "base/text_scan.h"

namespace plinth {
namespace {

RowChangeResult AppendRecord(SlaveRows& rows, const SlaveRecord& record) {
  DataList& list = rows.Slaves();
  if (list.Full()) return RowChangeResult::kListFull;
  int slot = list.Append(std::make_unique<SlaveRecord>(record));
  rows.RenderRow(slot, nullptr);
  return RowChangeResult::kAppended;
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

RowChangeResult RowChangeQueue::ApplyOne(SlaveRows& rows, RowChange& change) {
  for (int i = 0; i < rows.RowCount(); ++i) {
    const SlaveRecord* r = rows.Slaves().At(i);
    if (r && r->ipAddress == change.record.ipAddress) {
      rows.RenderRow(i, &change.record);
      return RowChangeResult::kRefreshed;
    }
  }
  const std::optional<int> node = TryScanDecimal(change.record.node);
  for (int i = 0; node && i < rows.Slaves().Count(); ++i) {
    const SlaveRecord* r = rows.Slaves().At(i);
    if (r && !r->node.empty() && ScanDecimal(r->node) == *node) return RowChangeResult::kNodeTaken;
  }
  return AppendRecord(rows, change.record);
}

int RowChangeQueue::Apply(SlaveRows& rows, bool listFree) {
  if (!listFree) return 0;
  std::deque<RowChange> work;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    work.swap(queue_);
  }
  // Changes are applied without holding the queue's mutex, so that workers
  // can post meanwhile (and a done callback may post again).
  for (RowChange& change : work) {
    const RowChangeResult result = ApplyOne(rows, change);
    if (change.done) change.done(result);
  }
  return static_cast<int>(work.size());
}

}  // namespace plinth
