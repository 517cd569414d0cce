#include <gtest/gtest.h>

#include "config/slave_list_rules.h"
#include "config/slave_record.h"
#include "config_fixtures.h"

namespace plinth {
namespace {

using plinth::testing::MakeSlave;

TEST(DataList, AppendUpTo300ThenFull) {
  DataList list;
  for (int i = 0; i < 299; ++i) ASSERT_EQ(list.Append(std::make_unique<SlaveRecord>()), i);
  EXPECT_FALSE(list.Full());
  EXPECT_EQ(list.FirstEmptySlot(), 299);
  EXPECT_EQ(list.Append(std::make_unique<SlaveRecord>()), 299);
  EXPECT_TRUE(list.Full());
  EXPECT_EQ(list.FirstEmptySlot(), -1);
  EXPECT_EQ(list.Append(std::make_unique<SlaveRecord>()), -1);
  EXPECT_EQ(list.Count(), 300);
  EXPECT_EQ(list.At(300), nullptr);
  EXPECT_EQ(list.At(-1), nullptr);
}

TEST(DataList, RemoveMovesLaterRecordsDown) {
  DataList list;
  for (const char* n : {"1", "2", "3"}) list.Append(MakeSlave(n, "", "", "", "", "0", "0", "0"));
  ASSERT_TRUE(list.Remove(0));
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.At(0)->node, "2");
  EXPECT_EQ(list.At(1)->node, "3");
  EXPECT_EQ(list.At(2), nullptr);
  EXPECT_FALSE(list.Remove(2));  // empty slot
  ASSERT_TRUE(list.Remove(1));
  ASSERT_TRUE(list.Remove(0));
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.At(0), nullptr);
}

TEST(DataList, FindsByMacAndIpText) {
  DataList list;
  list.Append(MakeSlave("1", "", "10.0.0.1", "", "", "0", "0", "0"));
  list.Append(MakeSlave("2", "", "10.0.0.2", "", "", "0", "0", "0"));
  list.Append(MakeSlave("3", "", "10.0.0.2", "", "", "0", "0", "0"));
  list.At(1)->mac = {0, 1, 2, 3, 4, 5};
  list.At(2)->mac = {0, 1, 2, 3, 4, 5};
  EXPECT_EQ(list.FindByMac({0, 1, 2, 3, 4, 5}), 1);
  EXPECT_EQ(list.FindByMac({9, 9, 9, 9, 9, 9}), -1);
  EXPECT_EQ(list.FindByIpText("10.0.0.2"), 1);
  EXPECT_EQ(list.FindByIpText("10.0.0.20"), -1);
  EXPECT_EQ(list.FindByIpText(""), -1);
}

TEST(NextNode, ProposalsSkipTheMasterAndFollowAddsAndEdits) {
  int nextNode = 5;
  SlaveRecord r = PrepareNewSlave("192.168.1.5", nextNode);
  EXPECT_EQ(r.node, "6");
  EXPECT_EQ(r.ipAddress, "192.168.1.6");
  EXPECT_EQ(nextNode, 6);
  EXPECT_EQ(r.status, "unknown");
  EXPECT_TRUE(r.macAddress.empty() && r.moduleId.empty() && r.name.empty() && r.description.empty());

  nextNode = 1;
  r = PrepareNewSlave("", nextNode);
  EXPECT_EQ(r.node, "1");
  EXPECT_EQ(r.ipAddress, "0.0.0.1");

  nextNode = 1;
  EXPECT_EQ(PrepareNewSlave("192.168.1.1", nextNode).ipAddress, "192.168.1.2");
  nextNode = 1;
  EXPECT_EQ(PrepareNewSlave("192.168.1.5", nextNode).ipAddress, "192.168.1.1");

  // An Add follows the node just added, even downwards.
  nextNode = 21;
  r.node = "10";
  NextNodeAfterAdd(r, nextNode);
  EXPECT_EQ(nextNode, 11);
  r.node = "x";
  NextNodeAfterAdd(r, nextNode);
  EXPECT_EQ(nextNode, 11);
  // An Edit only ever grows it.
  r.node = "3";
  NextNodeAfterEdit(r, nextNode);
  EXPECT_EQ(nextNode, 11);
  r.node = "11";
  NextNodeAfterEdit(r, nextNode);
  EXPECT_EQ(nextNode, 12);
  r.node = "40";
  NextNodeAfterEdit(r, nextNode);
  EXPECT_EQ(nextNode, 41);
  r.node = "2147483647";
  NextNodeAfterEdit(r, nextNode);
  EXPECT_EQ(nextNode, -2147483647 - 1);
}

}  // namespace
}  // namespace plinth
