// Column-heading lines of a printed listing, built at compile time from the
// texts and the 1-based columns they start at: 132 columns, blanks where no
// text stands.  A text running past column 132 does not compile.
//
//   constexpr HeadingLine kHeading = heading_line({{3, "UPC_SKU"}, {15, "PLU"}});
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

struct HeadingLine {
  std::array<char, kPrintColumns> columns;
  constexpr std::string_view text() const { return {columns.data(), columns.size()}; }
};

template <std::size_t N>
constexpr HeadingLine heading_line(const HeadingText (&parts)[N]) {
  HeadingLine line{};
  line.columns.fill(' ');
  for (const HeadingText& part : parts)
    for (std::size_t i = 0; i < part.text.size(); ++i) line.columns.at(part.column - 1 + i) = part.text[i];
  return line;
}

}  // namespace report
