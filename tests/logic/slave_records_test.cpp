// What a row shows and what showing it changes (whole files of rows: tests/cli), node proposals, BOOTP tables.
#include <gtest/gtest.h>
#include "base/text_scan.h"
#include "config/module_catalog.h"
#include "config/slave_list_rules.h"
#include "logic/render_row.h"
#include "net/bootp_request.h"
#include "net/bootp_tables.h"

namespace plinth {
namespace {

MacAddress Mac(int i) { return {2, 0, 0, 0, static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)}; }
// "address MAC valid assigned" of a BOOTP table entry.
std::string Entry(const BootpTables& t, int i) {
  const BootpEntry& e = t.table[static_cast<size_t>(i)];
  return FormatIpv4(e.ipAddress.load()) + " " + FormatMac(UnpackMac(e.mac.load())) + " " +
         std::to_string(e.valid.load()) + std::to_string(e.assigned.load());
}

TEST(RenderRow, CatalogueOwnAndFallbackTextsAndWhatARowRegisters) {
  BootpTables tables;
  RecordedMessages messages;
  SlaveRecord r;  // a catalogue module's texts and counts replace the record's (its row: the window test)
  r.moduleId = "1217", r.name = "mine", r.inputWords = "1";
  const std::string shown = RenderRecord(r, nullptr, nullptr, messages)[6];
  EXPECT_EQ(shown + " " + r.name + (r.catalogEntry == &FindModule(1217) ? " 1217" : ""), "16/4/4 482-BFK-263-05 1217");
  // Not a catalogue module: own texts, 0/0/0 for default counts, no catalogue entry left from before.
  SlaveRecord other;
  other.moduleId = "abc", other.name = "own", other.description = "own text", other.catalogEntry = &FindModule(704);
  RowTexts texts = RenderRecord(other, nullptr, nullptr, messages);
  EXPECT_EQ(texts[5] + "|" + texts[6] + "|" + texts[7] + (other.catalogEntry ? " 704" : ""), "own|0/0/0|own text");
  // A row with few texts: the fallback supplies the missing ones; the record keeps its own counts and texts.
  SlaveRecord row, f;
  row.name = "row";
  f.node = "17", f.status = "ok", f.ipAddress = "10.0.0.17", f.moduleId = "99";
  f.inputWords = "3", f.outputWords = "2", f.paramWords = "1", f.mac = {0, 0, 0, 0, 0, 0x11};
  EXPECT_EQ(RenderRecord(row, &f, nullptr, messages),
            (RowTexts{"17", "ok", "10.0.0.17", "000000000011", "99", "row", "3/2/1", ""}));
  EXPECT_EQ(row.inputWords + "|" + row.node + "|" + row.ipAddress + "|" + row.macAddress, "0|||000000000011");

  // Shown rows register in the BOOTP table: a typed MAC text, brought to its plain form; a module known only
  // from its request, its address learned. A MAC text that reads as zero stays as typed and registers nothing.
  SlaveRecord typed, requester, zero;
  typed.ipAddress = "10.0.0.9", typed.macAddress = "00:1A:2B:3C:4D:5E";
  requester.status = "bootp", requester.mac = {2, 0, 0, 0, 0, 7}, requester.bootpAddress = ParseIpv4("192.168.1.7");
  zero.macAddress = "zz", zero.ipAddress = "10.0.0.10";
  EXPECT_EQ(RenderRecord(typed, nullptr, &tables, messages)[3] + " " + typed.macAddress, "001a2b3c4d5e 001a2b3c4d5e");
  texts = RenderRecord(requester, nullptr, &tables, messages);
  EXPECT_EQ(texts[1] + " " + texts[2] + " " + texts[3] + " " + requester.ipAddress,
            "bootp 192.168.1.7 020000000007 192.168.1.7");
  EXPECT_EQ(RenderRecord(zero, nullptr, &tables, messages)[3], "zz");
  EXPECT_EQ(Entry(tables, 0) + ", " + Entry(tables, 1) + ", " + Entry(tables, 2),
            "10.0.0.9 001a2b3c4d5e 10, 192.168.1.7 020000000007 10, 0.0.0.0 000000000000 00");
  EXPECT_TRUE(messages.entries.empty());
}

TEST(NextNode, ProposalsSkipTheMasterAndFollowAddsAndEdits) {
  // {master, nextNode before} -> "node ip nextNode after"
  const std::tuple<const char*, int, const char*> proposals[] = {
      {"192.168.1.5", 5, "6 192.168.1.6 6"}, {"", 1, "1 0.0.0.1 1"}, {"192.168.1.5", 1, "1 192.168.1.1 1"}};
  for (auto [master, before, expected] : proposals) {
    int nextNode = before;
    SlaveRecord r = PrepareNewSlave(master, nextNode);
    EXPECT_EQ(r.node + " " + r.ipAddress + " " + std::to_string(nextNode), expected) << master;
  }
  // {node, after an Add?, nextNode after}: an Add follows the node just added, even downwards; an Edit only grows it.
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

TEST(BootpTables, AddKeepsTheFirstAddressOfAMacRemoveFreesTheFirstHolderFullAfter256) {
  BootpTables tables;
  RecordedMessages messages;
  AddBootpEntry(tables, Mac(1), "10.0.0.5", messages);
  AddBootpEntry(tables, Mac(1), "10.0.0.2", messages);
  // Texts that are no address register nothing.
  for (const char* text : {"0.0.0.0", "", "no address", "10.0.0", " 10.0.0.2", "10.0.0.2x"})
    AddBootpEntry(tables, Mac(2), text, messages);
  EXPECT_EQ(Entry(tables, 0) + ", " + Entry(tables, 1), "10.0.0.5 020000000001 10, 0.0.0.0 000000000000 00");

  AddBootpEntry(tables, Mac(2), "10.0.0.5", messages);
  tables.table[0].assigned.store(1);
  RemoveBootpEntry(tables, "10.0.0.5");
  EXPECT_EQ(Entry(tables, 0), "0.0.0.0 000000000000 11");  // blanked: it answers no one
  // The withdrawn entry takes the next registration, without the marks of its earlier module.
  AddBootpEntry(tables, Mac(1), "10.0.0.6", messages);
  EXPECT_EQ(Entry(tables, 0) + ", " + Entry(tables, 1) + ", " + Entry(tables, 2),
            "10.0.0.6 020000000001 10, 10.0.0.5 020000000002 10, 0.0.0.0 000000000000 00");
  MarkBootpAssigned(tables, 0, Mac(2));  // a late reply to the entry's earlier module marks nothing
  EXPECT_EQ(tables.table[0].assigned.load(), 0);
  // Removals free their entries: 259 registrations and 5 removals fill the table exactly.
  for (int i = 2; i < 261; ++i) {
    const std::string ip = "10.2." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1);
    AddBootpEntry(tables, Mac(i + 1), ip, messages);
    if (i % 50 == 0) RemoveBootpEntry(tables, ip);
  }
  EXPECT_TRUE(messages.entries.empty());
  AddBootpEntry(tables, Mac(999), "10.1.0.1", messages);
  ASSERT_EQ(messages.entries.size(), 1u);
  EXPECT_EQ(messages.entries[0].title + ": " + messages.entries[0].text, "Plinth: Hw for IP not set!");
}

}  // namespace
}  // namespace plinth
