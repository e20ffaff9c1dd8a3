// Which stretch of the index can hold the items a StockIndex constraint
// selects.
//
// An item key is "12", the StockIndex (12 bytes, blank-padded) and the
// KeyRest (8 bytes); the index keeps keys in ascending byte order.  SQL sees
// StockIndex as the UTF-8 text of those 12 bytes with the trailing blanks
// dropped, and compares texts byte by byte (UTF-8 keeps the order of the
// characters, so this is the order of the stored bytes) with a shorter text
// before every longer one it begins.  Blank padding keeps the two orders
// alike except where a StockIndex holds a byte below the blank: "AB\x01"
// sorts after "AB" as text but before "AB" + blanks in the index.
//
// A range is therefore a safe cover, never a cut: it holds every StockIndex
// that meets the constraint (SQLite still tests each row it is given), and
// for the usual keys it holds nothing else, so `StockIndex = 'X'` reads only
// the keys beginning with X's bytes followed by blanks or bytes below them.
#pragma once

#include <array>
#include <string_view>
#include <vector>

namespace invsql {

inline constexpr int kStockIndexBytes = 12;
using IndexBytes = std::array<unsigned char, kStockIndexBytes>;

// The StockIndex bytes from `low` to `high`, both included.
struct KeyRange {
  IndexBytes low;
  IndexBytes high;
  bool empty() const { return low > high; }
};

// Every StockIndex.
KeyRange whole_range();

enum class Compare { kEqual, kLess, kLessEqual, kGreater, kGreaterEqual };

// The range holding every StockIndex t for which `t OP value` holds, for a
// UTF-8 text `value`.  A value that is not UTF-8 gives the whole range.
KeyRange range_of(Compare op, std::string_view value);

// Both at once.
KeyRange intersect(const KeyRange& a, const KeyRange& b);

// The ranges (of an IN list) as the fewest ranges in ascending order, none
// overlapping and none empty.
std::vector<KeyRange> merge(std::vector<KeyRange> ranges);

}  // namespace invsql
