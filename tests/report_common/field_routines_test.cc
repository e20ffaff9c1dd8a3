#include "report_common/field_routines.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace report {
namespace {

// A field of `width` "?" handed to `write`, so that a position the routine
// should have written but did not shows up.
template <typename Write>
std::string written(int width, Write write) {
  std::string s(width, '?');
  write(std::span<char>(s));
  return s;
}

std::string real(float value, int decimals, int width) {
  return written(width, [&](std::span<char> f) { real_to_text(value, f, width, decimals); });
}
std::string number(std::int32_t value, int width) {
  return written(width, [&](std::span<char> f) { int_to_number_text(value, f, width); });
}
std::string digits(std::int16_t value, int length) {
  return written(length, [&](std::span<char> f) { int_to_digits(value, f, length); });
}
std::string text(std::int16_t value, int length) {
  return written(length, [&](std::span<char> f) { int_to_text(value, f, length); });
}
std::string integer_col(std::int64_t value, int width) {
  return written(width, [&](std::span<char> f) { integer_column(value, f, width); });
}
std::string decimal_col(std::int64_t scaled, int decimals, int width) {
  return written(width, [&](std::span<char> f) { decimal_column(scaled, f, width, decimals); });
}

std::string squeezed(std::string s, int length) {
  squeeze_blanks(s, length);
  return s;
}
std::string justified(std::string s, int length) {
  right_justify(s, length);
  return s;
}

TEST(RealToText, WorkedExamples) {
  EXPECT_EQ(real(12.345f, 2, 7), "  12.35");
  EXPECT_EQ(real(-12.345f, 2, 7), " -12.35");
  EXPECT_EQ(real(0.5f, 2, 7), "    .50");
  EXPECT_EQ(real(0.004f, 2, 7), "    .00");
  EXPECT_EQ(real(0.0f, 2, 7), "       ");
  EXPECT_EQ(real(42.0f, 0, 5), "   42");
  EXPECT_EQ(real(-42.0f, 0, 5), "  -42");
  EXPECT_EQ(real(0.0f, 0, 5), "     ");
  EXPECT_EQ(real(10000000.0f, 2, 8), "     .00");
  EXPECT_EQ(real(10000000.0f, 0, 8), "        ");
  EXPECT_EQ(real(-9999999.0f, 0, 8), "       -");
}

TEST(RealToText, RoundsByPointFiveOhOneOfTheLastDigit) {
  // 0.501 rounds 0.5 up, but 0.499 (just under half plus the 0.001) stays.
  EXPECT_EQ(real(2.5f, 0, 4), "   3");
  EXPECT_EQ(real(2.499f, 0, 4), "   3");
  EXPECT_EQ(real(2.498f, 0, 4), "   2");
  EXPECT_EQ(real(-2.5f, 0, 4), "  -3");
  EXPECT_EQ(real(0.4f, 0, 4), "    ") << "rounds to an integer part of 0: no digit";
  EXPECT_EQ(real(0.995f, 2, 6), "  1.00");
  // Fraction digits beyond those asked for are cut off, not rounded again.
  EXPECT_EQ(real(1.2849f, 1, 5), "  1.3");
  EXPECT_EQ(real(1.2449f, 1, 5), "  1.2");
}

TEST(RealToText, RoundingTermIsSingleDivisionsAndTheSumIsDouble) {
  // Each case prints differently when the rounding term is formed in double
  // precision or in one division, or when the addition is done in single
  // precision.
  EXPECT_EQ(real(4.72498989f, 2, 7), "   4.72");
  EXPECT_EQ(real(81.894989f, 2, 7), "  81.89");
  EXPECT_EQ(real(66.0924988f, 3, 8), "  66.092");
  EXPECT_EQ(real(0.109499f, 3, 8), "    .109");
  EXPECT_EQ(real(0.0484499f, 4, 8), "   .0484");
  EXPECT_EQ(real(13.9075499f, 4, 9), "  13.9075");
  // Near the bound a single-precision sum would carry into an eighth digit.
  EXPECT_EQ(real(9999999.0f, 0, 8), " 9999999");
  EXPECT_EQ(real(9999999.0f, 2, 10), "9999999.00");
  EXPECT_EQ(real(9999998.0f, 0, 8), " 9999998");
  EXPECT_EQ(real(-9999998.0f, 0, 8), "-9999998");
}

TEST(RealToText, BoundsKeepTheSign) {
  EXPECT_EQ(real(10000000.0f, 0, 10), "          ");
  EXPECT_EQ(real(1.0e30f, 2, 7), "    .00");
  EXPECT_EQ(real(std::numeric_limits<float>::infinity(), 2, 7), "    .00");
  EXPECT_EQ(real(-9999999.0f, 2, 7), "   -.00");
  EXPECT_EQ(real(-12345678.0f, 0, 5), "    -");
  EXPECT_EQ(real(-std::numeric_limits<float>::infinity(), 0, 3), "  -");
  EXPECT_EQ(real(std::numeric_limits<float>::quiet_NaN(), 2, 7), "       ");
}

TEST(RealToText, NegativeWithoutIntegerDigitsPutsTheSignBeforeThePoint) {
  EXPECT_EQ(real(-0.5f, 2, 7), "   -.50");
  EXPECT_EQ(real(-0.004f, 2, 7), "   -.00");
  EXPECT_EQ(real(-0.0001f, 4, 6), "-.0001");
  EXPECT_EQ(real(-0.4f, 0, 3), "  -") << "only the sign is left in the window";
  EXPECT_EQ(real(-7.0f, 0, 1), "7") << "the window cuts the sign off";
}

TEST(RealToText, WindowForEachNumberOfDecimals) {
  const float v = 1234567.125f;
  EXPECT_EQ(real(v, 0, 10), "   1234567");
  EXPECT_EQ(real(v, 1, 11), "  1234567.1");
  EXPECT_EQ(real(v, 2, 12), "  1234567.13");
  EXPECT_EQ(real(v, 3, 13), "  1234567.125");
  EXPECT_EQ(real(v, 4, 14), "  1234567.1250");
  EXPECT_EQ(real(-v, 4, 14), " -1234567.1250");
  // A narrow window keeps the right end: leading digits are cut off.
  EXPECT_EQ(real(v, 2, 6), "567.13");
  EXPECT_EQ(real(12.5f, 4, 5), ".5000");
  EXPECT_EQ(real(3.0f, 0, 0), "");
}

TEST(RealToText, IntegerNumberText) {
  EXPECT_EQ(number(0, 6), "      ");
  EXPECT_EQ(number(1234, 6), "  1234");
  EXPECT_EQ(number(-1234, 6), " -1234");
  EXPECT_EQ(number(9999999, 8), " 9999999");
  EXPECT_EQ(number(10000000, 8), "        ");
  EXPECT_EQ(number(-9999999, 8), "       -");
  // Converted to single precision first: 16777217 becomes 16777216.
  EXPECT_EQ(number(16777217, 8), "        ");
  // The whole-amount field is the amount of the value in single precision,
  // 0 decimals, at every width, around each power of ten and both bounds.
  for (std::int32_t p = 1; p <= 100000000; p *= 10)
    for (const std::int32_t v : {p - 2, p - 1, p, p + 1, -(p - 2), -(p - 1), -p, -(p + 1)})
      for (int width = 1; width <= 20; ++width)
        EXPECT_EQ(number(v, width), real(static_cast<float>(v), 0, width)) << v << " in " << width;
}

// The number formatter written out step by step, as plainly as it reads:
// the routine under test must print exactly what this prints.
void reference_real_to_text(float value, char* dst, int width, int decimals) {
  if (width <= 0) return;
  std::fill_n(dst, width, ' ');
  std::array<char, 14> work;
  work.fill(' ');
  work[9] = '.';
  if (value == 0.0f || std::isnan(value)) return;
  const bool negative = value < 0.0f;
  float magnitude = negative ? (value <= -9999999.0f ? 0.0f : -value) : (value > 9999999.0f ? 0.0f : value);
  float rounding = 0.501f;
  for (int i = 0; i < decimals; ++i) rounding = rounding / 10.0f;
  const double sum = static_cast<double>(magnitude) + static_cast<double>(rounding);
  const double high = std::trunc(sum / 10000.0);
  const double low = std::trunc(sum - high * 10000.0);
  const double fraction = std::trunc((sum - high * 10000.0 - low) * 10000.0);
  const auto put4 = [&](double part, int at) {
    const auto v = static_cast<std::int16_t>(part);
    std::int32_t m = v < 0 ? -static_cast<std::int32_t>(v) : v;
    for (int i = at + 3; i >= at; --i, m /= 10) work[i] = static_cast<char>('0' + m % 10);
    if (v < 0) work[at] = '-';
  };
  put4(high, 1);
  put4(low, 5);
  put4(fraction, 10);
  for (int i = 1; i <= 8 && work[i] == '0'; ++i) work[i] = ' ';
  if (negative) {
    int first = 9;
    for (int i = 8; i >= 1; --i)
      if (work[i] != ' ') first = i;
    work[first - 1] = '-';
  }
  const int end = std::clamp(decimals, 0, 4) > 0 ? 10 + std::clamp(decimals, 0, 4) : 9;
  for (int k = 0; k < width; ++k) {
    const int position = end - width + 1 + k;
    dst[k] = position >= 1 ? work[position - 1] : ' ';
  }
}

TEST(RealToText, AgreesWithTheStepByStepFormatterOverASweep) {
  // Random bit patterns over the printable range, amounts in thousandths and
  // hundredths as the reports form them, the few floats around every
  // rounding threshold, and the edges; each at every number of decimals,
  // the full window and one random narrower or wider one.
  std::mt19937 rng(15);
  std::vector<float> values = {0.0f,
                               -0.0f,
                               9999999.0f,
                               -9999999.0f,
                               std::nextafter(9999999.0f, 1e8f),
                               std::nextafter(-9999999.0f, 0.0f),
                               16777216.0f,
                               std::numeric_limits<float>::denorm_min(),
                               std::numeric_limits<float>::infinity(),
                               -std::numeric_limits<float>::infinity(),
                               std::numeric_limits<float>::quiet_NaN()};
  for (int i = 0; i < 40000; ++i) {
    const std::uint32_t bits = rng();
    const int exponent = 127 - 24 + static_cast<int>(rng() % 48);  // about 6e-8 to 1.7e7
    values.push_back(std::bit_cast<float>((bits & 0x807FFFFFu) | (static_cast<std::uint32_t>(exponent) << 23)));
    const auto amount = static_cast<std::int32_t>(rng() % 20000001u) - 10000000;
    values.push_back(static_cast<float>(amount) / 1000.0f);
    values.push_back(static_cast<float>(amount) / 100.0f);
    // The floats nearest to a point where adding the rounding term reaches
    // the next unit of the last decimal; the units are drawn over every
    // magnitude, the small ones (with the finest floats) as often as the large.
    const int d = static_cast<int>(rng() % 5);
    float rounding = 0.501f;
    for (int k = 0; k < d; ++k) rounding = rounding / 10.0f;
    const auto units = static_cast<double>(rng() % (10u << (rng() % 24)));
    float near = static_cast<float>(units * std::pow(10.0, -d) - static_cast<double>(rounding));
    for (int step = 0; step < 2; ++step) near = std::nextafter(near, 0.0f);
    for (int step = 0; step < 5; ++step, near = std::nextafter(near, 1e8f)) values.push_back(rng() % 2 ? near : -near);
  }
  long cases = 0;
  int mismatches = 0;
  for (const float v : values) {
    for (int decimals = -1; decimals <= 5; ++decimals) {
      const int full = 10 + std::clamp(decimals, 0, 4);
      for (const int width : {full, static_cast<int>(rng() % 18)}) {
        std::array<char, 20> want;
        std::array<char, 20> got;
        want.fill('?');
        got.fill('?');
        reference_real_to_text(v, want.data(), width, decimals);
        real_to_text(v, got, width, decimals);
        ++cases;
        if (want != got && ++mismatches <= 10)
          ADD_FAILURE() << std::hexfloat << v << " width " << width << " decimals " << decimals << ": \""
                        << std::string(got.data(), got.size()) << "\" instead of \""
                        << std::string(want.data(), want.size()) << '"';
      }
    }
  }
  EXPECT_EQ(mismatches, 0) << "of " << cases << " cases";
}

TEST(IntToDigits, LastDigitsWithLeadingZerosAndSign) {
  EXPECT_EQ(digits(8, 2), "08");
  EXPECT_EQ(digits(2008, 2), "08");
  EXPECT_EQ(digits(0, 4), "0000");
  EXPECT_EQ(digits(-5, 3), "-05");
  EXPECT_EQ(digits(-5, 1), "-");
  EXPECT_EQ(digits(32767, 5), "32767");
  EXPECT_EQ(digits(-32768, 6), "-32768");
  EXPECT_EQ(digits(-32768, 5), "-2768");
  EXPECT_EQ(digits(12, 0), "");
}

TEST(IntToText, RightJustifiedWithTheSignBeforeTheFirstDigit) {
  EXPECT_EQ(text(0, 5), "    0");
  EXPECT_EQ(text(-12, 5), "  -12");
  EXPECT_EQ(text(7, 1), "7");
  EXPECT_EQ(text(-5, 2), "-5");
  // Digits that fill the field: the sign replaces the first one.
  EXPECT_EQ(text(-123, 3), "-23");
  EXPECT_EQ(text(-1, 1), "-");
  // More digits than positions keep the last ones.
  EXPECT_EQ(text(12345, 3), "345");
  EXPECT_EQ(text(-32768, 7), " -32768");
  EXPECT_EQ(text(-32768, 6), "-32768");
  EXPECT_EQ(text(-32768, 5), "-2768");
  EXPECT_EQ(text(32767, 5), "32767");
  // Every value at every length up to 12, against the rule spelled out.
  for (int v = -32768; v <= 32767; ++v)
    for (int length = 1; length <= 12; ++length) {
      const std::string all = std::to_string(v < 0 ? -v : v);
      const int count = std::min(static_cast<int>(all.size()), length);
      std::string want = std::string(static_cast<std::size_t>(length - count), ' ') + all.substr(all.size() - count);
      if (v < 0) want[static_cast<std::size_t>(std::max(length - count - 1, 0))] = '-';
      if (text(static_cast<std::int16_t>(v), length) != want) {
        ADD_FAILURE() << v << " in " << length << ": \"" << text(static_cast<std::int16_t>(v), length) << '"';
        return;
      }
    }
}

TEST(TextToInt, LeadingBlanksSignAndDigitsUpToTheFirstNonDigit) {
  EXPECT_EQ(text_to_int("07", 2), 7);
  EXPECT_EQ(text_to_int("7x", 2), 7);
  EXPECT_EQ(text_to_int(" 7", 2), 7);
  EXPECT_EQ(text_to_int("\t7", 2), 7);
  EXPECT_EQ(text_to_int("x7", 2), 0);
  EXPECT_EQ(text_to_int("+7", 2), 7);
  EXPECT_EQ(text_to_int("-1", 2), -1);
  EXPECT_EQ(text_to_int("--1", 3), 0);
  EXPECT_EQ(text_to_int("- 1", 3), 0);
  EXPECT_EQ(text_to_int("  ", 2), 0);
  EXPECT_EQ(text_to_int("123", 2), 12) << "only the given length is read";
  EXPECT_EQ(text_to_int("123", 0), 0);
  EXPECT_EQ(text_to_int("12", 5), 12) << "a field shorter than the length";
  // At most nine characters are read.
  EXPECT_EQ(text_to_int("1234567890", 10), 123456789);
  EXPECT_EQ(text_to_int("-999999999", 10), -99999999);
}

TEST(CharFields, CopyFillCompareIndex) {
  std::string dst = "abcdef";
  copy_chars("XYZ", dst, 2);
  fill_chars(std::span(dst).subspan(3), '*', 2);
  EXPECT_EQ(dst, "XYc**f");
  copy_chars("XYZ", dst, 0);
  fill_chars(dst, '-', -1);
  EXPECT_EQ(dst, "XYc**f");

  EXPECT_EQ(compare_chars("ABC", "ABC", 3), 0);
  EXPECT_EQ(compare_chars("ABC", "ABD", 2), 0);
  EXPECT_EQ(compare_chars("ABC", "XYZ", 0), 0);
  EXPECT_LT(compare_chars("ABC", "ABD", 3), 0);
  // Bytes compare as unsigned: 255 sorts after "A".
  EXPECT_EQ(compare_chars("\xFF", "A", 1), 255 - 65);

  EXPECT_EQ(char_index("A,B,C", ',', 5), 2);
  EXPECT_EQ(char_index("ABC,", ',', 3), 0) << "only the first length characters";
  EXPECT_EQ(char_index("ABC", ',', 3), 0);
}

TEST(SqueezeBlanks, MovesTheOtherCharactersToTheFront) {
  EXPECT_EQ(squeezed(" A B  C ", 8), "ABC     ");
  EXPECT_EQ(squeezed("    ", 4), "    ");
  EXPECT_EQ(squeezed("A B C", 3), "AB  C") << "only the first length characters";
  EXPECT_EQ(squeezed("A B", 0), "A B");
  // Never more than 20 characters.
  EXPECT_EQ(squeezed("1 2 3 4 5 6 7 8 9 0 ABC", 23), "1234567890          ABC");
}

TEST(RightJustify, MovesTheTextOverItsTrailingBlanks) {
  EXPECT_EQ(justified("AB  ", 4), "  AB");
  EXPECT_EQ(justified("A B ", 4), " A B");
  EXPECT_EQ(justified("ABCD", 4), "ABCD");
  EXPECT_EQ(justified("    ", 4), "    ");
  EXPECT_EQ(justified("AB  XY", 4), "  ABXY") << "only the first length characters";
  EXPECT_EQ(justified("AB", 0), "AB");
  // Short and long fields alike: "A B..." of every length that fits, with
  // the rest of the field blank.
  for (int length = 1; length <= 20; ++length)
    for (int used = 1; used <= length; ++used) {
      std::string text(static_cast<std::size_t>(used), 'B');
      text[0] = 'A';
      if (used > 2) text[1] = ' ';
      const std::string field = text + std::string(static_cast<std::size_t>(length - used), ' ');
      EXPECT_EQ(justified(field, length), std::string(static_cast<std::size_t>(length - used), ' ') + text)
          << length << " " << used;
    }
}

TEST(NumberColumns, IntegerColumn) {
  EXPECT_EQ(integer_col(0, 5), "    0");
  EXPECT_EQ(integer_col(42, 5), "   42");
  EXPECT_EQ(integer_col(-42, 5), "  -42");
  EXPECT_EQ(integer_col(99999, 5), "99999");
  EXPECT_EQ(integer_col(100000, 5), "*****");
  EXPECT_EQ(integer_col(-9999, 5), "-9999");
  EXPECT_EQ(integer_col(-10000, 5), "*****") << "the sign counts against the width";
  EXPECT_EQ(integer_col(std::numeric_limits<std::int64_t>::min(), 4), "****");
  // Every width on both sides of the short-column path, against the
  // decimal text right-aligned (asterisks when it does not fit).
  std::vector<std::int64_t> values = {std::numeric_limits<std::int64_t>::min(),
                                      std::numeric_limits<std::int64_t>::max()};
  for (std::int64_t p = 1;; p *= 10) {
    for (const std::int64_t v : {p - 1, p, -p, -(p - 1)}) values.push_back(v);
    if (p > std::numeric_limits<std::int64_t>::max() / 10) break;
  }
  std::mt19937_64 rng(15);  // and values of every length with every digit
  for (int i = 0; i < 400; ++i) values.push_back(static_cast<std::int64_t>(rng()) >> (rng() % 64));
  for (const std::int64_t v : values)
    for (int width = 1; width <= 24; ++width) {
      const std::string digits = std::to_string(v);
      const std::string expected = digits.size() > static_cast<std::size_t>(width)
                                       ? std::string(width, '*')
                                       : std::string(width - digits.size(), ' ') + digits;
      EXPECT_EQ(integer_col(v, width), expected) << v << " in " << width;
    }
}

TEST(NumberColumns, DecimalColumn) {
  EXPECT_EQ(decimal_col(12345, 3, 7), " 12.345");
  EXPECT_EQ(decimal_col(5, 2, 6), "  0.05");
  EXPECT_EQ(decimal_col(-5, 2, 6), " -0.05");
  EXPECT_EQ(decimal_col(0, 2, 6), "  0.00");
  EXPECT_EQ(decimal_col(-100, 2, 6), " -1.00");
  EXPECT_EQ(decimal_col(7, 0, 3), "  7");
  EXPECT_EQ(decimal_col(99999, 2, 6), "999.99");
  EXPECT_EQ(decimal_col(100000, 2, 6), "******");
  EXPECT_EQ(decimal_col(-10000, 2, 6), "******");
  EXPECT_EQ(decimal_col(std::numeric_limits<std::int64_t>::min(), 2, 5), "*****");
  // Every width on both sides of the short-column paths, 0 to 10 decimals,
  // against the integer's text with the point put in.
  std::vector<std::int64_t> values = {0,
                                      7,
                                      -45,
                                      99999999,
                                      100000000,
                                      123456789,
                                      -1000000000000,
                                      std::numeric_limits<std::int64_t>::min(),
                                      std::numeric_limits<std::int64_t>::max()};
  std::mt19937_64 rng(15);  // and values of every length with every digit
  for (int i = 0; i < 60; ++i) values.push_back(static_cast<std::int64_t>(rng()) >> (rng() % 64));
  for (const std::int64_t v : values)
    for (int decimals = 0; decimals <= 10; ++decimals)
      for (int width = 1; width <= 24; ++width) {
        std::string digits = std::to_string(v);
        const bool negative = digits[0] == '-';
        if (negative) digits.erase(0, 1);
        if (digits.size() <= static_cast<std::size_t>(decimals))
          digits.insert(0, static_cast<std::size_t>(decimals) + 1 - digits.size(), '0');
        if (decimals > 0) digits.insert(digits.size() - static_cast<std::size_t>(decimals), ".");
        if (negative) digits.insert(0, "-");
        const std::string expected = digits.size() > static_cast<std::size_t>(width)
                                         ? std::string(width, '*')
                                         : std::string(width - digits.size(), ' ') + digits;
        EXPECT_EQ(decimal_col(v, decimals, width), expected) << v << " with " << decimals << " in " << width;
      }
}

}  // namespace
}  // namespace report
