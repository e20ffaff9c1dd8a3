// Current sales and value (report 10): one line per item with sales activity
// in the current cycle, in key order.  An item is listed unless both its
// cycle units sold and its cycle sales amount are 0, so returns and sales
// adjustments without units are listed too.
//
// Figures, all in single precision (every record integer converted to float
// first, every step rounded to float in this order):
//   Sc = CycSalesAmt / 100, Sy = YTDSalesAmt / 100           (currency units)
//   Pc = Sc / CycSold (0 without cycle units), Py = Sy / YTDSold (likewise)
//   U  = UntCost / 1000
//   Uc = U, or Pc when U is 0;   cycle margin per unit = Pc - Uc
//   Uy = Uc, or Py when Uc is 0; year margin per unit  = Py - Uy
//   H  = QOH, 0 when negative
//   retail value = H x Py, cost value = H x Uy, margin value = retail - cost
// An item without a unit cost thus shows a blank cycle margin and values its
// stock at the cycle price (the year price when it had no cycle price).
//
// Item line (amounts blank when zero):
//   2-13 StockIndex   15-38 LongName   40-45 Vendor (first 6)
//   47-52 CycSold (6)   53-60 Sc (8.2)   61-67 YTDSold (7)   68-75 Sy (8.2)
//   76-81 Pc (6.2)   82-87 Py (6.2)   88-93 U as stored (6.2)
//   94-99 cycle margin (6.2)   100-105 year margin (6.2)
//   106-112 retail value (7.2)   113-119 cost value (7.2)
//   120-127 margin value (8.2)   128-132 H (5)
//
// The listing ends with the rule and totals lines only when it wrote a
// record; the totals are the cycle sales and the year-to-date sales of the
// listed items.
#include <algorithm>

#include "report_common/heading_line.h"
#include "reports/catalogue.h"
#include "reports/listing_totals.h"
#include "reports/reports.h"

namespace report {

namespace {

constexpr HeadingLine kHeading1 =
    heading_line({at(48, "|----Cycle---|-----YTD-----|"), at(77, "Cycle"), at(85, "YTD"), at(89, "AvCost"),
                  at(96, "|-$/UMargin-|"), at(109, "Retail"), at(117, "Cost"), at(122, "Margin"), at(130, "YTD")});

constexpr HeadingLine kHeading2 =
    heading_line({at(2, "Item Index"), at(15, "Product Name"), at(39, "Vendor"), at(50, "Qty"), at(58, "$"),
                  at(65, "Qty"), at(73, "$"), at(78, "$/U"), at(85, "$/U"), at(90, "$/U"), at(97, "Day"),
                  at(104, "YTD"), at(110, "$Vlaue"), at(117, "$Value"), at(126, "$"), at(130, "QOH")});

constexpr FrameLayout kLayout{
    .title = catalogue_entry(10).title, .heading1 = kHeading1.text(), .heading2 = kHeading2.text()};

// An item's figures; zero where a figure does not apply.
struct SalesFigures {
  float cycle_sales = 0, year_sales = 0;
  float cycle_price = 0, year_price = 0;
  float unit_cost = 0;
  float cycle_margin = 0, year_margin = 0;
  std::int32_t stock = 0;  // units on hand, 0 when negative
  float retail_value = 0, cost_value = 0, margin_value = 0;
};

SalesFigures compute(const ItemArea& area) {
  SalesFigures f;
  const std::int32_t cycle_units = i32(area, item::CycSold);
  const std::int32_t year_units = i32(area, item::YTDSold);
  f.cycle_sales = static_cast<float>(i32(area, item::CycSalesAmt)) / 100.0f;
  f.year_sales = static_cast<float>(i32(area, item::YTDSalesAmt)) / 100.0f;
  if (cycle_units != 0) f.cycle_price = f.cycle_sales / static_cast<float>(cycle_units);
  if (year_units != 0) f.year_price = f.year_sales / static_cast<float>(year_units);
  f.unit_cost = static_cast<float>(i32(area, item::UntCost)) / 1000.0f;
  const float cycle_cost = f.unit_cost != 0.0f ? f.unit_cost : f.cycle_price;
  f.cycle_margin = f.cycle_price - cycle_cost;
  const float year_cost = cycle_cost != 0.0f ? cycle_cost : f.year_price;
  f.year_margin = f.year_price - year_cost;
  f.stock = std::max<std::int32_t>(i32(area, item::QOH), 0);
  const float stock = static_cast<float>(f.stock);
  f.retail_value = stock * f.year_price;
  f.cost_value = stock * year_cost;
  f.margin_value = f.retail_value - f.cost_value;
  return f;
}

bool selected(const ItemArea& area) { return i32(area, item::CycSold) != 0 || i32(area, item::CycSalesAmt) != 0; }

ItemTotals place_line(const ItemArea& area, ReportFrame& frame) {
  const SalesFigures f = compute(area);
  frame.put_text(2, text(area, item::StockIndex));
  frame.put_text(15, text(area, item::LongName));
  frame.put_text(40, text(area, item::Vendor).substr(0, 6));
  frame.put_int_zero_blank(47, 6, i32(area, item::CycSold));
  frame.put_real(53, 8, 2, f.cycle_sales);
  frame.put_int_zero_blank(61, 7, i32(area, item::YTDSold));
  frame.put_real(68, 8, 2, f.year_sales);
  frame.put_real(76, 6, 2, f.cycle_price);
  frame.put_real(82, 6, 2, f.year_price);
  frame.put_real(88, 6, 2, f.unit_cost);
  frame.put_real(94, 6, 2, f.cycle_margin);
  frame.put_real(100, 6, 2, f.year_margin);
  frame.put_real(106, 7, 2, f.retail_value);
  frame.put_real(113, 7, 2, f.cost_value);
  frame.put_real(120, 8, 2, f.margin_value);
  frame.put_int_zero_blank(128, 5, f.stock);
  return {f.cycle_sales, f.year_sales};
}

}  // namespace

std::unique_ptr<Report> make_current_sales(RunContext& ctx) {
  return make_totalled_listing(ctx, kLayout, Closing::kAfterARecord, selected, place_line);
}

}  // namespace report
