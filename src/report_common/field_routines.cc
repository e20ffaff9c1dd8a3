#include "report_common/field_routines.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstring>

namespace report {

namespace {

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// "00" to "99", two characters each.
constexpr std::array<char, 200> kDigitPairs = [] {
  std::array<char, 200> pairs{};
  for (int i = 0; i < 100; ++i) {
    pairs[2 * i] = static_cast<char>('0' + i / 10);
    pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

// Writes the decimal digits of `value` backwards, ending just before `end`;
// returns the first digit written.  Zero writes nothing.
template <typename Unsigned>
[[gnu::always_inline]] inline char* digits_before(Unsigned value, char* end) {
  while (value >= 100) {
    end -= 2;
    std::memcpy(end, &kDigitPairs[2 * (value % 100)], 2);
    value /= 100;
  }
  if (value >= 10) {
    end -= 2;
    std::memcpy(end, &kDigitPairs[2 * value], 2);
  } else if (value > 0) {
    *--end = static_cast<char>('0' + value);
  }
  return end;
}

char* digits_before(std::uint64_t value, char* end) {
  if (value <= UINT32_MAX) return digits_before<std::uint32_t>(static_cast<std::uint32_t>(value), end);
  return digits_before<std::uint64_t>(value, end);
}

// The eight decimal digits of 0 <= value < 10^8, leading zeros kept, as
// the bytes of a word in text order (the first digit in the lowest byte,
// as the word lies in memory on this little-endian machine).  The value is
// split into two halves of four digits, each half into two pairs and each
// pair into two digits, all lanes of a word at once: multiplying by 10486
// and shifting by 20 divides a number below 10^4 by 100, multiplying by 103
// and shifting by 10 divides one below 100 by 10, exactly.
[[gnu::always_inline]] inline std::uint64_t eight_digits(std::uint32_t value) {
  const std::uint64_t halves = (value / 10000) | (static_cast<std::uint64_t>(value % 10000) << 32);
  const std::uint64_t hundreds = ((halves * 10486) >> 20) & 0x0000007F0000007FULL;
  const std::uint64_t pairs = hundreds | ((halves - hundreds * 100) << 16);
  const std::uint64_t tens = ((pairs * 103) >> 10) & 0x000F000F000F000FULL;
  return (tens | ((pairs - tens * 10) << 8)) + 0x3030303030303030ULL;
}

// The number of leading "0" digits of an eight_digits word (8 for zero).
[[gnu::always_inline]] inline int leading_zeros(std::uint64_t digits) {
  const std::uint64_t values = digits ^ 0x3030303030303030ULL;
  return values == 0 ? 8 : std::countr_zero(values) / 8;
}

// The word with its first `count` (0 to 8) bytes set to blanks.
[[gnu::always_inline]] inline std::uint64_t blank_first(std::uint64_t digits, int count) {
  const std::uint64_t mask = count >= 8 ? ~0ULL : (1ULL << (8 * count)) - 1;
  return (digits & ~mask) | (0x2020202020202020ULL & mask);
}

// The four digits of 0 <= value <= 9999, leading zeros kept.
void four_digits(std::uint32_t value, char* out) {
  std::memcpy(out, &kDigitPairs[2 * (value / 100)], 2);
  std::memcpy(out + 2, &kDigitPairs[2 * (value % 100)], 2);
}

// Copies sizeof(Word) <= n <= 2 * sizeof(Word) bytes with two overlapping
// moves, both read before either is written.
template <typename Word>
[[gnu::always_inline]] inline void copy_two_words(char* dst, const char* src, std::size_t n) {
  Word head;
  Word tail;
  std::memcpy(&head, src, sizeof head);
  std::memcpy(&tail, src + n - sizeof tail, sizeof tail);
  std::memcpy(dst, &head, sizeof head);
  std::memcpy(dst + n - sizeof tail, &tail, sizeof tail);
}

// Copies n bytes; the short fields of a line (up to 16 bytes) without a
// library call.
[[gnu::always_inline]] inline void copy_bytes(char* dst, const char* src, std::size_t n) {
  if (n > 16) {
    std::memcpy(dst, src, n);
  } else if (n >= 8) {
    copy_two_words<std::uint64_t>(dst, src, n);
  } else if (n >= 4) {
    copy_two_words<std::uint32_t>(dst, src, n);
  } else {
    for (std::size_t i = 0; i < n; ++i) dst[i] = src[i];
  }
}

// Sets n bytes to c, the short runs as copy_bytes does.
[[gnu::always_inline]] inline void fill_bytes(char* dst, char c, std::size_t n) {
  if (n > 16) {
    std::memset(dst, c, n);
    return;
  }
  std::array<char, 16> run;
  run.fill(c);
  copy_bytes(dst, run.data(), n);
}

// The number 0 <= value <= 9999 as four characters in text order, its
// leading zeros blanked (zero shows "0" when `zero_digit`, else nothing),
// and how many digits show.  Numbers this small are most of a listing's
// figures: two lookups of digit pairs, no division loop.
struct FourChars {
  std::uint32_t text;
  int digits;
};
[[gnu::always_inline]] inline FourChars four_chars(std::uint32_t value, bool zero_digit) {
  std::uint16_t high;
  std::uint16_t low;
  std::memcpy(&high, &kDigitPairs[2 * (value / 100)], 2);
  std::memcpy(&low, &kDigitPairs[2 * (value % 100)], 2);
  const int digits = (value > 0 || zero_digit) + (value >= 10) + (value >= 100) + (value >= 1000);
  const std::uint64_t blanks = (std::uint64_t{1} << (8 * (4 - digits))) - 1;
  const std::uint64_t text = ((high | (std::uint64_t{low} << 16)) & ~blanks) | (std::uint64_t{0x20202020} & blanks);
  return {static_cast<std::uint32_t>(text), digits};
}

// four_chars at the end of a blank field of 5 to 16 positions, "-" just
// before the digits when `negative`.
[[gnu::always_inline]] inline void place_four(std::uint32_t value, bool zero_digit, bool negative, char* dst,
                                              int width) {
  const FourChars four = four_chars(value, zero_digit);
  fill_bytes(dst, ' ', static_cast<std::size_t>(width - 4));
  char* const end = dst + width;
  std::memcpy(end - 4, &four.text, 4);
  if (negative) end[-four.digits - 1] = '-';
}

}  // namespace

void fill_chars(std::span<char> dst, char c, int length) {
  if (length <= 0) return;
  assert(static_cast<std::size_t>(length) <= dst.size());
  std::fill_n(dst.data(), length, c);
}

int compare_chars(std::string_view a, std::string_view b, int length) {
  for (int i = 0; i < length; ++i) {
    const int x = static_cast<unsigned char>(a[i]);
    const int y = static_cast<unsigned char>(b[i]);
    if (x != y) return x - y;
  }
  return 0;
}

std::int32_t text_to_int(std::string_view digits, int length) {
  const int n = std::min({length, 9, static_cast<int>(digits.size())});
  int i = 0;
  while (i < n && is_space(digits[i])) ++i;
  bool negative = false;
  if (i < n && (digits[i] == '+' || digits[i] == '-')) negative = digits[i++] == '-';
  std::int32_t value = 0;
  for (; i < n && digits[i] >= '0' && digits[i] <= '9'; ++i) value = value * 10 + (digits[i] - '0');
  return negative ? -value : value;
}

void int_to_digits(std::int16_t value, std::span<char> dst, int length) {
  if (length <= 0) return;
  assert(static_cast<std::size_t>(length) <= dst.size());
  std::int32_t magnitude = value < 0 ? -static_cast<std::int32_t>(value) : value;
  for (int i = length - 1; i >= 0; --i) {
    dst[i] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  }
  if (value < 0) dst[0] = '-';
}

void int_to_text(std::int16_t value, std::span<char> dst, int length) {
  if (length <= 0) return;
  assert(static_cast<std::size_t>(length) <= dst.size());
  // The magnitude's digits from the last position backwards (0 as a single
  // "0"), as many as fit, blanks in front of them; "-" then goes just before
  // the first digit, or replaces the first one when they fill the field.
  const std::uint32_t magnitude =
      value < 0 ? static_cast<std::uint32_t>(-static_cast<std::int32_t>(value)) : static_cast<std::uint32_t>(value);
  std::array<char, 16> text;
  text.fill(' ');
  char* const end = text.data() + text.size();
  const char* first = magnitude == 0 ? &(text.back() = '0') : digits_before<std::uint32_t>(magnitude, end);
  const int count = std::min(static_cast<int>(end - first), length);
  // The field's last positions (all of it when it is short) are the end of
  // the buffer; the front of a longer field is blank.
  const int tail = std::min(length, static_cast<int>(text.size()));
  if (value < 0) end[std::max(length - count - 1, 0) - length] = '-';
  fill_bytes(dst.data(), ' ', static_cast<std::size_t>(length - tail));
  // At most the buffer's 16 bytes (said so that the compiler sees it too).
  if (tail < 0 || tail > static_cast<int>(text.size())) __builtin_unreachable();
  copy_bytes(dst.data() + (length - tail), end - tail, static_cast<std::size_t>(tail));
}

namespace {

// The rounding term for 0 to 4 decimals: 0.501 divided by 10 once per
// decimal, each division rounded to single precision.
constexpr std::array<float, 5> kRoundingTerms = [] {
  std::array<float, 5> terms{};
  float rounding = 0.501f;
  for (float& term : terms) {
    term = rounding;
    rounding = rounding / 10.0f;
  }
  return terms;
}();

float rounding_term(int decimals) {
  if (decimals <= 0) return kRoundingTerms[0];
  if (decimals < static_cast<int>(kRoundingTerms.size())) return kRoundingTerms[decimals];
  float rounding = kRoundingTerms.back();
  for (int i = static_cast<int>(kRoundingTerms.size()) - 1; i < decimals; ++i) rounding = rounding / 10.0f;
  return rounding;
}

}  // namespace

namespace {

// Blanks before the work area, so that a window wider than the work area
// (up to 32 characters) is one copy.
constexpr int kLeadingBlanks = 18;

}  // namespace

void real_to_text(float value, std::span<char> dst, int width, int decimals) {
  if (width <= 0) return;
  assert(static_cast<std::size_t>(width) <= dst.size());
  // Zero or NaN: neither below nor above zero.
  if (!(value < 0.0f || value > 0.0f)) {
    fill_bytes(dst.data(), ' ', static_cast<std::size_t>(width));
    return;
  }

  const bool negative = value < 0.0f;
  float magnitude;
  if (negative) {
    magnitude = value <= -9999999.0f ? 0.0f : -value;
  } else {
    magnitude = value > 9999999.0f ? 0.0f : value;
  }

  // From the addition of the rounding term on the arithmetic is double, so
  // that a value near 9999999 cannot carry into an eighth digit.  The digits
  // are those of the sum's integer part and the first four decimals of what
  // lies above it, truncated; the subtraction that gives that rest is exact.
  const double sum = static_cast<double>(magnitude) + static_cast<double>(rounding_term(decimals));
  const auto integer = static_cast<std::uint32_t>(sum);
  const auto fraction = static_cast<std::uint32_t>((sum - static_cast<double>(integer)) * 10000.0);

  // Work area, 1-based positions: 1 sign, 2-9 integer digits, 10 ".", 11-14
  // fraction digits, each part with its leading zeros.  work[0] stands for
  // position 1.  The leading zeros of the integer digits are then blanked,
  // the units digit included, and "-" goes just before the first digit left
  // (before the point when none is).
  std::array<char, kLeadingBlanks + 14> area;
  area.fill(' ');
  char* const work = area.data() + kLeadingBlanks;
  work[9] = '.';
  // The magnitude is at most 9999999 and the rounding term at most 0.501,
  // so the integer part has at most seven digits; what lies above it is
  // below 1, and ten thousand times it still rounds below 10000.
  assert(integer <= 9999999 && fraction <= 9999);
  int first;
  if (integer < 10000) [[likely]] {
    const FourChars four = four_chars(integer, false);
    std::memcpy(work + 5, &four.text, 4);
    first = 9 - four.digits;
  } else {
    const std::uint64_t digits = eight_digits(integer);
    const int zeros = leading_zeros(digits);
    const std::uint64_t shown = blank_first(digits, zeros);
    std::memcpy(work + 1, &shown, sizeof shown);
    first = 1 + zeros;
  }
  four_digits(fraction, work + 10);
  if (negative) work[first - 1] = '-';

  // The window of `width` positions ends at the last decimal asked for, or
  // at the units digit; positions before the work area are blank.
  const int d = std::clamp(decimals, 0, 4);
  const int end = d > 0 ? 10 + d : 9;
  if (width <= end + kLeadingBlanks) [[likely]] {
    copy_bytes(dst.data(), work + (end - width), static_cast<std::size_t>(width));
  } else {
    fill_bytes(dst.data(), ' ', static_cast<std::size_t>(width - end));
    // The digits and the point: 9 to 14 positions.
    copy_two_words<std::uint64_t>(dst.data() + (width - end), work, static_cast<std::size_t>(end));
  }
}

void int_to_number_text(std::int32_t value, std::span<char> dst, int width) {
  // Inside +-9999999 the value is exact in single precision and the rounding
  // term never reaches the next integer: the amount is the integer's own
  // digits, "-" before them, blank for zero, its last `width` characters.
  if (value > -10000 && value < 10000 && width >= 5 && width <= 16) [[likely]] {
    place_four(static_cast<std::uint32_t>(value < 0 ? -value : value), false, value < 0, dst.data(), width);
    return;
  }
  if (value > -9999999 && value <= 9999999 && width > 0 && width <= 16) {
    assert(static_cast<std::size_t>(width) <= dst.size());
    std::array<char, 24> area;
    area.fill(' ');
    char* const end = area.data() + area.size();
    const auto magnitude = static_cast<std::uint32_t>(value < 0 ? -value : value);
    const std::uint64_t digits = eight_digits(magnitude);
    const int zeros = leading_zeros(digits);
    const std::uint64_t shown = blank_first(digits, zeros);
    std::memcpy(end - 8, &shown, sizeof shown);
    char* first = end - 8 + zeros;
    if (value < 0) *--first = '-';
    copy_bytes(dst.data(), end - width, static_cast<std::size_t>(width));
    return;
  }
  real_to_text(static_cast<float>(value), dst, width, 0);
}

int char_index(std::string_view field, char c, int length) {
  const int n = std::min(length, static_cast<int>(field.size()));
  for (int i = 0; i < n; ++i)
    if (field[i] == c) return i + 1;
  return 0;
}

void squeeze_blanks(std::span<char> field, int length) {
  const int n = std::min(length, 20);
  if (n <= 0) return;
  std::array<char, 20> work;
  work.fill(' ');
  int used = 0;
  for (int i = 0; i < n; ++i)
    if (field[i] != ' ') work[used++] = field[i];
  std::copy_n(work.data(), n, field.data());
}

void right_justify(std::span<char> field, int length) {
  if (length <= 0) return;
  int trailing = 0;
  while (trailing < length && field[length - 1 - trailing] == ' ') ++trailing;
  if (trailing == 0 || trailing == length) return;
  if (length <= 16) {
    // The field after 16 blanks; the justified field is the `length`
    // characters that end with its last non-blank.
    std::array<char, 32> area;
    area.fill(' ');
    copy_bytes(area.data() + 16, field.data(), static_cast<std::size_t>(length));
    copy_bytes(field.data(), area.data() + 16 - trailing, static_cast<std::size_t>(length));
    return;
  }
  std::copy_backward(field.data(), field.data() + (length - trailing), field.data() + length);
  std::fill_n(field.data(), trailing, ' ');
}

namespace {

// A number's text built backwards at the end of a blank-filled buffer.
struct RightText {
  std::array<char, 40> buffer;
  char* first = buffer.data() + buffer.size();
  RightText() { buffer.fill(' '); }
  char* end() { return buffer.data() + buffer.size(); }
  std::size_t size() const { return static_cast<std::size_t>(buffer.data() + buffer.size() - first); }
};

// The text right-aligned in the field, blanks in front; asterisks over the
// whole field when it does not fit.
[[gnu::always_inline]] inline void place_right(const RightText& text, std::span<char> dst, int width) {
  if (width <= 0) return;
  const auto room = static_cast<std::size_t>(width);
  if (text.size() > room) {
    std::fill_n(dst.data(), width, '*');
  } else if (room <= text.buffer.size()) {
    copy_bytes(dst.data(), text.buffer.data() + (text.buffer.size() - room), room);
  } else {
    fill_bytes(dst.data(), ' ', room - text.size());
    copy_bytes(dst.data() + (room - text.size()), text.first, text.size());
  }
}

}  // namespace

namespace {

// Puts a short column, built from `first` to the end of its blank area,
// into the field: the sign before it, asterisks when it does not fit.
[[gnu::always_inline]] inline void place_short(char* first, char* end, bool negative, std::span<char> dst, int width) {
  if (negative) *--first = '-';
  if (end - first > width) {
    fill_bytes(dst.data(), '*', static_cast<std::size_t>(width));
  } else {
    copy_bytes(dst.data(), end - width, static_cast<std::size_t>(width));
  }
}

}  // namespace

void integer_column(std::int64_t value, std::span<char> dst, int width) {
  if (width <= 0) return;
  const bool negative = value < 0;
  const std::uint64_t magnitude =
      negative ? static_cast<std::uint64_t>(-(value + 1)) + 1 : static_cast<std::uint64_t>(value);
  // Quantities and codes: at most four digits at the end of a blank column,
  // the sign before them.
  if (magnitude < 100 && width >= 3 && width <= 16) {
    fill_bytes(dst.data(), ' ', static_cast<std::size_t>(width));
    char* const pair = dst.data() + width - 2;
    std::memcpy(pair, &kDigitPairs[2 * magnitude], 2);
    if (magnitude < 10) {
      pair[0] = negative ? '-' : ' ';
    } else if (negative) {
      pair[-1] = '-';
    }
    return;
  }
  if (magnitude < 10000 && width >= 5 && width <= 16) {
    place_four(static_cast<std::uint32_t>(magnitude), true, negative, dst.data(), width);
    return;
  }
  if (width <= 16) [[likely]] {
    // The columns of a listing: the text (at most 20 digits and a sign) is
    // built at the end of a blank area as wide as the column's last 16
    // positions plus room, and the column is its last `width` characters.
    std::array<char, 24> area;
    area.fill(' ');
    char* const end = area.data() + area.size();
    char* first;
    if (magnitude < 100000000) [[likely]] {
      // Zero keeps its units digit.
      const std::uint64_t digits = eight_digits(static_cast<std::uint32_t>(magnitude));
      const int zeros = std::min(leading_zeros(digits), 7);
      const std::uint64_t shown = blank_first(digits, zeros);
      std::memcpy(end - 8, &shown, sizeof shown);
      first = end - 8 + zeros;
    } else {
      first = digits_before<std::uint64_t>(magnitude, end);
    }
    return place_short(first, end, negative, dst, width);
  }
  RightText text;
  text.first = magnitude == 0 ? text.first - 1 : digits_before(magnitude, text.end());
  if (magnitude == 0) *text.first = '0';
  if (negative) *--text.first = '-';
  place_right(text, dst, width);
}

namespace {

constexpr std::array<std::uint64_t, 19> kPowersOfTen = [] {
  std::array<std::uint64_t, 19> powers{};
  std::uint64_t unit = 1;
  for (std::uint64_t& p : powers) {
    p = unit;
    unit *= 10;
  }
  return powers;
}();

}  // namespace

void decimal_column(std::int64_t scaled, std::span<char> dst, int width, int decimals) {
  assert(decimals <= 18);
  const std::uint64_t unit = decimals > 0 ? kPowersOfTen[static_cast<std::size_t>(decimals)] : 1;
  const bool negative = scaled < 0;
  const std::uint64_t magnitude =
      negative ? static_cast<std::uint64_t>(-(scaled + 1)) + 1 : static_cast<std::uint64_t>(scaled);
  if (width > 0 && width <= 16 && decimals >= 0 && decimals <= 4 && magnitude < 10000 * unit) [[likely]] {
    // Prices and costs: a whole part below 10000 and at most four decimals,
    // split with a constant divisor for each number of decimals.
    const auto m = static_cast<std::uint32_t>(magnitude);
    std::uint32_t whole = m;
    std::uint32_t fraction = 0;
    switch (decimals) {
      case 1: whole = m / 10, fraction = m % 10; break;
      case 2: whole = m / 100, fraction = m % 100; break;
      case 3: whole = m / 1000, fraction = m % 1000; break;
      case 4: whole = m / 10000, fraction = m % 10000; break;
      default: break;
    }
    // The fraction's four digits end the area; the point and the whole
    // part's four characters then cover the ones not asked for.
    std::array<char, 24> area;
    area.fill(' ');
    char* const end = area.data() + area.size();
    four_digits(fraction, end - 4);
    char* const point = end - decimals - (decimals > 0 ? 1 : 0);
    if (decimals > 0) *point = '.';
    const FourChars four = four_chars(whole, true);
    std::memcpy(point - 4, &four.text, 4);
    return place_short(point - four.digits, end, negative, dst, width);
  }
  if (width > 0 && width <= 16 && decimals <= 8) {
    // The columns of a listing, as integer_column builds them: at most 20
    // digits, a point and a sign at the end of a blank area of 24.
    std::array<char, 24> area;
    area.fill(' ');
    char* const end = area.data() + area.size();
    char* first = end;
    if (decimals > 0) {
      // The fraction with its leading zeros, two digits at a time.
      auto fraction = static_cast<std::uint32_t>(magnitude % unit);
      int left = decimals;
      for (; left >= 2; left -= 2, fraction /= 100) {
        first -= 2;
        std::memcpy(first, &kDigitPairs[2 * (fraction % 100)], 2);
      }
      if (left == 1) *--first = static_cast<char>('0' + fraction % 10);
      *--first = '.';
    }
    const std::uint64_t whole = magnitude / unit;
    if (whole == 0) {
      *--first = '0';
    } else {
      first = digits_before(whole, first);
    }
    return place_short(first, end, negative, dst, width);
  }
  // Built from the right: the fraction with its leading zeros and the point,
  // the whole part (at least "0"), the sign.
  RightText text;
  if (decimals > 0) {
    std::uint64_t fraction = magnitude % unit;
    for (int i = 0; i < decimals; ++i, fraction /= 10) *--text.first = static_cast<char>('0' + fraction % 10);
    *--text.first = '.';
  }
  const std::uint64_t whole = magnitude / unit;
  if (whole == 0) {
    *--text.first = '0';
  } else {
    text.first = digits_before(whole, text.first);
  }
  if (negative) *--text.first = '-';
  place_right(text, dst, width);
}

}  // namespace report
