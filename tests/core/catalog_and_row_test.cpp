#include <gtest/gtest.h>

#include <set>

#include "config/render_row.h"
#include "config/text_scan.h"
#include "dialogs/module_catalog.h"
#include "net/bootp_tables.h"

namespace plinth {
namespace {

TEST(ModuleCatalog, TableIsConsistent) {
  auto rows = ModuleCatalog();
  ASSERT_EQ(rows.size(), 26u);
  std::set<uint32_t> ids;
  for (size_t i = 0; i < rows.size(); ++i) {
    const ModuleCatalogEntry& e = rows[i];
    EXPECT_EQ(e.partNumber.size(), 14u) << e.moduleId;
    EXPECT_LE(e.paramWords, e.outputWords) << e.moduleId;
    EXPECT_EQ(e.paramDefaults.size(), static_cast<size_t>(e.paramWords)) << e.moduleId;
    EXPECT_EQ(e.paramOffset, 0);
    EXPECT_TRUE(ids.insert(e.moduleId).second) << "duplicate " << e.moduleId;
    if (i > 0) EXPECT_LT(rows[i - 1].partNumber, e.partNumber);  // table order is alphabetical
    EXPECT_EQ(&FindModule(static_cast<uint16_t>(e.moduleId)), &e);
  }
}

TEST(ModuleCatalog, Lookups) {
  EXPECT_EQ(FindModule(704).partNumber, "482-BFK-216-05");
  EXPECT_EQ(FindModule(24).partNumber, "482-BSL-425-36");
  EXPECT_EQ(FindModule(736).description, "ANALOG-4CH 4-20MA OUTPUT");
  EXPECT_EQ(FindModule(736).inputWords, 5);
  EXPECT_EQ(FindModule(12).description, "4VDC-16PT IN, 12PT OUT 2/DIAG");
  EXPECT_EQ(FindModule(6115).paramDefaults[2], 0x0055);
  for (uint16_t unknown : {0, 100, 65535}) {
    const ModuleCatalogEntry& e = FindModule(unknown);
    EXPECT_FALSE(e.Known());
    EXPECT_EQ(&e, &EmptyModuleEntry());
    EXPECT_EQ(e.inputWords + e.outputWords + e.paramWords, 0);
    EXPECT_TRUE(e.paramDefaults.empty());
  }
  EXPECT_EQ(FindModuleByText("1217").moduleId, 1217u);
  EXPECT_EQ(FindModuleByText(" 1217").moduleId, 1217u);
  EXPECT_EQ(FindModuleByText("12x").moduleId, 12u);
  EXPECT_FALSE(FindModuleByText("").Known());
  EXPECT_FALSE(FindModuleByText("abc").Known());
  EXPECT_FALSE(FindModuleByText("0").Known());
  EXPECT_EQ(FindModuleByText("65560").moduleId, 24u);  // low 16 bits
}

MacAddress MacOf(const std::string& text) {
  MacAddress mac{9, 9, 9, 9, 9, 9};
  ReadMacText(text, mac);
  return mac;
}

TEST(MacText, GroupsFillFromTheRight) {
  EXPECT_EQ(MacOf("020000a10b0c"), (MacAddress{0x02, 0x00, 0x00, 0xa1, 0x0b, 0x0c}));
  EXPECT_EQ(MacOf("123"), (MacAddress{0, 0, 0, 0, 0x01, 0x23}));
  EXPECT_EQ(MacOf("1a2b3c4d"), (MacAddress{0, 0, 0x1a, 0x2b, 0x3c, 0x4d}));
  EXPECT_EQ(MacOf("12345"), (MacAddress{0, 0, 0, 0x01, 0x23, 0x45}));
  EXPECT_EQ(MacOf("123456789"), (MacAddress{0, 0x01, 0x23, 0x45, 0x67, 0x89}));
  // Only the first twelve characters count.
  EXPECT_EQ(MacOf("0123456789abcd"), (MacAddress{0x01, 0x23, 0x45, 0x67, 0x89, 0xab}));
  // Separators are dropped; other characters make their group 0.
  EXPECT_EQ(MacOf("00:1A:2B:3C:4D:5E"), (MacAddress{0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}));
  EXPECT_EQ(MacOf("00-1a-2b-3c-4d-5e"), (MacAddress{0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}));
  EXPECT_EQ(MacOf("0011zz334455"), (MacAddress{0x00, 0x11, 0, 0, 0x44, 0x55}));
  EXPECT_EQ(MacOf(""), (MacAddress{}));
  EXPECT_EQ(MacOf(" 12"), (MacAddress{}));
}

TEST(RenderRow, CatalogueModulesTakeTheCatalogueTexts) {
  SlaveRecord r;
  r.node = "5";
  r.moduleId = "1217";
  r.name = "mine";
  r.description = "my text";
  r.inputWords = "1";
  RecordedMessages messages;
  RowTexts row = RenderRecord(r, nullptr, nullptr, messages);
  EXPECT_EQ(row[0], "5");
  EXPECT_EQ(row[1], "unknown");
  EXPECT_EQ(row[4], "1217");
  EXPECT_EQ(row[5], "482-BFK-263-05");
  EXPECT_EQ(row[6], "16/4/4");
  EXPECT_EQ(row[7], "ANALOG-16CH SINGLE-ENDED INPUT");
  EXPECT_EQ(r.name, "482-BFK-263-05");
  EXPECT_EQ(r.outputWords, "4");
  EXPECT_EQ(r.catalogEntry, &FindModule(1217));

  // Not a catalogue module: own texts, and 0/0/0 for default counts.
  for (const char* id : {"99", "abc", ""}) {
    SlaveRecord other;
    other.moduleId = id;
    other.name = "own";
    other.description = "own text";
    other.catalogEntry = &FindModule(704);
    RowTexts texts = RenderRecord(other, nullptr, nullptr, messages);
    EXPECT_EQ(texts[5], "own");
    EXPECT_EQ(texts[6], "0/0/0");
    EXPECT_EQ(texts[7], "own text");
    EXPECT_EQ(other.catalogEntry, nullptr);
  }
  EXPECT_TRUE(messages.entries.empty());
}

TEST(RenderRow, MacAndAddressesAreBroughtUpToDate) {
  BootpTables tables;
  RecordedMessages messages;

  SlaveRecord typed;
  typed.ipAddress = "10.0.0.9";
  typed.macAddress = "00:1A:2B:3C:4D:5E";
  RowTexts row = RenderRecord(typed, nullptr, &tables, messages);
  EXPECT_EQ(row[3], "001a2b3c4d5e");
  EXPECT_EQ(typed.macAddress, "001a2b3c4d5e");
  EXPECT_EQ(typed.mac, (MacAddress{0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}));
  ASSERT_TRUE(tables.table[0].valid.load());
  EXPECT_EQ(UnpackMac(tables.table[0].mac.load()), typed.mac);
  EXPECT_EQ(FormatIpv4(tables.table[0].ipAddress.load()), "10.0.0.9");

  // A module known only from its BOOTP request: MAC and address learned.
  SlaveRecord requester;
  requester.status = "bootp";
  requester.mac = {2, 0, 0, 0, 0, 7};
  requester.bootpAddress = ParseIpv4("192.168.1.7");
  row = RenderRecord(requester, nullptr, &tables, messages);
  EXPECT_EQ(row[1], "bootp");
  EXPECT_EQ(row[2], "192.168.1.7");
  EXPECT_EQ(requester.ipAddress, "192.168.1.7");
  EXPECT_EQ(row[3], "020000000007");
  EXPECT_TRUE(tables.table[1].valid.load());

  // A MAC text that reads as zero stays as typed and registers nothing.
  SlaveRecord zero;
  zero.macAddress = "zz";
  zero.ipAddress = "10.0.0.10";
  row = RenderRecord(zero, nullptr, &tables, messages);
  EXPECT_EQ(row[3], "zz");
  EXPECT_FALSE(tables.table[2].valid.load());
  EXPECT_TRUE(messages.entries.empty());
}

TEST(RenderRow, FallbackSuppliesMissingTexts) {
  SlaveRecord r;  // existing row with few texts
  r.node = "";
  r.name = "row";
  SlaveRecord f;
  f.node = "17";
  f.status = "ok";
  f.ipAddress = "10.0.0.17";
  f.moduleId = "99";
  f.inputWords = "3";
  f.outputWords = "2";
  f.paramWords = "1";
  f.mac = {0, 0, 0, 0, 0, 0x11};
  RecordedMessages messages;
  RowTexts row = RenderRecord(r, &f, nullptr, messages);
  EXPECT_EQ(row[0], "17");
  EXPECT_EQ(row[1], "ok");
  EXPECT_EQ(row[2], "10.0.0.17");
  EXPECT_EQ(row[3], "000000000011");
  EXPECT_EQ(row[4], "99");
  EXPECT_EQ(row[5], "row");
  EXPECT_EQ(row[6], "3/2/1");
  // The record keeps its own counts and texts.
  EXPECT_EQ(r.inputWords, "0");
  EXPECT_TRUE(r.node.empty());
  EXPECT_TRUE(r.ipAddress.empty());
  EXPECT_EQ(r.macAddress, "000000000011");
}

}  // namespace
}  // namespace plinth
