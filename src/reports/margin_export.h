// Money figures of an item shared by the margin and value export (6) and
// the item export file (15), and the record columns the two have in common.
#pragma once

#include "report_common/item_record.h"
#include "report_common/report_frame.h"

namespace report {

// Computed in single precision, each operation rounded to float in the order
// written, with Price and UntCost taken as reals in thousandths:
//   price     = Price / 1000
//   cost      = UntCost / 1000
//   margin    = (Price - UntCost) / 1000
//   mark_up   = Price / UntCost x 100, or 0 when UntCost is 0
//   inventory = QOH x UntCost / 1000
struct MarginFigures {
  float price;
  float cost;
  float margin;
  float mark_up;
  float inventory;
};

// A quantity valued at the unit cost: quantity x UntCost / 1000.
float value_at_cost(std::int32_t quantity, const ItemArea& it);

// Columns 1-87 of both records: 1-12 StockIndex, 14-37 LongName, 39-50
// Vendor, 52-63 Alternate, then price, cost and margin with 2 decimals in
// 65-71, 73-79 and 81-87.  Returns the item's figures for the rest.
MarginFigures place_identity_and_margin(const ItemArea& it, ReportFrame& f);

}  // namespace report
