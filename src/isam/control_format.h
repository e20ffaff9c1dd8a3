// The control records: the two page-header texts a store of 22-byte item
// keys keeps beside its items.  Their keys sort before every item key
// ("12..."):
//   "001600" + 16 blanks   right heading text
//   "001601" + 16 blanks   left heading text
// A control record is found only by its exact 22-character key.  Its text
// starts at record offset 22, directly after the key: six lines of 24
// characters, 144 in all.  The other bytes of the block are not part of it
// (a new control record has them zero; a rewrite leaves them as they are).
#pragma once

#include <string_view>

#include "isam/file_format.h"

namespace isam::control {

inline constexpr int kKeyLength = 22;
inline constexpr std::string_view kRightHeadingKey = "001600                ";
inline constexpr std::string_view kLeftHeadingKey = "001601                ";
static_assert(kRightHeadingKey.size() == kKeyLength && kLeftHeadingKey.size() == kKeyLength);

inline constexpr int kHeadingLines = 6;
inline constexpr int kHeadingLineWidth = 24;
inline constexpr int kHeadingLength = kHeadingLines * kHeadingLineWidth;
inline constexpr int kHeadingOffset = kKeyLength;  // the text follows the key
static_assert(kHeadingOffset + kHeadingLength <= kBlockSize);

}  // namespace isam::control
