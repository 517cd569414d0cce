#include "cli/file_commands.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "cli/console_messages.h"
#include "cli/json_config.h"
#include "config/render_row.h"

namespace plinth {
namespace {

// Reads a configuration file the way the window does; false (with the
// reason printed) when nothing could be read.
bool LoadFile(const std::string& path, Configuration& config) {
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
  ConsoleMessages messages;
  ReadOutcome outcome = ReadConfiguration(path, config, messages);
  if (!outcome.ok && messages.count == 0) std::fprintf(stderr, "%s: could not be read\n", path.c_str());
  return outcome.ok;
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

int ShowCommand(const std::string& path, bool asJson) {
  Configuration config;
  if (!LoadFile(path, config)) return 1;
  if (asJson)
    std::cout << ConfigurationToJson(config).dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
              << "\n";
  else
    PrintTable(config);
  return 0;
}

int CheckCommand(const std::string& path) {
  Configuration config;
  if (!LoadFile(path, config)) return 1;
  std::printf("%s: valid, %d slave%s, master %s\n", path.c_str(), config.dataList.Count(),
              config.dataList.Count() == 1 ? "" : "s",
              config.master.masterIpText.empty() ? "(none)" : config.master.masterIpText.c_str());
  return 0;
}

int BuildCommand(const std::string& inputPath, const std::string& outputPath) {
  std::string text;
  if (inputPath == "-") {
    std::stringstream buffer;
    buffer << std::cin.rdbuf();
    text = buffer.str();
  } else {
    std::ifstream in(inputPath, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "%s: cannot open: %s\n", inputPath.c_str(), std::strerror(errno));
      return 1;
    }
    std::stringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
  }
  Configuration config;
  std::string error;
  if (!ParseConfigurationJson(text, config, error)) {
    std::fprintf(stderr, "%s: %s\n", inputPath.c_str(), error.c_str());
    return 1;
  }
  // Every slave is shown once, as the window shows a row, which brings its
  // MAC address and catalogue data up to date before it is written.
  ConsoleMessages messages;
  for (int i = 0; i < config.dataList.Count(); ++i) RenderRecord(*config.dataList.At(i), nullptr, nullptr, messages);
  if (!WriteConfiguration(outputPath, config, messages)) {
    std::fprintf(stderr, "%s: not written\n", outputPath.c_str());
    return 1;
  }
  return 0;
}

}  // namespace plinth
