// The two page headings (the control records "001600" right, "001601" left:
// six lines of 24 one-byte characters each) as people give and see them.
//
// A heading line is given as UTF-8 and kept one Latin-1 byte per character,
// under the rules of an item's text on import: at most 24 characters (not
// bytes), no control characters, nothing above U+00FF.
//
// In the item CSV a heading line is a row of its own, recognised by its
// StockIndex cell, which names the side and the line:
//   "(right heading 1)" ... "(right heading 6)", "(left heading 1)" ...
// Its text is in the LongName column (24 characters wide, like a heading
// line); every other cell of the row is empty.  The names are longer than
// the 12 characters of a stock index, so no item's row is ever taken for a
// heading's.  The rows of one side give that whole heading: a line without a
// row is blank.  Export writes a stored heading's lines up to its last one
// that is not blank (line 1 at least), before the items: the control keys
// sort first.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "report_common/control_records.h"

namespace invdb {

class Database;

namespace headings {

using report::control::Heading;
using report::control::HeadingText;

inline constexpr Heading kSides[] = {Heading::kRight, Heading::kLeft};  // in key order

constexpr std::string_view side_name(Heading side) { return side == Heading::kRight ? "right" : "left"; }

// Why the UTF-8 text cannot be a heading line ("" when it can); the line's
// bytes in `bytes`.  Not `printable`: control characters pass (a restore
// takes back what another program stored).
std::string line_problem(std::string_view utf8, std::string& bytes, bool printable = true);

// Line `n` (0 to 5) of a heading, trailing blanks dropped.
std::string_view line(const HeadingText& text, int n);

// The heading stored for `side`, or nullopt when the database has none (the
// reports print it blank).  False when it cannot be read.
bool read(Database& db, Heading side, std::optional<HeadingText>& text, std::string& error);

// The StockIndex cell of a heading line's row: "(left heading 3)" for line 2.
std::string row_name(Heading side, int n);
// The side and line a StockIndex cell names, or false when it names none.
bool parse_row_name(std::string_view cell, Heading& side, int& n);

// The lines export writes for a heading: up to its last line that is not
// blank, one at least.
int exported_lines(const HeadingText& text);

// A line as a terminal shows it: UTF-8, control characters as \xNN.
std::string shown_line(std::string_view bytes);

}  // namespace headings
}  // namespace invdb
