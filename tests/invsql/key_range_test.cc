// The index ranges of StockIndex constraints, against SQL's own comparison
// of the texts, over every short key of an alphabet chosen at the edges:
// a byte below the blank, the blank, letters, a Latin-1 letter and 0xFF.
#include "invsql/key_range.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report_common/latin1.h"

namespace {

using invsql::Compare;
using invsql::IndexBytes;

// The StockIndex text SQL sees for the padded bytes.
std::string text_of(const IndexBytes& bytes) {
  std::string s(bytes.begin(), bytes.end());
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return report::latin1::to_utf8(s);
}

bool holds(Compare op, const std::string& t, const std::string& v) {
  const int c = t.compare(v);  // byte order, a prefix first: SQL's BINARY
  switch (op) {
    case Compare::kEqual: return c == 0;
    case Compare::kLess: return c < 0;
    case Compare::kLessEqual: return c <= 0;
    case Compare::kGreater: return c > 0;
    case Compare::kGreaterEqual: return c >= 0;
  }
  return false;
}

TEST(KeyRange, EveryKeyAConstraintSelectsIsInItsRange) {
  const std::string alphabet = std::string("\x01 AB") + "\xE9\xFF";
  std::vector<std::string> words = {""};
  for (std::size_t from = 0, to = 1, length = 1; length <= 3; ++length, from = to, to = words.size())
    for (std::size_t w = from; w < to; ++w)
      for (const char c : alphabet) words.push_back(words[w] + c);
  std::vector<IndexBytes> keys;
  for (const std::string& w : words) {
    IndexBytes k;
    k.fill(' ');
    std::copy(w.begin(), w.end(), k.begin());
    keys.push_back(k);
  }
  std::vector<std::string> values;
  for (const std::string& w : words) values.push_back(report::latin1::to_utf8(w));
  values.push_back("AB\xE2\x82\xAC");  // a character no byte holds
  values.push_back("AAAAAAAAAAAAA");   // longer than a key
  values.push_back("\xC3");            // not UTF-8
  for (const std::string& v : values) {
    for (const Compare op :
         {Compare::kEqual, Compare::kLess, Compare::kLessEqual, Compare::kGreater, Compare::kGreaterEqual}) {
      const invsql::KeyRange r = invsql::range_of(op, v);
      const bool usual = v != "\xC3" && v.find('\x01') == std::string::npos && !v.ends_with(' ');
      for (const IndexBytes& k : keys) {
        const std::string t = text_of(k);
        const bool inside = !(k < r.low) && !(r.high < k);
        if (holds(op, t, v)) {
          EXPECT_TRUE(inside) << "\"" << t << "\" " << static_cast<int>(op) << " \"" << v << "\"";
        }
        // An equality with a usual value reads only the keys that begin with it.
        if (op == Compare::kEqual && inside && usual) { EXPECT_EQ(t.substr(0, v.size()), v); }
      }
    }
  }
}

TEST(KeyRange, InListsMergeIntoAscendingRanges) {
  std::vector<invsql::KeyRange> in;
  for (const char* v : {"B", "A", "B", "AB", "\xE2\x82\xAC"}) in.push_back(invsql::range_of(Compare::kEqual, v));
  const auto merged = invsql::merge(in);
  ASSERT_EQ(merged.size(), 3u);  // A, AB, B; the euro sign selects nothing
  for (std::size_t i = 1; i < merged.size(); ++i) EXPECT_LT(merged[i - 1].high, merged[i].low);
}

}  // namespace
