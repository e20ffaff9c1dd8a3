// The item listings that count every item line twice against the page and
// end with a rule line and a line of two totals: the inventory value,
// current sales and current purchases listings.  A listing's own file only
// chooses its items, computes their figures and fills their columns; this
// frame does the rest.
//
// Paging: an item line counts as two lines, so a page of 54 lines holds at
// most 27 item lines.
//
// Closing lines: a rule record (a blank, then 131 hyphens) and a totals
// record of 132 blanks carrying two single-precision sums as amount fields:
// the first in columns 40-49 (width 10, 2 decimals), the second in columns
// 51-59 (width 9, 2 decimals).  The sums add each listed item's two figures
// in the order the items are listed.  Neither line is counted against the
// page, checked for a page break or echoed.
#pragma once

#include <memory>
#include <string_view>

#include "report_common/report_frame.h"
#include "report_common/run_context.h"

namespace report {

// An item's two figures added into the totals.
struct ItemTotals {
  float first;
  float second;
};

// When the closing lines are written.
enum class Closing {
  kAlways,        // even when no item was listed
  kAfterARecord,  // only when the listing wrote at least one record
};

// Whether an item is listed.
using ItemSelection = bool (*)(const ItemArea& item);
// Places the item's line into the line buffer, set to blanks, and returns
// the item's figures for the totals.
using LinePlacement = ItemTotals (*)(const ItemArea& item, ReportFrame& frame);

// The selection of a listing that lists every item.
inline bool every_item(const ItemArea&) { return true; }

// `layout` gives the title and the column headings.
std::unique_ptr<Report> make_totalled_listing(RunContext& ctx, const FrameLayout& layout, Closing closing,
                                              ItemSelection selected, LinePlacement place_line);

}  // namespace report
