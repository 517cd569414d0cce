// Texts made valid UTF-8 for the reports: well-formed sequences stay, every other byte becomes U+FFFD.
#include "base/utf8_text.h"

#include <gtest/gtest.h>

namespace plinth {
namespace {

TEST(ValidUtf8, KeepsWellFormedSequencesAndReplacesEveryOtherByte) {
  const std::string R = "\xEF\xBF\xBD";
  const std::pair<std::string, std::string> cases[] = {
      {"plain text", "plain text"},
      {"\xC3\xA4\xE2\x82\xAC\xF0\x9F\x94\x8C", "\xC3\xA4\xE2\x82\xAC\xF0\x9F\x94\x8C"},  // two, three, four bytes
      {"a\xFF" "b", "a" + R + "b"},
      {"\xC3", R},                              // cut short at the end
      {"\xE2\x82" "x", R + R + "x"},            // cut short before another character
      {"\xC0\x80\xE0\x80\x80", R + R + R + R + R},  // overlong forms
      {"\xED\xA0\x80", R + R + R},              // a surrogate
      {"\xF4\x90\x80\x80\xF5", R + R + R + R + R},  // beyond U+10FFFF
      {std::string("\0x", 2), std::string("\0x", 2)},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(ValidUtf8(in), out) << in;
}

}  // namespace
}  // namespace plinth
