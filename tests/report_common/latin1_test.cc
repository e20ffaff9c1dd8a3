#include "report_common/latin1.h"

#include <string>

#include <gtest/gtest.h>

namespace report::latin1 {
namespace {

// Every byte goes out as UTF-8 and comes back as itself.
TEST(Latin1, EveryByteRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string utf8 = to_utf8(all);
  EXPECT_EQ(utf8.size(), 128u + 2 * 128u);
  std::string back, problem;
  ASSERT_TRUE(from_utf8(utf8, back, problem)) << problem;
  EXPECT_EQ(back, all);
  EXPECT_EQ(to_utf8("CAF\xC9"), "CAF\xC3\x89");
}

TEST(Latin1, RefusalsNameTheCharacter) {
  struct Case {
    std::string utf8;
    std::string stored;  // empty: refused with `problem`
    std::string problem;
  };
  const Case cases[] = {
      {"CORNER CAF\xC3\x89 & GROCERY", "CORNER CAF\xC9 & GROCERY", ""},
      {"\xC2\xA0\xC3\xBF", "\xA0\xFF", ""},
      {"A\tB", "", "character 2 is the control character 0x09, which the reports cannot print"},
      {"\xC3\x89\xC2\x85", "", "character 2 is the control character 0x85, which the reports cannot print"},
      {"X\x7F", "", "character 2 is the control character 0x7F"},
      {"\xC3\x89\xE2\x82\xAC", "",
       "character 2 (U+20AC) does not fit one byte; the record holds U+0000 to U+00FF only"},
      {"\xF0\x9F\x98\x80", "", "character 1 (U+1F600) does not fit one byte"},
      {"CAF\xC9", "", "character 4 is not UTF-8 text (byte 0xC9)"},
      {"\xC1\x81", "", "character 1 is not UTF-8 text (byte 0xC1)"},          // overlong
      {"\xE0\x80\xA0", "", "character 1 is not UTF-8 text (byte 0xE0)"},      // overlong
      {"\xC3", "", "character 1 is not UTF-8 text (byte 0xC3)"},              // cut short
      {"A\x80", "", "character 2 is not UTF-8 text (byte 0x80)"},             // a lone tail byte
      {"\xF5\x80\x80\x80", "", "character 1 is not UTF-8 text (byte 0xF5)"},  // beyond U+10FFFF
  };
  for (const Case& c : cases) {
    std::string bytes, problem;
    const bool ok = printable_from_utf8(c.utf8, bytes, problem);
    EXPECT_EQ(ok, c.problem.empty()) << c.utf8;
    if (ok)
      EXPECT_EQ(bytes, c.stored);
    else
      EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
  }
}

}  // namespace
}  // namespace report::latin1
