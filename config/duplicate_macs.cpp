#include "config/duplicate_macs.h"

#include <map>

#include "config/configuration.h"

namespace plinth {

std::vector<std::vector<int>> SlotsSharingMac(const DataList& list) {
  std::map<MacAddress, size_t> groupOf;
  std::vector<std::vector<int>> groups;
  for (int slot = 0; slot < list.Count(); ++slot) {
    const SlaveRecord* r = list.At(slot);
    if (!r || IsZeroMac(r->mac)) continue;
    const auto [it, fresh] = groupOf.emplace(r->mac, groups.size());
    if (fresh) groups.emplace_back();
    groups[it->second].push_back(slot);
  }
  std::erase_if(groups, [](const std::vector<int>& g) { return g.size() < 2; });
  return groups;
}

std::vector<std::string> DescribeSharedMacs(const DataList& list) {
  std::vector<std::string> lines;
  for (const std::vector<int>& group : SlotsSharingMac(list)) {
    std::string line = "MAC address " + FormatMac(list.At(group.front())->mac) + " is held by ";
    for (size_t k = 0; k < group.size(); ++k)
      line += (k == 0 ? "" : k + 1 == group.size() ? " and " : ", ") + SlaveLabel(group[k], *list.At(group[k]));
    lines.push_back(line);
  }
  return lines;
}

}  // namespace plinth
