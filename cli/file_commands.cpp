#include "cli/file_commands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>

#include "base/text_scan.h"
#include "cli/command_support.h"
#include "cli/console_messages.h"
#include "cli/json_config.h"
#include "config/config_reader.h"
#include "config/config_writer.h"
#include "config/duplicate_macs.h"
#include "config/file_layout.h"
#include "config/slave_csv.h"
#include "config/slave_list_rules.h"
#include "logic/render_row.h"

namespace plinth {
namespace {

// The core's messages about the file at path, each as "path: text", the
// system's reason (if any) after the last.
void PrintFileMessages(const std::string& path, const RecordedMessages& messages, const std::string& reason) {
  for (size_t k = 0; k < messages.entries.size(); ++k) {
    const auto& m = messages.entries[k];
    const std::string title = m.title == kAppName || m.title == path ? "" : m.title + ": ";
    const bool last = k + 1 == messages.entries.size();
    std::fprintf(stderr, "%s: %s%s%s%s\n", path.c_str(), title.c_str(), m.text.c_str(),
                 last && !reason.empty() ? " " : "", last ? reason.c_str() : "");
  }
}

}  // namespace

bool LoadConfigFile(const std::string& path, Configuration& config) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    std::fprintf(stderr, "%s: cannot open: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    std::fprintf(stderr, "%s: not a regular file\n", path.c_str());
    return false;
  }
  if (info.st_size == 0) {
    std::fprintf(stderr, "%s: the file is empty\n", path.c_str());
    return false;
  }
  RecordedMessages messages;
  ReadOutcome outcome = ReadConfiguration(path, config, messages);
  PrintFileMessages(path, messages, outcome.reason.empty() ? "" : "(" + outcome.reason + ")");
  if (!outcome.ok && messages.entries.empty()) std::fprintf(stderr, "%s: could not be read\n", path.c_str());
  return outcome.ok;
}

namespace {

// Reads the JSON text of build: standard input or a regular file, at most
// as many bytes as a configuration file may have (a JSON form needs fewer).
bool ReadInput(const std::string& inputPath, std::string& text) {
  int fd = 0;
  if (inputPath != "-") {
    fd = open(inputPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);  // a FIFO must not block
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0) {
      std::fprintf(stderr, "%s: cannot open: %s\n", inputPath.c_str(), std::strerror(errno));
      if (fd >= 0) close(fd);
      return false;
    }
    if (!S_ISREG(info.st_mode)) {
      std::fprintf(stderr, "%s: not a regular file\n", inputPath.c_str());
      close(fd);
      return false;
    }
  }
  char chunk[65536];
  ssize_t n = 0;
  while ((n = read(fd, chunk, sizeof chunk)) != 0 && text.size() <= kMaxConfigFileSize) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    text.append(chunk, static_cast<size_t>(n));
  }
  const int readError = n < 0 ? errno : 0;
  if (fd != 0) close(fd);
  if (readError) std::fprintf(stderr, "%s: cannot read: %s\n", inputPath.c_str(), std::strerror(readError));
  else if (text.size() > kMaxConfigFileSize)
    std::fprintf(stderr, "%s: larger than %llu bytes; no configuration needs that much\n", inputPath.c_str(),
                 static_cast<unsigned long long>(kMaxConfigFileSize));
  return readError == 0 && text.size() <= kMaxConfigFileSize;
}

// The board number is written to a file but not read back into the
// settings; a list built on another file's master settings takes it from
// that file's bytes, so that the file comes out the same.
std::string BoardOfImage(const ConfigImagePtr& image) {
  std::string error;
  if (!image) return "0";
  const NodeCursor root = OpenImage(*image, error);
  if (!root.Valid()) return "0";
  const NodeCursor ioh = FirstChild(*image, root, NodeKind::Root);
  if (!ioh.Valid() || ioh.header + layout::ioh::kBoard >= image->size()) return "0";
  return std::to_string((*image)[ioh.header + layout::ioh::kBoard]);
}

bool IsCsvPath(const std::string& path) {
  if (path.size() < 4) return false;
  std::string end = path.substr(path.size() - 4);
  for (char& c : end) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return end == ".csv";
}

void PrintTable(const Configuration& config) {
  std::printf("Master IP-Address: %s\n", config.master.masterIpText.c_str());
  std::printf("fileWord1: %u  fileWord2: %u  advancedSettings: 0x%04x\n", config.master.fileWord1,
              config.master.fileWord2, config.master.advancedSettings);
  std::vector<std::array<std::string, kColumnCount>> rows;
  for (int i = 0; i < config.dataList.Count(); ++i) {
    const SlaveRecord& r = *config.dataList.At(i);
    rows.push_back({r.node, r.status, r.ipAddress, IsZeroMac(r.mac) ? r.macAddress : FormatMac(r.mac), r.moduleId,
                    r.name, r.inputWords + "/" + r.outputWords + "/" + r.paramWords, r.description});
  }
  std::array<size_t, kColumnCount> width{};
  for (int c = 0; c < kColumnCount; ++c) {
    width[static_cast<size_t>(c)] = std::string(ColumnHeadings()[static_cast<size_t>(c)]).size();
    for (const auto& row : rows) width[static_cast<size_t>(c)] = std::max(width[static_cast<size_t>(c)], row[static_cast<size_t>(c)].size());
  }
  auto printRow = [&](auto cell) {
    std::string line;
    for (int c = 0; c < kColumnCount; ++c) {
      std::string text = cell(c);
      if (c + 1 < kColumnCount) text.resize(width[static_cast<size_t>(c)] + 2, ' ');
      line += text;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    std::printf("%s\n", line.c_str());
  };
  printRow([](int c) { return std::string(ColumnHeadings()[static_cast<size_t>(c)]); });
  for (const auto& row : rows) printRow([&row](int c) { return row[static_cast<size_t>(c)]; });
}

}  // namespace

int ShowCommand(const std::string& path, bool asJson, bool asCsv) {
  Configuration config;
  if (!LoadConfigFile(path, config)) return 1;
  if (asCsv)
    PrintOut(SlavesToCsv(config.dataList));
  else if (asJson)
    PrintOut(JsonText(Versioned(ConfigurationToJson(config)), 2) + "\n");
  else
    PrintTable(config);
  return 0;
}

int CheckCommand(const std::string& path) {
  Configuration config;
  if (!LoadConfigFile(path, config)) return 1;
  // The file stores 16-bit octets, so it can hold addresses that are none.
  int bad = 0;
  auto report = [&](const std::string& who, const std::string& ip) {
    if (ReadIpv4Octets(ip)) return;
    std::fprintf(stderr, "%s: %s: IP address %s is not four numbers 0 to 255\n", path.c_str(), who.c_str(),
                 ip.c_str());
    ++bad;
  };
  if (!config.master.masterIpText.empty()) report("master", config.master.masterIpText);
  for (int i = 0; i < config.dataList.Count(); ++i)
    report(SlaveLabel(i, *config.dataList.At(i)), config.dataList.At(i)->ipAddress);
  // The file stores 16-bit node numbers: a bus has 1 to 254, each once.
  for (const NodeProblem& p : FindNodeProblems(config.dataList)) {
    const std::string who = SlaveLabel(p.slot, *config.dataList.At(p.slot));
    if (p.kind == NodeProblem::kDuplicate)
      std::fprintf(stderr, "%s: %s: node %d is also %s's\n", path.c_str(), who.c_str(), p.node,
                   SlaveLabel(p.firstSlot, *config.dataList.At(p.firstSlot)).c_str());
    else
      std::fprintf(stderr, "%s: %s: node %d is outside the node numbers 1 to 254\n", path.c_str(), who.c_str(), p.node);
    ++bad;
  }
  // BOOTP registers a MAC address once: the other slaves would get no address.
  for (const std::string& line : DescribeSharedMacs(config.dataList)) {
    std::fprintf(stderr, "%s: %s; BOOTP can give an address to one of them only\n", path.c_str(), line.c_str());
    ++bad;
  }
  if (bad) return 1;
  std::printf("%s: valid, %d slave%s, master %s\n", path.c_str(), config.dataList.Count(),
              config.dataList.Count() == 1 ? "" : "s",
              config.master.masterIpText.empty() ? "(none)" : config.master.masterIpText.c_str());
  return 0;
}

int BuildCommand(const std::string& inputPath, const std::string& outputPath, const std::string& masterFrom) try {
  std::string text;
  if (!ReadInput(inputPath, text)) return 1;
  Configuration config;
  std::string error;
  if (IsCsvPath(inputPath)) {
    if (!masterFrom.empty()) {
      Configuration base;
      if (!LoadConfigFile(masterFrom, base)) return 1;
      config.master = base.master;
      config.master.boardText = BoardOfImage(base.image);
    }
    std::vector<std::unique_ptr<SlaveRecord>> records;
    if (!ParseSlavesCsv(text, records, error)) {
      std::fprintf(stderr, "%s: %s\n", inputPath.c_str(), error.c_str());
      return 1;
    }
    for (auto& r : records) config.dataList.Append(std::move(r));
  } else if (!masterFrom.empty()) {
    std::fprintf(stderr, "%s: --master-from goes with a .csv input; a JSON input carries its master settings\n",
                 inputPath.c_str());
    return 1;
  } else if (!ParseConfigurationJson(text, config, error)) {
    std::fprintf(stderr, "%s: %s\n", inputPath.c_str(), error.c_str());
    return 1;
  }
  // Every slave is shown once, as the window shows a row, which brings its
  // MAC address and catalogue data up to date before it is written.
  ConsoleMessages console;
  for (int i = 0; i < config.dataList.Count(); ++i) RenderRecord(*config.dataList.At(i), nullptr, nullptr, console);
  RecordedMessages messages;
  std::string reason;
  if (!WriteConfiguration(outputPath, config, messages, &reason)) {
    PrintFileMessages(outputPath, messages, reason.empty() ? "" : "(" + reason + ")");
    std::fprintf(stderr, "%s: not written\n", outputPath.c_str());
    return 1;
  }
  return 0;
} catch (const std::bad_alloc&) {
  std::fprintf(stderr, "%s: out of memory; %s not written\n", inputPath.c_str(), outputPath.c_str());
  return 1;
}

}  // namespace plinth
