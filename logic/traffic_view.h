#pragma once
// What the "Traffic" window shows, without widgets: the traffic log's
// entries taken in as they come (unless paused), decoded once, filtered by
// address and by kind, and saved as text, JSON Lines or pcap.
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "net/traffic_decode.h"
#include "net/traffic_log.h"

namespace plinth {

enum class TrafficFilterKind { kAll, kModbus, kBootp, kConnects, kErrors };

// The filter's choices in the order the window lists them, with their labels.
struct TrafficFilterChoice {
  TrafficFilterKind kind;
  const char* label;
};
const std::vector<TrafficFilterChoice>& TrafficFilterChoices();

struct TrafficRow {
  TrafficEntry entry;
  DecodedTraffic decoded;
  std::string time;     // "12:00:00.123456"
  std::string kind;     // "Modbus", "BOOTP", "connect"
  std::string from, to; // "192.168.0.1:502"
  bool error = false;
};

class TrafficView {
 public:
  // log may be null (no log in this process): the view stays empty.
  explicit TrafficView(const TrafficLog* log, size_t maxRows = kDefaultTrafficCapacity);

  // Takes the log's new entries unless paused. Returns whether rows were
  // added or dropped; Added() and Dropped() say how many of the shown ones.
  bool Poll();
  size_t Added() const { return added_; }
  size_t Dropped() const { return dropped_; }

  void SetPaused(bool paused) { paused_ = paused; }
  bool Paused() const { return paused_; }
  // Forgets every row so far; later entries still come.
  void Clear();

  // Rows whose two ends contain text ("192.168.0.7", "10.0.0.1:502"); empty
  // text: all. And rows of one kind.
  void SetAddressFilter(std::string text);
  void SetKindFilter(TrafficFilterKind kind);

  // The rows shown, oldest first.
  const std::vector<const TrafficRow*>& Shown() const { return shown_; }
  // Entries the log no longer held when they were to be taken in.
  uint64_t Lost() const { return lost_; }

  // Saves the rows shown to path, in the form its extension names; false
  // with the system's reason.
  bool Save(const std::string& path, std::string& error) const;

 private:
  bool Matches(const TrafficRow& row) const;
  void Refilter();

  const TrafficLog* log_;
  const size_t maxRows_;
  uint64_t next_ = 0;
  uint64_t lost_ = 0;
  bool paused_ = false;
  std::string address_;
  TrafficFilterKind kind_ = TrafficFilterKind::kAll;
  std::deque<TrafficRow> rows_;
  std::vector<const TrafficRow*> shown_;
  size_t added_ = 0, dropped_ = 0;
};

}  // namespace plinth
