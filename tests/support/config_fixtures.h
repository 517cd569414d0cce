#pragma once
// The two worked examples of the file format, byte for byte, records, and a scratch folder for files.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "config/config_reader.h"
#include "config/config_writer.h"
#include "config/configuration.h"
#include "logic/render_row.h"

namespace plinth::testing {

inline std::vector<uint8_t> FromHex(const std::string& hex) {
  std::vector<uint8_t> bytes;
  std::istringstream in(hex);
  for (std::string byte; in >> byte;) bytes.push_back(static_cast<uint8_t>(std::stoul(byte, nullptr, 16)));
  return bytes;
}

inline const std::vector<uint8_t>& EmptyExample() {
  static const std::vector<uint8_t> bytes = FromHex(
      "54 04 10 01 00 02 00 47 65 6e 65 72 69 63 42 75 73 54 61 62 6c 65 00 38 2c 09 00 00 00 00 0a 00 00 00 "
      "00 00 32 00 05 00 c0 00 a8 00 01 00 0a 00 00 00 00 00 00 00 00 00 30 00 00 00 00 00 00 00 00 00 00 00 "
      "00 00 56 61 72 6e 65 6c 00 00 00 00 26 76 00 00");
  return bytes;
}

inline const std::vector<uint8_t>& OneSlaveExample() {
  static const std::vector<uint8_t> bytes = FromHex(
      "c0 d6 04 10 01 00 02 00 47 65 6e 65 72 69 63 42 75 73 54 61 62 6c 65 00 b9 2c 09 00 00 00 00 0a 00 01 "
      "00 00 00 32 00 05 00 c0 00 a8 00 01 00 0a 00 00 00 00 00 00 00 00 00 30 00 00 00 00 00 00 00 00 00 00 "
      "00 00 00 56 61 72 6e 65 6c 00 00 00 81 1c 0a 63 00 01 00 01 00 00 00 00 00 07 00 c0 00 a8 00 01 00 01 "
      "00 02 00 00 00 00 01 00 00 53 31 00 66 69 72 73 74 00 00 58 04 00 00 00 03 00 1b 14 04 06 00 03 00 00 "
      "00 02 00 00 00 00 00 04 00 00 00 02 00 00 00 00 00 00 00 19 14 02 06 00 03 00 00 00 01 00 00 00 00 00 "
      "50 00 00 00 01 00 00 00 00 00 1d 14 06 06 00 03 00 00 00 03 00 00 00 00 00 90 00 00 00 03 00 00 00 00 "
      "00 00 00 00 00 00 68 fb 00 00");
  return bytes;
}

inline std::unique_ptr<SlaveRecord> MakeSlave(std::string node, std::string moduleId, std::string ip,
                                              std::string name = "", std::string description = "",
                                              std::string in = "0", std::string out = "0", std::string param = "0",
                                              std::string macText = "") {
  auto r = std::make_unique<SlaveRecord>();
  r->node = node, r->moduleId = moduleId, r->ipAddress = ip, r->name = name, r->description = description;
  r->inputWords = in, r->outputWords = out, r->paramWords = param, r->macAddress = macText;
  return r;
}

// A folder of its own for one test, removed afterwards.
class ScratchDir {
 public:
  ScratchDir() {
    std::string templ = (std::filesystem::temp_directory_path() / "plinth-test-XXXXXX").string();
    path_ = mkdtemp(templ.data());
  }
  ~ScratchDir() { std::filesystem::remove_all(path_); }
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::ssize(bytes));
}

}  // namespace plinth::testing
