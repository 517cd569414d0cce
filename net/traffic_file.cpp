#include "net/traffic_file.h"

#include <cctype>
#include <cerrno>
#include <cstring>

#include "base/atomic_file.h"
#include "net/traffic_decode.h"

namespace plinth {
namespace {

bool EndsWith(const std::string& text, const char* suffix) {
  const size_t n = std::strlen(suffix);
  if (text.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(text[text.size() - n + i])) != suffix[i]) return false;
  return true;
}

}  // namespace

TrafficFileFormat TrafficFormatFromPath(const std::string& path) {
  if (EndsWith(path, ".pcap")) return TrafficFileFormat::kPcap;
  if (EndsWith(path, ".jsonl") || EndsWith(path, ".ndjson") || EndsWith(path, ".json"))
    return TrafficFileFormat::kJsonLines;
  return TrafficFileFormat::kText;
}

namespace {

// One entry in the file's form (pcap: its records, after the file header).
std::string EntryInFormat(const TrafficEntry& entry, TrafficFileFormat format, PcapEncoder& pcap) {
  switch (format) {
    case TrafficFileFormat::kText: return TrafficTextLine(entry) + "\n";
    case TrafficFileFormat::kJsonLines: return TrafficJsonLine(entry) + "\n";
    case TrafficFileFormat::kPcap: return pcap.Records(entry);
  }
  return {};
}

}  // namespace

TrafficFileWriter::~TrafficFileWriter() {
  std::string ignored;
  Close(ignored);
}

bool TrafficFileWriter::Open(const std::string& path, std::string& error) {
  std::string ignored;
  Close(ignored);
  format_ = TrafficFormatFromPath(path);
  file_ = std::fopen(path.c_str(), format_ == TrafficFileFormat::kPcap ? "wb" : "w");
  if (!file_) {
    error = std::strerror(errno);
    return false;
  }
  owned_ = true;
  failed_ = 0;
  pcap_ = PcapEncoder{};
  if (format_ == TrafficFileFormat::kPcap) {
    const std::string header = PcapEncoder::FileHeader();
    if (std::fwrite(header.data(), 1, header.size(), file_) != header.size()) failed_ = errno ? errno : EIO;
  }
  return true;
}

void TrafficFileWriter::Attach(std::FILE* stream, TrafficFileFormat format) {
  std::string ignored;
  Close(ignored);
  file_ = stream;
  owned_ = false;
  format_ = format;
}

void TrafficFileWriter::Write(const TrafficEntry& entry) {
  if (!file_) return;
  const std::string out = EntryInFormat(entry, format_, pcap_);
  if (!out.empty() && std::fwrite(out.data(), 1, out.size(), file_) != out.size() && !failed_)
    failed_ = errno ? errno : EIO;
  if (!owned_) std::fflush(file_);
}

void TrafficFileWriter::WriteLost(uint64_t lost) {
  if (!file_ || lost == 0) return;
  const std::string n = std::to_string(lost);
  if (format_ == TrafficFileFormat::kText)
    std::fprintf(file_, "(%s entries lost: the log holds only the last ones)\n", n.c_str());
  else if (format_ == TrafficFileFormat::kJsonLines)
    std::fprintf(file_, "{\"formatVersion\":1,\"lost\":%s}\n", n.c_str());
}

bool TrafficFileWriter::Close(std::string& error) {
  if (!file_) return true;
  if (owned_) {
    if (std::fflush(file_) != 0 && !failed_) failed_ = errno;
    if (std::fclose(file_) != 0 && !failed_) failed_ = errno;
  }
  file_ = nullptr;
  if (failed_) error = std::strerror(failed_);
  const bool ok = failed_ == 0;
  failed_ = 0;
  return ok;
}

bool SaveTraffic(const std::string& path, std::span<const TrafficEntry> entries, std::string& error) {
  // Made whole in memory and written atomically: a save that fails leaves
  // the file that was there as it was.
  const TrafficFileFormat format = TrafficFormatFromPath(path);
  PcapEncoder pcap;
  std::string content = format == TrafficFileFormat::kPcap ? PcapEncoder::FileHeader() : std::string();
  for (const TrafficEntry& e : entries) content += EntryInFormat(e, format, pcap);
  int systemError = 0;
  if (WriteFileAtomically(path, std::vector<uint8_t>(content.begin(), content.end()), &systemError) ==
      WriteFileError::None)
    return true;
  error = std::strerror(systemError);
  return false;
}

}  // namespace plinth
