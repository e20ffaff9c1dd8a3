// A report file as invreport writes it, read back for rendering.
//
// The file is a run of fixed-length records and nothing else.  A printed
// listing has 134-byte records: 132 print columns, then CR LF.  Column 1 is
// the carriage-control column: "1" on the first record of each page header
// (which also carries the banner in columns 50-84).  A comma-separated export
// (reports 2, 6 and 15) has 128-byte records: 126 text columns and CR LF, the
// first record naming the fields.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace invrender {

enum class Layout { kListing, kExport };

struct Page {
  std::size_t first = 0;    // index of its first line in Report::lines
  std::size_t count = 0;    // number of lines
  bool has_header = false;  // begins with the eight-line page header
};

struct Report {
  Layout layout = Layout::kListing;
  int number = 0;  // 1 to 15; 0 when the contents name no known report
  // Each record's text columns as a reader sees them: CR LF dropped, trailing
  // blanks dropped, the "1" that starts a page shown as a blank.
  std::vector<std::string> lines;
  // A listing's pages in order; an export is one page holding every line.
  std::vector<Page> pages;
  // Things a reader should know that do not stop the rendering.
  std::vector<std::string> notes;
  // No item was selected: the file was empty, or holds only page headers
  // (an export: only its heading line), or a rule and blank totals.
  bool empty = false;
};

constexpr int kHeaderLines = 8;

// Reads the bytes of a report file.  `forced_number` (1 to 15, or 0 to
// recognise the report from its contents) names the report; a number that
// contradicts what the contents show is refused.  `file_name` (the file's
// name without its directory) may tell which report an empty file is:
// KOROt15.csv is report 15's export.  On failure returns false with a
// one-line reason in `error`.
bool read_report(std::string_view bytes, int forced_number, std::string_view file_name, Report& report,
                 std::string& error);

// The report number a file's name gives: 15 for KOROt15.csv (in any case),
// NN for a name such as r05.dat, rpt05.txt or report05.pdf; 0 otherwise.
int number_from_name(std::string_view file_name);

// What the report is, for titles: "Report 12: sales and value by category".
std::string describe(const Report& report);

// Store, period and run date from the first page header, for a chart's
// subtitle: "HILLCREST HARDWARE, DECEMBER 08, run 12-31-08"; empty without one.
std::string header_summary(const Report& report);

// The characters at 1-based columns first..last of a line (blanks past its end).
std::string_view columns(std::string_view line, std::size_t first, std::size_t last);
std::string_view trim(std::string_view text);

// The fixed columns of an export's values, 1-based and inclusive; empty for a
// report that is not an export or not known.  The heading line's names do not
// always line up with the values (report 6 names 11 fields over 12 values,
// report 15 names 14 over 13), so each value column says which of the
// heading's names is its own: `name` counts the names from 0, -1 for none.
struct ColumnRange {
  std::size_t first, last;
  int name;
  bool number;
};
std::span<const ColumnRange> export_columns(int number);

// The values of a comma-separated line, blanks around them dropped.
std::vector<std::string_view> split_commas(std::string_view line);

// An export as a table: its columns' names (empty where the heading line
// names none) over one row per record, each value trimmed and marked as a
// number where its column holds figures.  An export not known by its number
// gets one column per comma-separated value, a number where it reads as one.
struct ExportCell {
  std::string_view text;
  bool number;
};
struct ExportTable {
  std::vector<std::string_view> names;
  std::vector<std::vector<ExportCell>> rows;
  std::string unused;  // the heading's names that no column holds, joined by ", "
};
ExportTable export_table(const Report& report);

}  // namespace invrender
