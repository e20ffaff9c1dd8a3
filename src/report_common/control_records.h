// The control records: the two page-header texts, kept in the database beside
// the items.  Their keys sort before every item key ("12..."):
//   "001600" + 16 blanks   right heading text
//   "001601" + 16 blanks   left heading text
// A control record is found only by its exact 22-character key.  Its text
// starts at record offset 22, directly after the key: six lines of 24
// characters, 144 in all.  The item layout does not apply to the rest of the
// block.
#pragma once

#include <algorithm>
#include <array>
#include <span>
#include <string_view>

#include "report_common/item_record.h"

namespace report::control {

enum class Heading { kRight, kLeft };

inline constexpr std::string_view kRightHeadingKey = "001600                ";
inline constexpr std::string_view kLeftHeadingKey = "001601                ";
static_assert(kRightHeadingKey.size() == kKeyLength && kLeftHeadingKey.size() == kKeyLength);

constexpr std::string_view heading_key(Heading side) {
  return side == Heading::kRight ? kRightHeadingKey : kLeftHeadingKey;
}

inline constexpr int kHeadingLines = 6;
inline constexpr int kHeadingLineWidth = 24;
inline constexpr int kHeadingLength = kHeadingLines * kHeadingLineWidth;
inline constexpr int kHeadingOffset = kKeyLength;  // the text follows the key
static_assert(kHeadingOffset + kHeadingLength <= kItemSize);

using HeadingText = std::array<char, kHeadingLength>;

// A heading text from up to six lines, each cut or blank-padded to 24
// characters; lines not given are blank.
inline HeadingText heading_text(std::span<const std::string_view> lines) {
  HeadingText text;
  text.fill(' ');
  for (std::size_t i = 0; i < lines.size() && i < kHeadingLines; ++i) {
    const std::string_view line = lines[i].substr(0, kHeadingLineWidth);
    std::copy(line.begin(), line.end(), text.begin() + static_cast<long>(i) * kHeadingLineWidth);
  }
  return text;
}

// Puts the control key and the text into a record block; the other bytes
// stay as they are.
inline void put_heading(ItemArea& block, Heading side, const HeadingText& text) {
  const std::string_view key = heading_key(side);
  std::copy(key.begin(), key.end(), block.begin());
  std::copy(text.begin(), text.end(), block.begin() + kHeadingOffset);
}

}  // namespace report::control
