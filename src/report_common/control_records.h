// The control records: the two page-header texts, kept in the database beside
// the items.  Their layout (keys, offset and size of the text) is the
// library's (isam/control_format.h); this adds the report side's names and
// builders.
#pragma once

#include <algorithm>
#include <array>
#include <span>
#include <string_view>

#include "isam/control_format.h"
#include "report_common/item_record.h"

namespace report::control {

enum class Heading { kRight, kLeft };

inline constexpr std::string_view kRightHeadingKey = isam::control::kRightHeadingKey;
inline constexpr std::string_view kLeftHeadingKey = isam::control::kLeftHeadingKey;
static_assert(kRightHeadingKey.size() == kKeyLength && kLeftHeadingKey.size() == kKeyLength);

constexpr std::string_view heading_key(Heading side) {
  return side == Heading::kRight ? kRightHeadingKey : kLeftHeadingKey;
}

inline constexpr int kHeadingLines = isam::control::kHeadingLines;
inline constexpr int kHeadingLineWidth = isam::control::kHeadingLineWidth;
inline constexpr int kHeadingLength = isam::control::kHeadingLength;
inline constexpr int kHeadingOffset = isam::control::kHeadingOffset;
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
