#include "config/slave_list_rules.h"

#include <map>

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

std::vector<NodeProblem> FindNodeProblems(const DataList& list) {
  std::vector<NodeProblem> problems;
  std::map<int, int> firstSlotOf;
  for (int slot = 0; slot < list.Count(); ++slot) {
    const std::string& text = list.At(slot)->node;
    if (text.empty()) continue;
    const std::optional<int> node = ReadWholeDecimal(text);
    if (!node) problems.push_back({NodeProblem::kUnreadable, slot, 0, -1});
    else if (*node < kFirstNode || *node > kLastNode) problems.push_back({NodeProblem::kOutOfRange, slot, *node, -1});
    else if (auto [it, fresh] = firstSlotOf.emplace(*node, slot); !fresh)
      problems.push_back({NodeProblem::kDuplicate, slot, *node, it->second});
  }
  return problems;
}

}  // namespace plinth
