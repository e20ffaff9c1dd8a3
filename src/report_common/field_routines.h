// Fixed-width text and number field routines.
//
// All text lives in fixed-width, blank-padded character fields handled with
// an explicit length; nothing is terminated.  Lines are built by filling a
// buffer with a pad character and placing fields at fixed columns with these
// routines.  Arguments come in one order: the value or source first, then
// the destination field, its length or width, and last the number of
// decimals where there is one.  A length of 0 or less means an empty field:
// the routine does nothing (or returns the neutral value stated).  Fields are passed as spans
// that must hold at least `length` characters.
#pragma once

#include <cassert>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace report {

// Copies `length` characters from the start of `src` to `dst`.  Inline, so
// that a field of a known width is copied without a call.
inline void copy_chars(std::string_view src, std::span<char> dst, int length) {
  if (length <= 0) return;
  assert(static_cast<std::size_t>(length) <= src.size() && static_cast<std::size_t>(length) <= dst.size());
  std::memcpy(dst.data(), src.data(), static_cast<std::size_t>(length));
}
// Sets `length` characters of `dst` to `c`.
void fill_chars(std::span<char> dst, char c, int length);
// 0 when the first `length` bytes are equal, else (a - b) at the first
// difference with the bytes taken as unsigned.
int compare_chars(std::string_view a, std::string_view b, int length);
// The integer spelled by the first min(length, 9) characters: leading white
// space skipped, one optional sign, digits up to the first non-digit; no
// digits give 0.
std::int32_t text_to_int(std::string_view digits, int length);
// The value's last `length` decimal digits, leading zeros kept; a negative
// value then gets "-" in the first position.
void int_to_digits(std::int16_t value, std::span<char> dst, int length);
// The value right-justified with leading blanks; zero prints "0"; "-" stands
// just before the first digit, or replaces the first digit when they fill the
// field.
void int_to_text(std::int16_t value, std::span<char> dst, int length);
// The single-precision value as fixed-point text of `width` characters with
// `decimals` decimals (0 to 4; width at most 10 + decimals).  Blank for zero;
// rounds by 0.501 of the last digit; values above 9999999, or at or below
// -9999999, print as 0 with the sign kept.
void real_to_text(float value, std::span<char> dst, int width, int decimals);
// real_to_text of the integer converted to single precision, 0 decimals.
void int_to_number_text(std::int32_t value, std::span<char> dst, int width);
// 1-based position of the first `c` among the first `length` characters; 0
// when absent.
int char_index(std::string_view field, char c, int length);
// Removes every blank from the first `length` (at most 20) characters, moving
// the others to the front in order, blanks after them.
void squeeze_blanks(std::span<char> field, int length);
// Moves the text right over its trailing blanks, blanks in front.
void right_justify(std::span<char> field, int length);

// ---- the number columns of the printed listings ----

// Integer column: right-aligned, "-" before the first digit when negative,
// zero prints "0", asterisks fill the column when the value does not fit.
void integer_column(std::int64_t value, std::span<char> dst, int width);
// Decimal column of a value held as a scaled integer (`scaled` /
// 10^`decimals`): right-aligned with exactly `decimals` decimals, a "0"
// before the point when the magnitude is below 1, "-" when negative,
// asterisks when it does not fit.
void decimal_column(std::int64_t scaled, std::span<char> dst, int width, int decimals);

}  // namespace report
