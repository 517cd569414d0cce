// The decisions of the dialogs and the list, without widgets: slave configuration checks and auto IP, the sort
// rules of the list, the local address list.
#include <gtest/gtest.h>
#include "base/text_scan.h"
#include "config/module_catalog.h"
#include "config/slave_sort.h"
#include "logic/slave_config_logic.h"
#include "net/host_addresses.h"
#include "tests/support/config_fixtures.h"
#include "tests/support/scripted_prompts.h"

namespace plinth {
namespace {

using namespace testing;

struct LogicFixture {
  explicit LogicFixture(const std::string& master, Texts otherNodes = {}, int nextNode = 1) {
    for (const std::string& n : otherNodes) list.Append(testing::MakeSlave(n, "", ""));
    owner = {master, nextNode, true, &list};
  }
  SlaveConfigLogic Make(int slot = -1, std::string node = "", std::string ip = "") {
    SlaveConfigLogic logic(owner, slot, used, prompts);
    logic.record.node = std::move(node), logic.record.ipAddress = std::move(ip);
    return logic;
  }
  DataList list;
  SlaveConfigOwner owner;
  SlaveConfigLogic::UsedNodes used{};
  ScriptedPrompts prompts;
};

TEST(SlaveConfigLogic, UsedNodesAndAutoIpAvoidingTheMaster) {
  LogicFixture f("192.168.1.10", {"11", "12", "261", "4", ""});
  SlaveConfigLogic logic = f.Make(3);
  EXPECT_TRUE(f.used[11] && f.used[12] && f.used[5]);  // 261 modulo 256
  EXPECT_TRUE(!f.used[4] && !f.used[0]);  // the slave being edited; an empty node marks nothing
  // The master's own host number moves to the next free node; a node that reads as a number goes in as one.
  for (auto [node, expected] : {std::pair{"5", "5 192.168.1.5"}, {"10", "13 192.168.1.13"}, {" 7", " 7 192.168.1.7"},
                                {"011", "011 192.168.1.11"}, {"x", "x 192.168.1.x"}}) {
    logic.record.node = node;
    logic.BuildAutoIp();
    EXPECT_EQ(logic.record.node + " " + logic.record.ipAddress, expected);
  }
  LogicFixture high("10.0.0.254");
  SlaveConfigLogic wrap = high.Make(-1, "254");
  wrap.BuildAutoIp();
  EXPECT_EQ(wrap.record.node + " " + wrap.record.ipAddress, "1 10.0.0.1");
}

TEST(SlaveConfigLogic, ValidateNodeMessagesInOrder) {
  LogicFixture f("192.168.1.10", {"20"});
  SlaveConfigLogic logic = f.Make(-1, "", "192.168.1.99");
  logic.autoIp = false;
  const std::pair<const char*, const char*> cases[] = {
      {"12x", "Cannot read slave node"},   {"12 3", "Cannot read slave node"},     {"", "Cannot read slave node"},
      {"0", "Slave node range is 1..254"}, {"255", "Slave node range is 1..254"}, {"-1", "Slave node range is 1..254"},
      {"20", "Slave node already used"},   {"12  ", nullptr},                     {" 254", nullptr}};
  for (auto [node, message] : cases) {
    f.prompts.shown.clear();
    logic.record.node = node;
    EXPECT_EQ(logic.ValidateNode(), message == nullptr) << node;
    EXPECT_EQ(f.prompts.shown, (message ? std::vector<Shown>{{"message", message, "Plinth"}} : std::vector<Shown>()));
  }
  // Auto IP off and the master's own address typed in; auto IP on rebuilds the address from the node before comparing.
  f.prompts.shown.clear();
  logic.record.node = "7", logic.record.ipAddress = "192.168.1.10";
  EXPECT_FALSE(logic.ValidateNode());
  EXPECT_EQ(f.prompts.Messages(), Texts{"SlaveNode illegal. Address conflict with master."});
  logic.autoIp = true;
  EXPECT_TRUE(logic.ValidateNode() && logic.record.ipAddress == "192.168.1.7");
}

TEST(SlaveConfigLogic, ApplyModuleIdFillsAndLocksKnownModules) {
  LogicFixture f("192.168.1.10");
  SlaveConfigLogic logic = f.Make();
  const SlaveRecord& r = logic.record;
  auto apply = [&](const char* id, int64_t chosen = -1) {
    if (id) logic.record.moduleId = id;
    const bool ok = logic.ApplyModuleId(chosen);
    return std::to_string(ok) + std::to_string(logic.moduleFieldsLocked) + " " + r.moduleId +
           "|" + r.name + "|" + r.description + "|" + r.inputWords + "/" + r.outputWords + "/" + r.paramWords;
  };
  logic.record.name = "mine";
  EXPECT_EQ(apply("1218"), "11 1218|482-BFK-287-46|ANALOG-4CH RTD, THERMO INPUT|4/4/4");
  EXPECT_EQ(apply("99"), "10 99|482-BFK-287-46|ANALOG-4CH RTD, THERMO INPUT|4/4/4");  // unlocked: texts kept
  logic.moduleFieldsLocked = true;
  EXPECT_EQ(apply("").substr(0, 2), "10");
  for (const char* bad : {"-3", "7a"}) EXPECT_EQ(apply(bad)[0], '0') << bad;
  EXPECT_EQ(f.prompts.Messages(), (Texts{"Slave id out of range", "Cannot read slave id"}));
  // An ID chosen from the list; its low 16 bits pick the module.
  EXPECT_EQ(apply(nullptr, 65536 + 704).substr(0, 23), "11 66240|482-BFK-216-05");
}

TEST(SlaveConfigLogic, OkAsksAboutParameterWordsAndRefusesWhatTheFileCannotHold) {
  LogicFixture f("192.168.1.10");
  SlaveConfigLogic logic = f.Make(-1, "3");
  logic.record.outputWords = "2", logic.record.paramWords = "4";
  const Shown question{"ask", "The word count for output will be adjusted to 4.", "Too much parameter words defined!"};
  f.prompts.answers = {false, true};
  EXPECT_TRUE(!logic.Accept() && logic.record.outputWords == "2");
  EXPECT_TRUE(logic.Accept());
  EXPECT_EQ(f.prompts.shown, (std::vector<Shown>{question, question}));
  EXPECT_EQ(logic.record.outputWords + " " + logic.record.ipAddress, "4 192.168.1.3");
  // Validation still runs after the question.
  f.prompts.shown.clear();
  logic.record.paramWords = "9", logic.record.node = "0";
  f.prompts.answers = {true};
  EXPECT_FALSE(logic.Accept());
  EXPECT_EQ(f.prompts.Messages(), Texts{"Slave node range is 1..254"});
  auto ip = &SlaveRecord::ipAddress, in = &SlaveRecord::inputWords, out = &SlaveRecord::outputWords,
       mac = &SlaveRecord::macAddress;
  const std::tuple<std::string SlaveRecord::*, std::string, bool> cases[] = {  // field, text, accepted
      {ip, "", true}, {ip, "999.1.1.1", false}, {ip, "-1.2.3.4", false}, {ip, "1.2.3", false}, {ip, "1.2.3.4.5", false},
      {ip, "127.0.0.011", false}, {ip, "10.0.0.0", true},
      {in, "65535", true}, {in, "70000", false}, {out, "70000", false}, {&SlaveRecord::paramWords, "65536", false},
      {mac, "", true}, {mac, "00:1A:2B:3c:4d:5e", true}, {mac, "00-1a-2b-3c-4d-5e", true}, {mac, "zz-not-a-mac", false},
      {mac, "02:00:00:00:00", false}, {mac, "0200000000011", false}, {mac, "00 1a 2b 3c 4d 5e", false}};
  for (const auto& [field, text, accepted] : cases) {
    LogicFixture g("10.0.0.1");
    SlaveConfigLogic typed = g.Make(-1, "7", "10.0.0.7");
    typed.autoIp = false;  // the address is typed
    typed.record.*field = text;
    g.prompts.answers = {true};
    EXPECT_EQ(typed.Accept(), accepted) << text;
    const Texts shown = g.prompts.Messages();
    EXPECT_TRUE(accepted ? shown.empty() : shown.size() == 1 && shown[0].find(text) != std::string::npos) << text;
  }
}

TEST(SlaveConfigLogic, OpeningDecidesAutoIpAndTheCheckBox) {
  // VARNEL_AUTOIP set to anything but ON frees the address; so does an address that is no dotted address or
  // departs from the node. The address stays as it was.
  LogicFixture f("192.168.1.10", {}, 4);
  for (auto [mode, ip] : {std::pair<const char*, const char*>{"off", "192.168.1.7"}, {"", "192.168.1.7"},
                          {nullptr, "host7"}, {nullptr, "192.168.1.8"}}) {
    SlaveConfigLogic logic = f.Make(-1, "7", ip);
    logic.Open(mode);
    EXPECT_TRUE(logic.autoIpBoxVisible && !logic.autoIp && logic.ipEditable && logic.record.ipAddress == ip) << ip;
  }
  // A new record takes nextNode; a known module's fields start locked.
  SlaveConfigLogic fresh = f.Make();
  fresh.record.catalogEntry = &FindModule(704);
  fresh.Open("ON");
  EXPECT_EQ(fresh.record.node + " " + fresh.record.ipAddress, "4 192.168.1.4");
  EXPECT_TRUE(!fresh.autoIpBoxVisible && fresh.moduleFieldsLocked);
}

TEST(SlaveSort, TieBreaksAndTextOrder) {  // nodes as numbers, addresses as text: the heading-click test
  using Row = std::array<std::string, 7>;  // node, status, address, ID, description, input words, output words
  const std::tuple<int, std::vector<Row>, Texts> cases[] = {
      // Status ties go to the address, address ties to the node.
      {1, {{"1", "ok", "10.0.0.3"}, {"2", "bootp", "10.0.0.9"}, {"10", "ok", "10.0.0.2"}, {"9", "ok", "10.0.0.2"}},
       {"2", "9", "10", "1"}},
      // Description ties go to the ID, which reads numbers, then the address.
      {7, {{"1", "", "b", "10", "d"}, {"2", "", "a", "9", "d"}, {"3", "", "a", "10", "d"}, {"4", "", "z", "1", "c"}},
       {"4", "2", "3", "1"}},
      {1, {{"1", "\xe9"}, {"2", "z"}, {"3", "zz"}, {"4", "Z"}}, {"4", "2", "3", "1"}},  // unsigned bytes; prefix first
      // I/O/P: input words then output words, as text.
      {6, {{"1", "", "a", "", "", "10", "5"}, {"2", "", "b", "", "", "2"}, {"3", "", "c", "", "", "10", "1"}},
       {"3", "1", "2"}}};
  for (const auto& [column, rows, expected] : cases) {
    DataList list;
    for (const Row& f : rows)
      list.At(list.Append(testing::MakeSlave(f[0], f[3], f[2], "", f[4], f[5], f[6])))->status = f[1];
    SortSlaves(list, column);
    Texts nodes;
    for (int i = 0; i < list.Count(); ++i) nodes.push_back(list.At(i)->node);
    EXPECT_EQ(nodes, expected) << "column " << column;
  }
}

TEST(LocalAddresses, ResolverFirstThenInterfacesLoopbackLast) {
  auto ip = [](const char* text) { return ParseIpv4(text); };
  RecordedMessages messages;
  EXPECT_EQ(MergeLocalAddresses(std::vector<uint32_t>{ip("127.0.1.1"), ip("10.1.1.1")},
                                {ip("127.0.0.1"), ip("192.168.5.2"), ip("10.1.1.1")}, messages),
            (std::vector<uint32_t>{ip("10.1.1.1"), ip("192.168.5.2")}));
  EXPECT_EQ(MergeLocalAddresses(std::vector<uint32_t>{}, {ip("127.0.0.1")}, messages),
            std::vector<uint32_t>{ip("127.0.0.1")});
  ASSERT_EQ(messages.entries.size(), 1u);  // no resolver list at all: the whole program's test
  EXPECT_EQ(messages.entries[0].title + ": " + messages.entries[0].text, "Plinth: No tcpip-interface card found!");
}

}  // namespace
}  // namespace plinth
