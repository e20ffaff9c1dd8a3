#include "invdb/headings.h"

#include <cstdio>

#include "invdb/database.h"
#include "report_common/latin1.h"

namespace invdb::headings {

namespace control = report::control;
namespace latin1 = report::latin1;

std::string line_problem(std::string_view utf8, std::string& bytes, bool printable) {
  std::string problem;
  if (!(printable ? latin1::printable_from_utf8(utf8, bytes, problem) : latin1::from_utf8(utf8, bytes, problem)))
    return problem;
  if (bytes.size() > static_cast<std::size_t>(control::kHeadingLineWidth))
    return "text of " + std::to_string(bytes.size()) + " characters is longer than " +
           std::to_string(control::kHeadingLineWidth) + ", the width of a heading line";
  return "";
}

std::string_view line(const HeadingText& text, int n) {
  std::string_view l(text.data() + n * control::kHeadingLineWidth, control::kHeadingLineWidth);
  while (!l.empty() && l.back() == ' ') l.remove_suffix(1);
  return l;
}

bool read(Database& db, Heading side, std::optional<HeadingText>& text, std::string& error) {
  text.reset();
  const auto entry = db.find(control::heading_key(side));
  if (!entry) return true;
  isam::Block block{};
  if (!db.read_block(entry->address, block, error)) return false;
  HeadingText& t = text.emplace();
  std::copy_n(block.begin() + control::kHeadingOffset, control::kHeadingLength, t.begin());
  return true;
}

std::string row_name(Heading side, int n) {
  return "(" + std::string(side_name(side)) + " heading " + std::to_string(n + 1) + ")";
}

bool parse_row_name(std::string_view cell, Heading& side, int& n) {
  if (!cell.starts_with('(')) return false;
  for (const Heading s : kSides)
    for (int i = 0; i < control::kHeadingLines; ++i)
      if (cell == row_name(s, i)) {
        side = s;
        n = i;
        return true;
      }
  return false;
}

int exported_lines(const HeadingText& text) {
  int lines = control::kHeadingLines;
  while (lines > 1 && line(text, lines - 1).empty()) --lines;
  return lines;
}

std::string shown_line(std::string_view bytes) {
  std::string out;
  for (const char b : bytes) {
    const auto c = static_cast<unsigned char>(b);
    if (latin1::is_control(c)) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      latin1::append_utf8(out, std::string_view(&b, 1));
    }
  }
  return out;
}

}  // namespace invdb::headings
