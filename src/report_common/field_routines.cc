#include "report_common/field_routines.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <charconv>
#include <cmath>

namespace report {

namespace {

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

void copy_chars(std::string_view src, std::span<char> dst, int length) {
  if (length <= 0) return;
  assert(static_cast<std::size_t>(length) <= src.size() && static_cast<std::size_t>(length) <= dst.size());
  std::copy_n(src.data(), length, dst.data());
}

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
  std::int32_t magnitude = value < 0 ? -static_cast<std::int32_t>(value) : value;
  for (int i = length - 1; i >= 0; --i) {
    if (i == length - 1 || magnitude != 0) {
      dst[i] = static_cast<char>('0' + magnitude % 10);
      magnitude /= 10;
    } else {
      dst[i] = ' ';
    }
  }
  if (value < 0) {
    // "-" goes just before the first non-blank from the second position on;
    // when the digits fill the field it replaces the first digit.
    int at = 0;
    for (int i = 1; i < length; ++i) {
      if (dst[i] != ' ') {
        at = i - 1;
        break;
      }
    }
    dst[at] = '-';
  }
}

void real_to_text(float value, std::span<char> dst, int width, int decimals) {
  if (width <= 0) return;
  assert(static_cast<std::size_t>(width) <= dst.size());
  std::fill_n(dst.data(), width, ' ');
  // Work area, 1-based positions: 1 sign, 2-9 integer digits, 10 ".",
  // 11-14 fraction digits.  Index 0 stands for position 1.
  std::array<char, 14> work;
  work.fill(' ');
  work[9] = '.';
  if (value == 0.0f || std::isnan(value)) return;

  const bool negative = value < 0.0f;
  float magnitude;
  if (negative) {
    magnitude = value <= -9999999.0f ? 0.0f : -value;
  } else {
    magnitude = value > 9999999.0f ? 0.0f : value;
  }

  // The rounding term is formed in single precision, one rounded division
  // per decimal; from the addition on the arithmetic is double, so that a
  // value near 9999999 cannot carry into an eighth digit.
  float rounding = 0.501f;
  for (int i = 0; i < decimals; ++i) rounding = rounding / 10.0f;
  const double sum = static_cast<double>(magnitude) + static_cast<double>(rounding);
  const double high = std::trunc(sum / 10000.0);
  const double low = std::trunc(sum - high * 10000.0);
  const double fraction = std::trunc((sum - high * 10000.0 - low) * 10000.0);

  int_to_digits(static_cast<std::int16_t>(high), std::span<char>(work).subspan(1, 4), 4);
  int_to_digits(static_cast<std::int16_t>(low), std::span<char>(work).subspan(5, 4), 4);
  int_to_digits(static_cast<std::int16_t>(fraction), std::span<char>(work).subspan(10, 4), 4);

  // Blank leading zeros of the integer digits, the units digit included.
  for (int i = 1; i <= 8 && work[i] == '0'; ++i) work[i] = ' ';

  if (negative) {
    int first = 9;  // the point, when every integer digit was blanked
    for (int i = 1; i <= 8; ++i) {
      if (work[i] != ' ') {
        first = i;
        break;
      }
    }
    work[first - 1] = '-';
  }

  const int d = std::clamp(decimals, 0, 4);
  const int end = d > 0 ? 10 + d : 9;  // 1-based last position of the window
  const int start = end - width + 1;
  for (int k = 0; k < width; ++k) {
    const int position = start + k;
    dst[k] = position >= 1 ? work[position - 1] : ' ';
  }
}

void int_to_number_text(std::int32_t value, std::span<char> dst, int width) {
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
  std::copy_backward(field.data(), field.data() + (length - trailing), field.data() + length);
  std::fill_n(field.data(), trailing, ' ');
}

namespace {

void place_right(std::string_view text, std::span<char> dst, int width) {
  if (width <= 0) return;
  if (static_cast<int>(text.size()) > width) {
    std::fill_n(dst.data(), width, '*');
    return;
  }
  std::fill_n(dst.data(), width, ' ');
  std::copy(text.begin(), text.end(), dst.data() + (width - text.size()));
}

}  // namespace

void integer_column(std::int64_t value, std::span<char> dst, int width) {
  char text[24];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  place_right(std::string_view(text, static_cast<std::size_t>(end - text)), dst, width);
}

void decimal_column(std::int64_t scaled, std::span<char> dst, int width, int decimals) {
  std::uint64_t unit = 1;
  for (int i = 0; i < decimals; ++i) unit *= 10;
  const bool negative = scaled < 0;
  const std::uint64_t magnitude =
      negative ? static_cast<std::uint64_t>(-(scaled + 1)) + 1 : static_cast<std::uint64_t>(scaled);
  // Sign, whole part, point, then the fraction with its leading zeros.
  char text[48];
  char* p = text;
  if (negative) *p++ = '-';
  p = std::to_chars(p, text + sizeof text, magnitude / unit).ptr;
  if (decimals > 0) {
    *p++ = '.';
    std::uint64_t fraction = magnitude % unit;
    for (int i = decimals - 1; i >= 0; --i) {
      p[i] = static_cast<char>('0' + fraction % 10);
      fraction /= 10;
    }
    p += decimals;
  }
  place_right(std::string_view(text, static_cast<std::size_t>(p - text)), dst, width);
}

}  // namespace report
