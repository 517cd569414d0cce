#include "config/configuration.h"

#include "base/text_scan.h"

namespace plinth {

std::string SlaveLabel(int slot, const SlaveRecord& r) {
  return "slave " + std::to_string(slot + 1) + (r.node.empty() ? "" : " (node " + r.node + ")");
}

std::string WordCountProblem(const SlaveRecord& r) {
  const long long i = ScanDecimal(r.inputWords), p = ScanDecimal(r.paramWords), o = ScanDecimal(r.outputWords);
  const std::string most =
      " do not fit the file; a block holds at most " + std::to_string(kMaxBlockWords) + " words.";
  if (i > kMaxBlockWords) return std::to_string(i) + " input words" + most;
  if (p > kMaxBlockWords) return std::to_string(p) + " parameter words" + most;
  if (o - p > kMaxBlockWords) return std::to_string(o) + " output words with " + std::to_string(p) +
                                     " parameter words" + most;
  return {};
}

}  // namespace plinth
