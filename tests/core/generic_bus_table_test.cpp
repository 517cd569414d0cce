#include "config/generic_bus_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace plinth {
namespace {

std::vector<uint8_t> Code(uint32_t v) {
  uint8_t out[3] = {};
  int n = EncodeLengthCode(v, out);
  return std::vector<uint8_t>(out, out + n);
}

TEST(LengthCode, BoundariesEncodeAndDecode) {
  EXPECT_EQ(Code(0), (std::vector<uint8_t>{0x00}));
  EXPECT_EQ(Code(191), (std::vector<uint8_t>{0xBF}));
  EXPECT_EQ(Code(192), (std::vector<uint8_t>{0xC0, 0xC0}));
  EXPECT_EQ(Code(8191), (std::vector<uint8_t>{0xDF, 0xFF}));
  EXPECT_EQ(Code(8192), (std::vector<uint8_t>{0xE0, 0x00, 0x20}));
  EXPECT_EQ(Code(1048575), (std::vector<uint8_t>{0xEF, 0xFF, 0xFF}));
  EXPECT_TRUE(Code(1048576).empty());
  for (uint32_t v : {0u, 1u, 191u, 192u, 193u, 8191u, 8192u, 65536u, 1048575u}) {
    std::vector<uint8_t> bytes = Code(v);
    DecodedLength d = DecodeLengthCode(bytes, 0);
    EXPECT_EQ(d.value, v);
    EXPECT_EQ(d.bytes, static_cast<int>(bytes.size()));
  }
  // First bytes of 0xF0 and above stand for themselves.
  std::vector<uint8_t> f5{0xF5};
  EXPECT_EQ(DecodeLengthCode(f5, 0).value, 0xF5u);
  // A code cut off by the end of the bytes does not decode.
  std::vector<uint8_t> cut{0xE0, 0x01};
  EXPECT_EQ(DecodeLengthCode(cut, 0).bytes, 0);
  EXPECT_EQ(DecodeLengthCode(cut, 2).bytes, 0);
}

TEST(SettleTotal, PicksTheSmallestSelfConsistentCode) {
  // Content already counting the two one-byte size codes: pass sizes that
  // take one byte each and subtract them from the content.
  EXPECT_EQ(SettleTotal(190 - 2, 20, 0, false), 191u);
  EXPECT_EQ(SettleTotal(191 - 2, 20, 0, false), 193u);  // 192 would need a 2-byte code
  EXPECT_EQ(SettleTotal(8189 - 2, 20, 0, false), 8191u);
  EXPECT_EQ(SettleTotal(8190 - 2, 20, 0, false), 8193u);
  // A data size of 200 takes a two-byte code.
  EXPECT_EQ(SettleTotal(220, 20, 200, false), 220u + 1 + 2 + 2);
  // The root is padded to an even total.
  EXPECT_EQ(SettleTotal(80, 4, 16, true), 84u);
  EXPECT_EQ(SettleTotal(81, 4, 16, true), 84u);
  EXPECT_EQ(SettleTotal(189, 4, 16, true) % 2, 0u);
  // Nothing past the largest code.
  EXPECT_EQ(SettleTotal(1048573, 20, 0, false), 0u);
}

TEST(Checksum, Crc16Modbus) {
  const std::string check = "123456789";
  EXPECT_EQ(Crc16Modbus({reinterpret_cast<const uint8_t*>(check.data()), check.size()}), 0x4B37);
  EXPECT_EQ(Crc16Modbus({}), 0xFFFF);
}

TEST(Block, SetValueGrowsWithZeros) {
  BusNodePtr block = CreateIoBlock();
  SetValue(*block, 0xBEEF, 5);
  ASSERT_EQ(block->values.size(), 6u);
  for (size_t k = 0; k < 5; ++k) EXPECT_EQ(block->values[k], 0);
  EXPECT_EQ(block->values[5], 0xBEEF);
  EXPECT_EQ(block->U16(16), 6);
  SetValue(*block, 7, 2);
  EXPECT_EQ(block->values.size(), 6u);
  EXPECT_EQ(block->values[2], 7);
}

BusNodePtr SmallTree(size_t nameLength) {
  BusNodePtr ioh = CreateIoH(3, std::string(nameLength, 'n'));
  BusNodePtr entry = CreateSlaveEntry(9, std::string("e"));
  BusNodePtr group = CreateIoGroup();
  BusNodePtr block = CreateIoBlock();
  SetValue(*block, 0x1234, 1);
  AppendChild(*group, block);
  AppendChild(*entry, group);
  AppendChild(*ioh, entry);
  BusNodePtr root = CreateRoot();
  AppendChild(*root, ioh);
  return root;
}

TEST(Serialize, SizesCountsPaddingAndChecksum) {
  for (size_t nameLength : {0u, 1u, 100u, 150u, 9000u}) {
    BusNodePtr root = SmallTree(nameLength);
    const uint32_t total = ComputeSize(*root);
    ASSERT_GT(total, 0u);
    EXPECT_EQ(total % 2, 0u) << nameLength;
    std::vector<uint8_t> bytes(total, 0xAA);
    ASSERT_TRUE(Serialize(*root, bytes));
    // Child counts were filled in by the sizing.
    EXPECT_EQ(root->U16(0), 1);
    EXPECT_EQ(root->U16(2), 2);
    EXPECT_EQ(root->children[0]->U16(6), 1);
    // The image validates and walks back to the block's values.
    std::string error;
    NodeCursor c = OpenImage(bytes, error);
    ASSERT_TRUE(c.Valid()) << error;
    NodeCursor ioh = FirstChild(bytes, c, NodeKind::Root);
    NodeCursor entry = FirstChild(bytes, ioh, NodeKind::IoH);
    NodeCursor group = FirstChild(bytes, entry, NodeKind::SlaveEntry);
    NodeCursor block = FirstChild(bytes, group, NodeKind::IoGroup);
    ASSERT_TRUE(block.Valid());
    EXPECT_EQ(GetU16(bytes, entry.header + 4), 9);
    BusNodePtr copy = CopyIoBlock(bytes, block);
    EXPECT_EQ(copy->values, (std::vector<uint16_t>{0, 0x1234}));
    EXPECT_FALSE(NextSibling(bytes, block));
    EXPECT_FALSE(block.Valid());
    // Whatever lies between the last node and the checksum is zero.
    const NodeFrame rootFrame = ReadFrame(bytes, 0);
    EXPECT_EQ(rootFrame.total, total);
    EXPECT_EQ(GetU32(bytes, total - 4), Crc16Modbus(std::span<const uint8_t>(bytes).first(total - 4)));
  }
}

TEST(Serialize, RefusesTooLittleRoomAndTooLargeNodes) {
  BusNodePtr root = SmallTree(4);
  const uint32_t total = ComputeSize(*root);
  std::vector<uint8_t> small(total - 1);
  EXPECT_FALSE(Serialize(*root, small));

  // A node whose data would pass the largest length code cannot be sized.
  BusNodePtr big = SmallTree(1048576);
  EXPECT_EQ(ComputeSize(*big), 0u);
  std::vector<uint8_t> any(16);
  EXPECT_FALSE(Serialize(*big, any));
}

TEST(OpenImage, RejectsBadSizesAndChecksums) {
  BusNodePtr root = SmallTree(5);
  std::vector<uint8_t> bytes(ComputeSize(*root));
  ASSERT_TRUE(Serialize(*root, bytes));
  std::string error;

  EXPECT_FALSE(OpenImage({}, error).Valid());

  std::vector<uint8_t> tiny = bytes;
  tiny[0] = 0x04;
  EXPECT_FALSE(OpenImage(tiny, error).Valid());
  EXPECT_EQ(error, "size not valid");

  // Any changed byte between the root's length codes and the checksum.
  for (size_t at : {size_t{3}, bytes.size() / 2, bytes.size() - 5}) {
    std::vector<uint8_t> changed = bytes;
    changed[at] ^= 0x01;
    error.clear();
    EXPECT_FALSE(OpenImage(changed, error).Valid()) << at;
    EXPECT_EQ(error, "checksum error") << at;
  }
  // The checksum's upper bytes must be zero.
  std::vector<uint8_t> upper = bytes;
  upper[upper.size() - 1] = 1;
  EXPECT_FALSE(OpenImage(upper, error).Valid());
  EXPECT_EQ(error, "checksum error");

  // Bytes after the declared total are ignored.
  std::vector<uint8_t> longer = bytes;
  longer.insert(longer.end(), {1, 2, 3});
  EXPECT_TRUE(OpenImage(longer, error).Valid());

  // A declared total past the end of the bytes is never followed.
  std::vector<uint8_t> shorter(bytes.begin(), bytes.end() - 1);
  error.clear();
  EXPECT_FALSE(OpenImage(shorter, error).Valid());
  EXPECT_FALSE(error.empty());
}

TEST(Cursor, WalkStaysInsideTheBytes) {
  // A root that claims 5 children but has room for none.
  BusNodePtr root = SmallTree(2);
  std::vector<uint8_t> bytes(ComputeSize(*root));
  ASSERT_TRUE(Serialize(*root, bytes));
  std::string error;
  NodeCursor c = OpenImage(bytes, error);
  NodeCursor ioh = FirstChild(bytes, c, NodeKind::Root);
  ASSERT_TRUE(ioh.Valid());
  ioh.following = 5;
  int steps = 0;
  while (NextSibling(bytes, ioh)) ++steps;
  EXPECT_LE(steps, 5);
  EXPECT_FALSE(ioh.Valid());
  // A cut image: the child frame lies past the end.
  std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(c.header) + 4 + 16);
  EXPECT_FALSE(FirstChild(cut, NodeCursor{0, c.header, 0}, NodeKind::Root).Valid());
}

}  // namespace
}  // namespace plinth
