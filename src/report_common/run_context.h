// The run's shared areas, handed to every report: the item record area, the
// line buffer, the page-header texts, the current report number and the
// console.  One RunContext exists per run; nothing here is process-global.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>

#include "report_common/control_records.h"
#include "report_common/item_record.h"

namespace report {

// Run date text, MM-DD-YY.
using RunDate = std::array<char, 8>;

// Line buffer: 132 print columns and CR LF (the comma-separated layout uses
// 126 text columns with CR LF in bytes 127-128).
inline constexpr int kLineLength = 134;
inline constexpr int kPrintColumns = 132;
inline constexpr int kCsvColumns = 126;
using LineBuffer = std::array<char, kLineLength>;

// Texts printed by every page header, prepared once per run from the two
// control records and the run date.
struct Headings {
  static constexpr int kLineWidth = control::kHeadingLineWidth;
  control::HeadingText left;    // six lines of 24 characters (the left heading record)
  control::HeadingText right;   // six lines of 24 characters (the right heading record)
  std::array<char, 12> period;  // month name padded to 10, then the 2-digit year

  Headings() { clear(); }
  void clear() {
    left.fill(' ');
    right.fill(' ');
    period.fill(' ');
  }
  // Line n (1-based) of the left or right text.
  std::string_view left_line(int n) const { return {left.data() + (n - 1) * kLineWidth, kLineWidth}; }
  std::string_view right_line(int n) const { return {right.data() + (n - 1) * kLineWidth, kLineWidth}; }
};

struct RunContext {
  ItemArea item{};  // the current item; its first 22 bytes are the walk's key buffer
  LineBuffer line{};
  Headings headings;
  std::int16_t current_report = 0;
  std::FILE* console = stdout;      // report echo lines
  std::FILE* diagnostics = stderr;  // one-line failure diagnostics
  bool output_failed = false;       // an output file could not be opened or written
};

// A report routine with the state it keeps between calls.  The driver calls
// it with mode 0 on the first item (the report sets the word to 1 itself), 1
// on every further item and 2 once after the last item.
class Report {
 public:
  virtual ~Report() = default;
  virtual void call(const RunDate& run_date, std::int16_t& mode) = 0;
};

}  // namespace report
