#pragma once
// plinthctl --trace and --trace-file: while a command runs, a thread of its
// own takes the traffic log's new entries and prints them decoded to
// standard error and/or writes them to a file (text, JSON Lines or pcap, by
// the file's extension). The network threads only fill the log.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "net/traffic_file.h"
#include "net/traffic_log.h"

namespace plinth {

class TraceOutput {
 public:
  TraceOutput() = default;
  // Stops, writing what is left.
  ~TraceOutput();
  TraceOutput(const TraceOutput&) = delete;
  TraceOutput& operator=(const TraceOutput&) = delete;

  // Sets the log and starts the thread; false (with a message on standard
  // error) when the file cannot be created.
  bool Start(bool toStandardError, const std::string& filePath, size_t capacity = kDefaultTrafficCapacity);
  // Takes the log away from the network code, writes every entry left and
  // closes the file; false when the file could not be written whole.
  bool Stop();

 private:
  void Run();
  void Drain();
  TrafficLog* log_ = nullptr;
  bool toStandardError_ = false;
  std::string filePath_;
  TrafficFileWriter file_;
  TrafficFileWriter terminal_;
  uint64_t next_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
};

}  // namespace plinth
