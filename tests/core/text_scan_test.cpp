#include "config/text_scan.h"

#include <gtest/gtest.h>

namespace plinth {
namespace {

TEST(TextScan, DecimalReadsLikePercentD) {
  EXPECT_EQ(ScanDecimal("12"), 12);
  EXPECT_EQ(ScanDecimal(" 12"), 12);
  EXPECT_EQ(ScanDecimal("\t+7"), 7);
  EXPECT_EQ(ScanDecimal("-3"), -3);
  EXPECT_EQ(ScanDecimal("12x"), 12);
  EXPECT_EQ(ScanDecimal("x12"), 0);
  EXPECT_EQ(ScanDecimal(""), 0);
  EXPECT_EQ(ScanDecimal("-"), 0);
  EXPECT_EQ(ScanDecimal("+ 5"), 0);
  EXPECT_FALSE(TryScanDecimal("abc").has_value());
  EXPECT_EQ(TryScanDecimal("0").value(), 0);
  // Past the range of long the C library saturates, then cuts to int.
  EXPECT_EQ(ScanDecimal("99999999999999999999999"), -1);
  EXPECT_EQ(ScanDecimal("-99999999999999999999999"), 0);
  EXPECT_EQ(ScanDecimal("4294967297"), 1);
}

TEST(TextScan, DottedReadsUntilTheFirstFailure) {
  EXPECT_EQ(ScanDotted("192.168.1.10"), (std::array<int, 4>{192, 168, 1, 10}));
  EXPECT_EQ(ScanDotted("10.0"), (std::array<int, 4>{10, 0, 0, 0}));
  EXPECT_EQ(ScanDotted("10.x.3.4"), (std::array<int, 4>{10, 0, 0, 0}));
  EXPECT_EQ(ScanDotted(" 1. 2.3.4"), (std::array<int, 4>{1, 2, 3, 4}));
  EXPECT_EQ(ScanDotted("1 .2.3.4"), (std::array<int, 4>{1, 0, 0, 0}));
  EXPECT_EQ(ScanDotted(""), (std::array<int, 4>{0, 0, 0, 0}));
  EXPECT_EQ(ScanDotted("300.1.2.3"), (std::array<int, 4>{300, 1, 2, 3}));
}

TEST(TextScan, Ipv4TextRoundTrip) {
  uint32_t a = ParseIpv4("192.168.1.7");
  const auto* b = reinterpret_cast<const unsigned char*>(&a);
  EXPECT_EQ(b[0], 192);
  EXPECT_EQ(b[3], 7);
  EXPECT_EQ(FormatIpv4(a), "192.168.1.7");
  EXPECT_EQ(ParseIpv4(""), 0u);
  EXPECT_EQ(ParseIpv4("0.0.0.0"), 0u);
  EXPECT_EQ(ParseIpv4("garbage"), 0u);
  EXPECT_EQ(ParseIpv4("1.2.3"), 0u);
}

}  // namespace
}  // namespace plinth
