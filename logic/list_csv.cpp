#include "logic/list_csv.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "base/atomic_file.h"
#include "config/slave_csv.h"

namespace plinth {
namespace {

// A list of 300 slaves takes a few hundred kilobytes at most.
constexpr std::streamsize kMaxCsvSize = 16 * 1024 * 1024;

}  // namespace

bool ReadSlavesCsvFile(const std::string& path, std::vector<std::unique_ptr<SlaveRecord>>& records,
                       std::string& message) {
  records.clear();
  const std::string unchanged = "\nThe list was not changed.";
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    message = path + ": cannot open: " + std::strerror(errno) + unchanged;
    return false;
  }
  std::string text;
  char chunk[65536];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    text.append(chunk, static_cast<size_t>(in.gcount()));
    if (static_cast<std::streamsize>(text.size()) > kMaxCsvSize) {
      message = path + ": larger than 16 MB; no list of slaves needs that much" + unchanged;
      return false;
    }
  }
  if (in.bad()) {
    message = path + ": cannot read" + unchanged;
    return false;
  }
  std::string error;
  if (!ParseSlavesCsv(text, records, error)) {
    message = path + ":\n" + error + unchanged;
    return false;
  }
  return true;
}

bool WriteSlavesCsvFile(const std::string& path, const DataList& list, std::string& message) {
  const std::string text = "\xEF\xBB\xBF" + SlavesToCsv(list);
  int error = 0;
  if (WriteFileAtomically(path, std::vector<uint8_t>(text.begin(), text.end()), &error) == WriteFileError::None)
    return true;
  message = path + ": not written: " + std::strerror(error);
  return false;
}

}  // namespace plinth
