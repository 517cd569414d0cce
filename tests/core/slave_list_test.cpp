#include <gtest/gtest.h>

#include "config/slave_list_rules.h"

namespace plinth {
namespace {

TEST(NextNode, ProposalsSkipTheMasterAndFollowAddsAndEdits) {
  // {master, nextNode before} -> "node ip nextNode after"
  const std::tuple<const char*, int, const char*> proposals[] = {{"192.168.1.5", 5, "6 192.168.1.6 6"},
                                                                 {"", 1, "1 0.0.0.1 1"},
                                                                 {"192.168.1.1", 1, "2 192.168.1.2 2"},
                                                                 {"192.168.1.5", 1, "1 192.168.1.1 1"}};
  for (auto [master, before, expected] : proposals) {
    int nextNode = before;
    SlaveRecord r = PrepareNewSlave(master, nextNode);
    EXPECT_EQ(r.node + " " + r.ipAddress + " " + std::to_string(nextNode), expected) << master;
    EXPECT_TRUE(r.status == "unknown" && r.macAddress.empty() && r.moduleId.empty() && r.name.empty());
  }
  // {node, after an Add?, nextNode after}: an Add follows the node just
  // added, even downwards; an Edit only ever grows it.
  const std::tuple<const char*, bool, int> steps[] = {{"10", true, 11},  {"x", true, 11},  {"3", false, 11},
                                                      {"11", false, 12}, {"40", false, 41},
                                                      {"2147483647", false, -2147483647 - 1}};
  int nextNode = 21;
  for (auto [node, add, after] : steps) {
    SlaveRecord r;
    r.node = node;
    add ? NextNodeAfterAdd(r, nextNode) : NextNodeAfterEdit(r, nextNode);
    EXPECT_EQ(nextNode, after) << node;
  }
}

}  // namespace
}  // namespace plinth
