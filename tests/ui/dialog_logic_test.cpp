// The decisions of the dialogs and the list, without widgets: slave
// configuration checks and auto IP, the advanced settings word, the sort
// rules of the list, the local address list.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "app/host_addresses.h"
#include "config/slave_sort.h"
#include "config/text_scan.h"
#include "core/config_fixtures.h"
#include "dialogs/advanced_settings.h"
#include "dialogs/module_catalog.h"
#include "dialogs/slave_config_logic.h"
#include "scripted_prompts.h"

namespace plinth {
namespace {

using testing::MakeSlave;
using testing::ScriptedPrompts;

struct LogicFixture {
  explicit LogicFixture(const std::string& master, std::vector<std::string> otherNodes = {}, int nextNode = 1) {
    for (const std::string& n : otherNodes) list.Append(MakeSlave(n, "", "", "", "", "0", "0", "0"));
    owner = {master, nextNode, true, &list};
  }
  SlaveConfigLogic Make(int slot = -1) { return SlaveConfigLogic(owner, slot, used, prompts); }

  DataList list;
  SlaveConfigOwner owner;
  SlaveConfigLogic::UsedNodes used{};
  ScriptedPrompts prompts;
};

TEST(SlaveConfigLogic, AutoIpFollowsNodeAndAvoidsTheMaster) {
  LogicFixture f("192.168.1.10", {"11", "12"});
  SlaveConfigLogic logic = f.Make();
  EXPECT_TRUE(f.used[11] && f.used[12] && !f.used[10]);

  logic.record.node = "5";
  logic.BuildAutoIp();
  EXPECT_EQ(logic.record.ipAddress, "192.168.1.5");

  // The master's own host number moves to the next free node.
  logic.record.node = "10";
  logic.BuildAutoIp();
  EXPECT_EQ(logic.record.node, "13");
  EXPECT_EQ(logic.record.ipAddress, "192.168.1.13");

  // The node text goes into the address unchanged.
  logic.record.node = " 7";
  logic.BuildAutoIp();
  EXPECT_EQ(logic.record.ipAddress, "192.168.1. 7");

  LogicFixture high("10.0.0.254");
  SlaveConfigLogic wrap = high.Make();
  wrap.record.node = "254";
  wrap.BuildAutoIp();
  EXPECT_EQ(wrap.record.node, "1");
  EXPECT_EQ(wrap.record.ipAddress, "10.0.0.1");
}

TEST(SlaveConfigLogic, UsedNodesSkipTheEditedSlotAndWrapModulo256) {
  LogicFixture f("192.168.1.10", {"3", "4", "261", ""});
  SlaveConfigLogic logic = f.Make(1);
  EXPECT_TRUE(f.used[3]);
  EXPECT_FALSE(f.used[4]);  // the slave being edited
  EXPECT_TRUE(f.used[5]);   // 261 modulo 256
  EXPECT_FALSE(f.used[0]);  // an empty node text marks nothing
}

TEST(SlaveConfigLogic, ValidateNodeMessagesInOrder) {
  LogicFixture f("192.168.1.10", {"20"});
  SlaveConfigLogic logic = f.Make();
  logic.autoIp = false;
  logic.record.ipAddress = "192.168.1.99";
  struct Case {
    const char* node;
    const char* message;  // null: valid
  } cases[] = {
      {"12x", "Cannot read slave node"},  {"12 3", "Cannot read slave node"}, {"", "Cannot read slave node"},
      {"0", "Slave node range is 1..254"}, {"255", "Slave node range is 1..254"},
      {"-1", "Slave node range is 1..254"}, {"20", "Slave node already used"}, {"12  ", nullptr},
      {" 254", nullptr},
  };
  for (const Case& c : cases) {
    f.prompts.Clear();
    logic.record.node = c.node;
    EXPECT_EQ(logic.ValidateNode(), c.message == nullptr) << c.node;
    if (c.message) {
      ASSERT_EQ(f.prompts.shown.size(), 1u) << c.node;
      EXPECT_EQ(f.prompts.shown[0], (ScriptedPrompts::Shown{"message", c.message, "Plinth"}));
    } else {
      EXPECT_TRUE(f.prompts.shown.empty()) << c.node;
    }
  }
  // Auto IP off and the master's own address typed in.
  f.prompts.Clear();
  logic.record.node = "7";
  logic.record.ipAddress = "192.168.1.10";
  EXPECT_FALSE(logic.ValidateNode());
  EXPECT_EQ(f.prompts.Messages(), std::vector<std::string>{"SlaveNode illegal. Address conflict with master."});
  // Auto IP on rebuilds the address from the node before comparing.
  logic.autoIp = true;
  f.prompts.Clear();
  EXPECT_TRUE(logic.ValidateNode());
  EXPECT_EQ(logic.record.ipAddress, "192.168.1.7");
}

TEST(SlaveConfigLogic, ApplyModuleIdFillsAndLocksKnownModules) {
  LogicFixture f("192.168.1.10");
  SlaveConfigLogic logic = f.Make();
  logic.record.moduleId = "1218";
  logic.record.name = "mine";
  EXPECT_TRUE(logic.ApplyModuleId(-1));
  EXPECT_EQ(logic.record.name, "482-BFK-287-46");
  EXPECT_EQ(logic.record.description, "ANALOG-4CH RTD, THERMO INPUT");
  EXPECT_EQ(logic.record.inputWords + "/" + logic.record.outputWords + "/" + logic.record.paramWords, "4/4/4");
  EXPECT_TRUE(logic.moduleFieldsLocked);

  logic.record.moduleId = "99";
  EXPECT_TRUE(logic.ApplyModuleId(-1));
  EXPECT_FALSE(logic.moduleFieldsLocked);
  EXPECT_EQ(logic.record.name, "482-BFK-287-46");  // unlocked fields keep their texts

  logic.record.moduleId = "";
  EXPECT_TRUE(logic.ApplyModuleId(-1));
  EXPECT_FALSE(logic.moduleFieldsLocked);

  logic.record.moduleId = "-3";
  EXPECT_FALSE(logic.ApplyModuleId(-1));
  logic.record.moduleId = "7a";
  EXPECT_FALSE(logic.ApplyModuleId(-1));
  EXPECT_EQ(f.prompts.Messages(), (std::vector<std::string>{"Slave id out of range", "Cannot read slave id"}));

  // An ID chosen from the list; its low 16 bits pick the module.
  EXPECT_TRUE(logic.ApplyModuleId(65536 + 704));
  EXPECT_EQ(logic.record.moduleId, "66240");
  EXPECT_EQ(logic.record.name, "482-BFK-216-05");
}

TEST(SlaveConfigLogic, TooManyParameterWordsAsksFirst) {
  LogicFixture f("192.168.1.10");
  SlaveConfigLogic logic = f.Make();
  logic.record.node = "3";
  logic.record.outputWords = "2";
  logic.record.paramWords = "4";

  f.prompts.answers = {false};
  EXPECT_FALSE(logic.Accept());
  EXPECT_EQ(logic.record.outputWords, "2");
  ASSERT_EQ(f.prompts.shown.size(), 1u);
  EXPECT_EQ(f.prompts.shown[0], (ScriptedPrompts::Shown{"ask", "The word count for output will be adjusted to 4.",
                                                         "Too much parameter words defined!"}));

  f.prompts.Clear();
  f.prompts.answers = {true};
  EXPECT_TRUE(logic.Accept());
  EXPECT_EQ(logic.record.outputWords, "4");
  EXPECT_EQ(logic.record.ipAddress, "192.168.1.3");
  EXPECT_EQ(f.prompts.shown.size(), 1u);

  // Validation still runs after the question.
  f.prompts.Clear();
  logic.record.paramWords = "9";
  logic.record.node = "0";
  f.prompts.answers = {true};
  EXPECT_FALSE(logic.Accept());
  EXPECT_EQ(f.prompts.Messages(), std::vector<std::string>{"Slave node range is 1..254"});
}

TEST(SlaveConfigLogic, LeavingAFieldForCancelChecksNothing) {
  LogicFixture f("192.168.1.10");
  SlaveConfigLogic logic = f.Make();
  logic.record.node = "abc";
  logic.record.moduleId = "x";
  EXPECT_TRUE(logic.LeaveNode(true));
  EXPECT_TRUE(logic.LeaveModuleId(true));
  EXPECT_TRUE(f.prompts.shown.empty());
  EXPECT_FALSE(logic.LeaveNode(false));
  EXPECT_FALSE(logic.LeaveModuleId(false));
  EXPECT_EQ(f.prompts.Messages(), (std::vector<std::string>{"Cannot read slave node", "Cannot read slave id"}));
}

TEST(SlaveConfigLogic, OpeningDecidesAutoIpAndTheCheckBox) {
  LogicFixture f("192.168.1.10", {}, 4);
  {
    SlaveConfigLogic logic = f.Make();
    logic.record.node = "7";
    logic.record.ipAddress = "192.168.1.7";
    logic.Open(nullptr);
    EXPECT_FALSE(logic.autoIpBoxVisible);
    EXPECT_TRUE(logic.autoIp);
    EXPECT_FALSE(logic.ipEditable);
  }
  {
    SlaveConfigLogic logic = f.Make();
    logic.record.node = "8";
    logic.record.ipAddress = "192.168.1.7";
    logic.Open(nullptr);
    EXPECT_TRUE(logic.autoIpBoxVisible);
    EXPECT_FALSE(logic.autoIp);
    EXPECT_TRUE(logic.ipEditable);
    EXPECT_EQ(logic.record.ipAddress, "192.168.1.7");  // not rebuilt
    logic.SetAutoIp(true);
    EXPECT_EQ(logic.record.ipAddress, "192.168.1.8");
    EXPECT_FALSE(logic.ipEditable);
  }
  {
    // VARNEL_AUTOIP set to anything but ON frees the address.
    SlaveConfigLogic logic = f.Make();
    logic.record.node = "7";
    logic.record.ipAddress = "192.168.1.7";
    logic.Open("off");
    EXPECT_TRUE(logic.autoIpBoxVisible);
    EXPECT_FALSE(logic.autoIp);
  }
  {
    // A new record takes nextNode; a known module's fields start locked.
    SlaveConfigLogic logic = f.Make();
    logic.record.catalogEntry = &FindModule(704);
    logic.Open("ON");
    EXPECT_EQ(logic.record.node, "4");
    EXPECT_EQ(logic.record.ipAddress, "192.168.1.4");
    EXPECT_FALSE(logic.autoIpBoxVisible);
    EXPECT_TRUE(logic.moduleFieldsLocked);
  }
  {
    // An address that is no dotted address counts as departing from the node.
    SlaveConfigLogic logic = f.Make();
    logic.record.node = "7";
    logic.record.ipAddress = "host7";
    logic.Open(nullptr);
    EXPECT_TRUE(logic.autoIpBoxVisible);
  }
}

TEST(SlaveConfigLogic, ConnectNeedsAnAddress) {
  LogicFixture f("192.168.1.10");
  SlaveConfigLogic logic = f.Make();
  int flows = 0;
  logic.connectFlow = [&](SlaveConfigLogic&) { return ++flows > 0; };
  EXPECT_FALSE(logic.ConnectToModule());
  EXPECT_EQ(f.prompts.Messages(), std::vector<std::string>{"Must have an ip-address to make a connection"});
  EXPECT_EQ(flows, 0);
  logic.record.ipAddress = "192.168.1.4";
  EXPECT_TRUE(logic.ConnectToModule());
  EXPECT_EQ(flows, 1);
}

TEST(AdvancedSettings, PackingAndTheBurstField) {
  AdvancedValues v = UnpackAdvancedSettings((1u << 13) | 5);
  EXPECT_EQ(v.burstCount, 5);
  EXPECT_TRUE(v.oneCycleOutputInput);
  EXPECT_FALSE(v.fillUdpDummyFrame);
  EXPECT_EQ(PackAdvancedSettings(v), (1u << 13) | 5);
  EXPECT_EQ(PackAdvancedSettings(UnpackAdvancedSettings(0xFFFF)), 0x60FF);  // stray bits are dropped
  EXPECT_EQ(PackAdvancedSettings({255, true, false}), 0x40FF);

  ScriptedPrompts prompts;
  EXPECT_EQ(ReadBurstCount(" 17 ", prompts), 17);
  EXPECT_EQ(ReadBurstCount("255", prompts), 255);
  EXPECT_FALSE(ReadBurstCount("abc", prompts));
  EXPECT_FALSE(ReadBurstCount("256", prompts));
  EXPECT_FALSE(ReadBurstCount("-1", prompts));
  EXPECT_EQ(prompts.Messages(), (std::vector<std::string>{"Please enter an integer.",
                                                          "Please enter an integer between 0 and 255.",
                                                          "Please enter an integer between 0 and 255."}));
}

SlaveRecord Row(const std::string& node, const std::string& status, const std::string& ip,
                const std::string& id = "", const std::string& description = "") {
  SlaveRecord r;
  r.node = node;
  r.status = status;
  r.ipAddress = ip;
  r.moduleId = id;
  r.description = description;
  return r;
}

std::vector<std::string> SortedNodes(std::vector<SlaveRecord> rows, int column) {
  DataList list;
  for (auto& r : rows) list.Append(std::make_unique<SlaveRecord>(r));
  SortSlaves(list, column);
  std::vector<std::string> nodes;
  for (int i = 0; i < list.Count(); ++i) nodes.push_back(list.At(i)->node);
  return nodes;
}

TEST(SlaveSort, ColumnRulesAndTieBreaks) {
  using V = std::vector<std::string>;
  // Addresses sort as text, nodes as numbers.
  EXPECT_EQ(SortedNodes({Row("1", "ok", "10.0.0.9"), Row("2", "ok", "10.0.0.10")}, 2), (V{"2", "1"}));
  EXPECT_EQ(SortedNodes({Row("10", "", ""), Row("2", "", ""), Row("x", "", "")}, 0), (V{"x", "2", "10"}));
  // Status ties go to the address, address ties to the node.
  EXPECT_EQ(SortedNodes({Row("1", "ok", "10.0.0.3"), Row("2", "bootp", "10.0.0.9"), Row("3", "ok", "10.0.0.2")}, 1),
            (V{"2", "3", "1"}));
  EXPECT_EQ(SortedNodes({Row("9", "", "10.0.0.1"), Row("3", "", "10.0.0.1")}, 2), (V{"3", "9"}));
  // Description ties go to the ID, which reads numbers, then the address.
  EXPECT_EQ(SortedNodes({Row("1", "", "b", "10", "d"), Row("2", "", "a", "9", "d"), Row("3", "", "a", "10", "d"),
                         Row("4", "", "z", "1", "c")},
                        7),
            (V{"4", "2", "3", "1"}));
  // Bytes compare unsigned; a prefix comes first.
  EXPECT_EQ(SortedNodes({Row("1", "\xe9", ""), Row("2", "z", ""), Row("3", "zz", ""), Row("4", "Z", "")}, 1),
            (V{"4", "2", "3", "1"}));
  // I/O/P: input words then output words, as text.
  SlaveRecord a = Row("1", "", "a"), b = Row("2", "", "b"), c = Row("3", "", "c");
  a.inputWords = "10", b.inputWords = "2", c.inputWords = "10";
  a.outputWords = "5", c.outputWords = "1";
  EXPECT_EQ(SortedNodes({a, b, c}, 6), (V{"3", "1", "2"}));
}

uint32_t Ip(const char* text) { return ParseIpv4(text); }

TEST(LocalAddresses, ResolverFirstThenInterfacesLoopbackLast) {
  RecordedMessages messages;
  auto list = MergeLocalAddresses(std::vector<uint32_t>{Ip("127.0.1.1"), Ip("10.1.1.1")},
                                  {Ip("127.0.0.1"), Ip("192.168.5.2"), Ip("10.1.1.1")}, messages);
  EXPECT_EQ(list, (std::vector<uint32_t>{Ip("10.1.1.1"), Ip("192.168.5.2")}));
  EXPECT_TRUE(messages.entries.empty());

  list = MergeLocalAddresses(std::nullopt, {Ip("192.168.5.2")}, messages);
  EXPECT_EQ(list, std::vector<uint32_t>{Ip("192.168.5.2")});
  list = MergeLocalAddresses(std::vector<uint32_t>{}, {Ip("127.0.0.1")}, messages);
  EXPECT_EQ(list, std::vector<uint32_t>{Ip("127.0.0.1")});
  list = MergeLocalAddresses(std::nullopt, {}, messages);
  EXPECT_TRUE(list.empty());
  ASSERT_EQ(messages.entries.size(), 3u);
  EXPECT_EQ(messages.entries[0].text, "No ip-addr list configured!");
  EXPECT_EQ(messages.entries[1].text, "No tcpip-interface card found!");
  EXPECT_EQ(messages.entries[2].text, "No ip-addr list configured!");
  for (auto& e : messages.entries) EXPECT_EQ(e.title, "Plinth");
}

}  // namespace
}  // namespace plinth
