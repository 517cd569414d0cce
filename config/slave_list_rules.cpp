#include "config/slave_list_rules.h"

#include "base/text_scan.h"

namespace plinth {
namespace {
// n + 1 with the wrap-around of a 32-bit counter, never undefined.
int Successor(int n) { return static_cast<int>(static_cast<unsigned>(n) + 1u); }
}  // namespace

SlaveRecord PrepareNewSlave(const std::string& masterIpText, int& nextNode) {
  const auto m = ScanDotted(masterIpText);
  if (nextNode == m[3]) nextNode = Successor(nextNode);
  SlaveRecord r;
  r.node = std::to_string(nextNode);
  r.ipAddress = FormatDotted(m[0], m[1], m[2], nextNode);
  return r;
}

void NextNodeAfterAdd(const SlaveRecord& accepted, int& nextNode) {
  if (auto n = TryScanDecimal(accepted.node)) nextNode = Successor(*n);
}

void NextNodeAfterEdit(const SlaveRecord& accepted, int& nextNode) {
  if (auto n = TryScanDecimal(accepted.node); n && *n >= nextNode) nextNode = Successor(*n);
}

std::string RemoveConfirmationText(const SlaveRecord& r) { return r.node + "  " + r.ipAddress + "  " + r.name; }

}  // namespace plinth
