#pragma once
// Writing traffic log entries to a file as they come: text lines, JSON
// Lines or a pcap capture, chosen by the file's extension.
#include <cstdio>
#include <span>
#include <string>

#include "net/traffic_log.h"
#include "net/traffic_pcap.h"

namespace plinth {

enum class TrafficFileFormat { kText, kJsonLines, kPcap };

// ".pcap" -> pcap; ".jsonl", ".ndjson" or ".json" -> JSON Lines; else text.
TrafficFileFormat TrafficFormatFromPath(const std::string& path);

class TrafficFileWriter {
 public:
  TrafficFileWriter() = default;
  ~TrafficFileWriter();
  TrafficFileWriter(const TrafficFileWriter&) = delete;
  TrafficFileWriter& operator=(const TrafficFileWriter&) = delete;

  // Creates or truncates path; false with the system's reason in error.
  bool Open(const std::string& path, std::string& error);
  // Writes to an open stream (standard error, say) as text; not closed here.
  void Attach(std::FILE* stream, TrafficFileFormat format);
  void Write(const TrafficEntry& entry);
  // A line (or, in JSON Lines, an object) saying that entries were lost.
  void WriteLost(uint64_t lost);
  // Flushes and closes; false with the reason when anything failed.
  bool Close(std::string& error);

 private:
  std::FILE* file_ = nullptr;
  bool owned_ = false;
  int failed_ = 0;
  TrafficFileFormat format_ = TrafficFileFormat::kText;
  PcapEncoder pcap_;
};

// Writes entries to path at once, atomically; false with the reason in error.
bool SaveTraffic(const std::string& path, std::span<const TrafficEntry> entries, std::string& error);

}  // namespace plinth
