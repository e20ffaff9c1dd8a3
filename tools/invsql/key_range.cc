#include "invsql/key_range.h"

#include <algorithm>

namespace invsql {

namespace {

// The characters of `text` as one byte each, up to the first that is not
// U+0000 to U+00FF or the 13th (no StockIndex is that long).  `whole` says
// whether that was all of the text; false when the text is not UTF-8.
struct Prefix {
  IndexBytes bytes{};
  int length = 0;
  bool whole = true;
  bool utf8 = true;
};

Prefix prefix_of(std::string_view text) {
  Prefix p;
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    unsigned code = c;
    std::size_t length = 1;
    if (c >= 0x80) {
      length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
      if (length == 0 || i + length > text.size()) {
        p.utf8 = false;
        return p;
      }
      code = length == 4 ? c & 0x07u : length == 3 ? c & 0x0Fu : c & 0x1Fu;
      for (std::size_t k = 1; k < length; ++k) {
        const auto t = static_cast<unsigned char>(text[i + k]);
        if ((t & 0xC0) != 0x80) {
          p.utf8 = false;
          return p;
        }
        code = code << 6 | (t & 0x3Fu);
      }
    }
    if (code > 0xFF || p.length == kStockIndexBytes) {
      p.whole = false;
      return p;
    }
    p.bytes[p.length++] = static_cast<unsigned char>(code);
    i += length;
  }
  return p;
}

IndexBytes filled(const Prefix& p, int length, unsigned char pad) {
  IndexBytes out;
  out.fill(pad);
  std::copy(p.bytes.begin(), p.bytes.begin() + length, out.begin());
  return out;
}

// The least StockIndex bytes of any text not below the value.  A text
// beginning with the value's bytes is at least those bytes followed by
// zeros; when the value is longer than a key or holds a character no byte
// carries, every text above it differs earlier and is above all that begin
// with the bytes.
IndexBytes lowest(const Prefix& p) { return p.whole ? filled(p, p.length, 0x00) : filled(p, p.length, 0xFF); }

// The greatest StockIndex bytes of any text not above the value: the value
// itself blank-padded, or one of its beginnings blank-padded (above the
// value when the value goes on with a byte below the blank), or, for a
// value no key can equal, its bytes followed by anything.
IndexBytes highest(const Prefix& p) {
  // Two beginnings part where the shorter has its blank and the longer the
  // value's byte, so with no byte below the blank the whole value is the
  // greatest of them (the common case, taken without comparing them all).
  const auto below_blank = [](unsigned char b) { return b < ' '; };
  IndexBytes best = filled(p, p.length, ' ');
  if (std::any_of(p.bytes.begin(), p.bytes.begin() + p.length, below_blank))
    for (int k = 0; k < p.length; ++k) best = std::max(best, filled(p, k, ' '));
  if (!p.whole) best = std::max(best, filled(p, p.length, 0xFF));
  return best;
}

}  // namespace

KeyRange whole_range() {
  KeyRange r;
  r.low.fill(0x00);
  r.high.fill(0xFF);
  return r;
}

KeyRange range_of(Compare op, std::string_view value) {
  const Prefix p = prefix_of(value);
  KeyRange r = whole_range();
  if (!p.utf8) return r;
  if (op == Compare::kEqual && !p.whole) {  // no StockIndex equals it
    r.low.fill(0xFF);
    r.high.fill(0x00);
    return r;
  }
  if (op != Compare::kLess && op != Compare::kLessEqual) r.low = lowest(p);
  if (op != Compare::kGreater && op != Compare::kGreaterEqual) r.high = highest(p);
  return r;
}

KeyRange intersect(const KeyRange& a, const KeyRange& b) { return {std::max(a.low, b.low), std::min(a.high, b.high)}; }

std::vector<KeyRange> merge(std::vector<KeyRange> ranges) {
  std::erase_if(ranges, [](const KeyRange& r) { return r.empty(); });
  std::sort(ranges.begin(), ranges.end(), [](const KeyRange& a, const KeyRange& b) { return a.low < b.low; });
  std::vector<KeyRange> out;
  for (const KeyRange& r : ranges) {
    if (!out.empty() && r.low <= out.back().high)
      out.back().high = std::max(out.back().high, r.high);
    else
      out.push_back(r);
  }
  return out;
}

}  // namespace invsql
