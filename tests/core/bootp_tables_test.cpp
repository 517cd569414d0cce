#include "net/bootp_tables.h"

#include <gtest/gtest.h>

#include "config/text_scan.h"

namespace plinth {
namespace {

MacAddress Mac(int i) { return {2, 0, 0, 0, static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)}; }
std::string IpAt(const BootpTables& t, int i) { return FormatIpv4(t.table[static_cast<size_t>(i)].ipAddress.load()); }

TEST(BootpTables, AddKeepsTheFirstAddressOfAMacAndRemoveBlanksTheFirstHolder) {
  BootpTables tables;
  RecordedMessages messages;
  AddBootpEntry(tables, Mac(1), "10.0.0.5", messages);
  AddBootpEntry(tables, Mac(1), "10.0.0.2", messages);
  // Texts that are no address register nothing.
  for (const char* text : {"0.0.0.0", "", "no address", "10.0.0", " 10.0.0.2", "10.0.0.2x"})
    AddBootpEntry(tables, Mac(2), text, messages);
  EXPECT_EQ(IpAt(tables, 0), "10.0.0.5");
  EXPECT_FALSE(tables.table[1].valid.load());

  AddBootpEntry(tables, Mac(2), "10.0.0.5", messages);
  tables.table[0].assigned.store(1);
  RemoveBootpEntry(tables, "10.0.0.5");
  RemoveBootpEntry(tables, "");  // nothing to remove
  EXPECT_EQ(tables.table[0].ipAddress.load() + tables.table[0].mac.load(), 0u);
  EXPECT_TRUE(tables.table[0].valid.load() && tables.table[0].assigned.load());
  EXPECT_EQ(IpAt(tables, 1), "10.0.0.5");
  // The blanked entry is not reused: a new MAC goes after it.
  AddBootpEntry(tables, Mac(1), "10.0.0.6", messages);
  EXPECT_EQ(UnpackMac(tables.table[2].mac.load()), Mac(1));
  EXPECT_EQ(PackMac(Mac(7)), 0x020000000007ull);
  tables.Clear();
  EXPECT_FALSE(tables.table[0].valid.load() || tables.table[2].valid.load());
  EXPECT_TRUE(messages.entries.empty());
}

TEST(BootpTables, FullAfter256EvenWithRemovals) {
  BootpTables tables;
  RecordedMessages messages;
  for (int i = 0; i < 256; ++i) {
    AddBootpEntry(tables, Mac(i + 1), "10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1), messages);
    if (i % 50 == 0) RemoveBootpEntry(tables, "10.0.0." + std::to_string(i % 250 + 1));
  }
  EXPECT_TRUE(messages.entries.empty());
  AddBootpEntry(tables, Mac(999), "10.1.0.1", messages);
  ASSERT_EQ(messages.entries.size(), 1u);
  EXPECT_EQ(messages.entries[0].title + ": " + messages.entries[0].text, "Plinth: Hw for IP not set!");
}

}  // namespace
}  // namespace plinth
