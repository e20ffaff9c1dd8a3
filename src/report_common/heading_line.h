// Column-heading lines of a printed listing, built at compile time from the
// texts and the 1-based columns they start at: 132 columns, blanks where no
// text stands.  A text running past column 132 does not compile.  Listings
// that share some columns build on a common line.
//
//   constexpr HeadingLine kHeading = heading_line({at(3, "UPC_SKU"), at(15, "PLU")});
//   constexpr HeadingLine kWider = heading_line(kHeading, {at(21, "Vendor")});
//   FrameLayout{.heading1 = kHeading.text(), ...}
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "report_common/run_context.h"

namespace report {

struct HeadingText {
  int column;  // 1-based
  std::string_view text;
};

// The text at its column, one part of a heading line.
constexpr HeadingText at(int column, std::string_view text) { return {column, text}; }

struct HeadingLine {
  std::array<char, kPrintColumns> columns;
  constexpr std::string_view text() const { return {columns.data(), columns.size()}; }
};

// `base` with the texts placed over it.
template <std::size_t N>
constexpr HeadingLine heading_line(HeadingLine base, const HeadingText (&parts)[N]) {
  for (const HeadingText& part : parts)
    for (std::size_t i = 0; i < part.text.size(); ++i) base.columns.at(part.column - 1 + i) = part.text[i];
  return base;
}

template <std::size_t N>
constexpr HeadingLine heading_line(const HeadingText (&parts)[N]) {
  HeadingLine blank{};
  blank.columns.fill(' ');
  return heading_line(blank, parts);
}

}  // namespace report
