#include "logic/traffic_view.h"

#include <algorithm>

#include "net/traffic_file.h"

namespace plinth {

const std::vector<TrafficFilterChoice>& TrafficFilterChoices() {
  static const std::vector<TrafficFilterChoice> choices = {{TrafficFilterKind::kAll, "All"},
                                                           {TrafficFilterKind::kModbus, "Modbus"},
                                                           {TrafficFilterKind::kBootp, "BOOTP"},
                                                           {TrafficFilterKind::kConnects, "Connects"},
                                                           {TrafficFilterKind::kErrors, "Errors only"}};
  return choices;
}

TrafficView::TrafficView(const TrafficLog* log, size_t maxRows)
    : log_(log), maxRows_(std::max<size_t>(maxRows, 1)) {
  // A window opened late shows what the log still holds.
  if (log) next_ = log->Next() > log->Capacity() ? log->Next() - log->Capacity() : 0;
}

bool TrafficView::Poll() {
  added_ = dropped_ = 0;
  if (!log_ || paused_) return false;
  TrafficLog::Batch batch = log_->Read(next_, maxRows_);
  next_ = batch.next;
  lost_ += batch.lost;
  if (batch.entries.empty()) return false;
  for (TrafficEntry& e : batch.entries) {
    TrafficRow row;
    row.decoded = DecodeTraffic(e);
    row.error = row.decoded.error;
    const std::string time = TrafficTimeText(e.timeUs);
    row.time = time.substr(time.find(' ') + 1);
    row.kind = TrafficKindName(e.kind);
    const bool sent = e.direction == TrafficDirection::kSent;
    row.from = EndpointText(sent ? e.local : e.remote);
    row.to = EndpointText(sent ? e.remote : e.local);
    row.entry = std::move(e);
    rows_.push_back(std::move(row));
    if (Matches(rows_.back())) {
      shown_.push_back(&rows_.back());
      ++added_;
    }
  }
  // The oldest rows go once there are more than the view keeps.
  while (rows_.size() > maxRows_) {
    if (!shown_.empty() && shown_.front() == &rows_.front()) {
      shown_.erase(shown_.begin());
      ++dropped_;
    }
    rows_.pop_front();
  }
  return added_ || dropped_;
}

void TrafficView::Clear() {
  rows_.clear();
  shown_.clear();
}

void TrafficView::SetAddressFilter(std::string text) {
  address_ = std::move(text);
  Refilter();
}

void TrafficView::SetKindFilter(TrafficFilterKind kind) {
  kind_ = kind;
  Refilter();
}

bool TrafficView::Matches(const TrafficRow& row) const {
  if (!address_.empty() && row.from.find(address_) == std::string::npos &&
      row.to.find(address_) == std::string::npos)
    return false;
  switch (kind_) {
    case TrafficFilterKind::kAll: return true;
    case TrafficFilterKind::kModbus: return row.entry.kind == TrafficKind::kModbus;
    case TrafficFilterKind::kBootp: return row.entry.kind == TrafficKind::kBootp;
    case TrafficFilterKind::kConnects: return row.entry.kind == TrafficKind::kConnect;
    case TrafficFilterKind::kErrors: return row.error;
  }
  return true;
}

void TrafficView::Refilter() {
  shown_.clear();
  for (const TrafficRow& row : rows_)
    if (Matches(row)) shown_.push_back(&row);
}

bool TrafficView::Save(const std::string& path, std::string& error) const {
  std::vector<TrafficEntry> entries;
  entries.reserve(shown_.size());
  for (const TrafficRow* row : shown_) entries.push_back(row->entry);
  return SaveTraffic(path, entries, error);
}

}  // namespace plinth
