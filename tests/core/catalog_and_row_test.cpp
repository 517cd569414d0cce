#include <gtest/gtest.h>

#include "config/render_row.h"
#include "config/text_scan.h"
#include "dialogs/module_catalog.h"
#include "net/bootp_tables.h"

namespace plinth {
namespace {

// The catalogue's values and the reading of MAC texts are compared with an
// independent writer on random configurations (tests/cli); here, what a row
// shows and what showing it changes.
TEST(RenderRow, CatalogueModulesTakeTheCatalogueTexts) {
  SlaveRecord r;
  r.node = "5", r.moduleId = "1217", r.name = "mine", r.description = "my text", r.inputWords = "1";
  RecordedMessages messages;
  EXPECT_EQ(RenderRecord(r, nullptr, nullptr, messages),
            (RowTexts{"5", "unknown", "", "", "1217", "482-BFK-263-05", "16/4/4", "ANALOG-16CH SINGLE-ENDED INPUT"}));
  EXPECT_EQ(r.name + " " + r.outputWords, "482-BFK-263-05 4");
  EXPECT_EQ(r.catalogEntry, &FindModule(1217));

  // Not a catalogue module: own texts, and 0/0/0 for default counts.
  for (const char* id : {"99", "abc", ""}) {
    SlaveRecord other;
    other.moduleId = id, other.name = "own", other.description = "own text";
    other.catalogEntry = &FindModule(704);
    RowTexts texts = RenderRecord(other, nullptr, nullptr, messages);
    EXPECT_EQ(texts[5] + "|" + texts[6] + "|" + texts[7], "own|0/0/0|own text") << id;
    EXPECT_EQ(other.catalogEntry, nullptr);
  }
  EXPECT_TRUE(messages.entries.empty());
}

TEST(RenderRow, MacAndAddressesAreBroughtUpToDate) {
  BootpTables tables;
  RecordedMessages messages;
  SlaveRecord typed;
  typed.ipAddress = "10.0.0.9", typed.macAddress = "00:1A:2B:3C:4D:5E";
  EXPECT_EQ(RenderRecord(typed, nullptr, &tables, messages)[3], "001a2b3c4d5e");
  EXPECT_EQ(typed.macAddress, "001a2b3c4d5e");
  EXPECT_EQ(typed.mac, (MacAddress{0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}));
  ASSERT_TRUE(tables.table[0].valid.load());
  EXPECT_EQ(UnpackMac(tables.table[0].mac.load()), typed.mac);
  EXPECT_EQ(FormatIpv4(tables.table[0].ipAddress.load()), "10.0.0.9");

  // A module known only from its BOOTP request: MAC and address learned.
  SlaveRecord requester;
  requester.status = "bootp", requester.mac = {2, 0, 0, 0, 0, 7}, requester.bootpAddress = ParseIpv4("192.168.1.7");
  RowTexts row = RenderRecord(requester, nullptr, &tables, messages);
  EXPECT_EQ(row[1] + " " + row[2] + " " + row[3], "bootp 192.168.1.7 020000000007");
  EXPECT_EQ(requester.ipAddress, "192.168.1.7");
  EXPECT_TRUE(tables.table[1].valid.load());

  // A MAC text that reads as zero stays as typed and registers nothing.
  SlaveRecord zero;
  zero.macAddress = "zz", zero.ipAddress = "10.0.0.10";
  EXPECT_EQ(RenderRecord(zero, nullptr, &tables, messages)[3], "zz");
  EXPECT_FALSE(tables.table[2].valid.load());
  EXPECT_TRUE(messages.entries.empty());
}

TEST(RenderRow, FallbackSuppliesMissingTexts) {
  SlaveRecord r, f;  // an existing row with few texts, and the fallback
  r.node = "", r.name = "row";
  f.node = "17", f.status = "ok", f.ipAddress = "10.0.0.17", f.moduleId = "99";
  f.inputWords = "3", f.outputWords = "2", f.paramWords = "1", f.mac = {0, 0, 0, 0, 0, 0x11};
  RecordedMessages messages;
  EXPECT_EQ(RenderRecord(r, &f, nullptr, messages),
            (RowTexts{"17", "ok", "10.0.0.17", "000000000011", "99", "row", "3/2/1", ""}));
  // The record keeps its own counts and texts.
  EXPECT_EQ(r.inputWords + "|" + r.node + "|" + r.ipAddress + "|" + r.macAddress, "0|||000000000011");
}

}  // namespace
}  // namespace plinth
