// Where a listing's figures stand on its lines, for showing a report as a
// spreadsheet: one sheet column per field of a detail line (or of a group
// line in the grouped reports 12-14), in the order printed, named by the
// report's two column-heading lines.
//
// Columns are 1-based print columns, inclusive.  A number field is
// right-aligned in its columns; it is blank when the report printed zero as
// blanks, and all asterisks when the value was too wide for its columns.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace invrender {

struct SheetColumn {
  std::size_t first, last;
  std::string_view name;
  bool number;
  // A field that may reach one column further (report 1 prints a quantity
  // held in hundredths over the first column of the next field): when the
  // text through `wide_last` reads as a decimal figure, the field ends there
  // and the next field begins after it.
  std::size_t wide_last = 0;
};

// The totals line of reports 9 to 11 holds two figures at columns of its
// own; each is put under the sheet column whose figures it sums.
struct TotalField {
  std::size_t first, last;
  std::size_t column;  // index into the report's sheet columns
};

struct SheetLayout {
  std::span<const SheetColumn> columns;
  std::span<const TotalField> totals;  // empty: the totals line uses `columns`
};

// The layout of listing `number` (1, 3-5, 7-14); no columns for an export or
// an unknown report.
SheetLayout listing_layout(int number);

}  // namespace invrender
