#include "config/generic_bus_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace plinth {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(LengthCode, BoundariesEncodeDecodeAndSettle) {
  const std::pair<uint32_t, Bytes> cases[] = {
      {0, {0x00}},           {191, {0xBF}},       {192, {0xC0, 0xC0}}, {8191, {0xDF, 0xFF}}, {8192, {0xE0, 0x00, 0x20}},
      {65536, {0xE1, 0, 0}}, {1048575, {0xEF, 0xFF, 0xFF}},            {1048576, {}}};
  for (const auto& [v, code] : cases) {
    uint8_t out[3] = {};
    EXPECT_EQ(Bytes(out, out + EncodeLengthCode(v, out)), code) << v;
    const DecodedLength d = DecodeLengthCode(code, 0);
    EXPECT_EQ(std::pair(d.value, d.bytes), code.empty() ? std::pair(0u, 0) : std::pair(v, int(code.size()))) << v;
  }
  EXPECT_EQ(DecodeLengthCode(Bytes{0xF5}, 0).value, 0xF5u);  // 0xF0 and above stand for themselves
  EXPECT_EQ(DecodeLengthCode(Bytes{0xE0, 0x01}, 0).bytes, 0);  // cut off by the end

  // SettleTotal picks the smallest self-consistent code: {content, header size, data size, root} -> total.
  // Content counts two one-byte size codes already where header and data sizes are small.
  const std::pair<std::tuple<uint32_t, uint32_t, uint32_t, bool>, uint32_t> totals[] = {
      {{188, 20, 0, false}, 191},   {{189, 20, 0, false}, 193},  // 192 would need a 2-byte code
      {{8187, 20, 0, false}, 8191}, {{8188, 20, 0, false}, 8193}, {{220, 20, 200, false}, 225},
      {{80, 4, 16, true}, 84},      {{81, 4, 16, true}, 84},     {{189, 4, 16, true}, 194},
      {{1048573, 20, 0, false}, 0}};
  for (const auto& [in, total] : totals) {
    const auto [content, header, data, root] = in;
    EXPECT_EQ(SettleTotal(content, header, data, root), total) << content;
  }
}

// Whole files: the worked examples and the independent writer; here the size, buffer and walk bounds.
TEST(Serialize, ExactBufferEvenTotalsAndAWalkThatStaysInside) {
  std::string error;
  EXPECT_FALSE(OpenImage({}, error).Valid());
  for (size_t nameLength : {0u, 1u, 2u, 100u, 150u, 9000u}) {
    BusNodePtr root = CreateRoot();
    AppendChild(*root, CreateIoH(3, std::string(nameLength, 'n')));
    const uint32_t total = ComputeSize(*root);
    ASSERT_GT(total, 0u);
    EXPECT_EQ(total % 2, 0u) << nameLength;
    Bytes bytes(total, 0xAA);
    EXPECT_FALSE(Serialize(*root, std::span(bytes).first(total - 1)));
    ASSERT_TRUE(Serialize(*root, bytes));
    NodeCursor c = OpenImage(bytes, error);
    ASSERT_TRUE(c.Valid()) << error;
    Bytes longer = bytes;  // bytes after the declared total are ignored
    longer.insert(longer.end(), {1, 2, 3});
    EXPECT_TRUE(OpenImage(longer, error).Valid());

    // The walk stays inside the bytes: an IoH that claims 5 siblings, room
    // for none; a child frame past the end of a cut image; no room for the count.
    NodeCursor ioh = FirstChild(bytes, c, NodeKind::Root);
    ASSERT_TRUE(ioh.Valid());
    ioh.following = 5;
    for (int steps = 0; NextSibling(bytes, ioh); ++steps) ASSERT_LT(steps, 5);
    EXPECT_FALSE(ioh.Valid());
    for (size_t cut : {c.header + 4 + 16, c.header + 1}) {
      EXPECT_FALSE(FirstChild(Bytes(bytes.begin(), bytes.begin() + static_cast<long>(cut)), NodeCursor{0, c.header, 0},
                              NodeKind::Root).Valid()) << cut;
    }
  }
  // A node whose data passes the largest length code cannot be sized: no buffer is made for it.
  BusNodePtr big = CreateRoot();
  AppendChild(*big, CreateIoH(3, std::string(1048576, 'n')));
  EXPECT_EQ(ComputeSize(*big), 0u);
}

}  // namespace
}  // namespace plinth
