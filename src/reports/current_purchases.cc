// Current purchases and value (report 11): one line per item purchased in
// the current cycle, in key order.  An item is listed unless both its cycle
// purchase units and its cycle purchase amount are 0.
//
// Figures, all in single precision (every record integer converted to float
// first, every step rounded to float in this order):
//   U = UntCost / 1000, P = Price / 1000
//   mark-up amount  = P - U            when P and U are both not 0, else 0
//   mark-up percent = P / U, x 100     when U is not 0, else 0
//                     (the price as a percentage of the cost)
//   margin percent  = (P - U) / P, x 100  when P and U are both not 0, else 0
//   Ac = CycPurchAmt / 100, Ay = YTDPurchAmt / 100         (currency units)
//   year average cost = Ay / YTDPurchQty, 0 without year units
//
// Item line (amounts blank when zero; the two 16-bit packaging values print
// zero as "0"):
//   2-13 StockIndex   15-38 LongName   40-45 Vendor (first 6)
//   47-49 UnitDscp (first 3)   51-53 the 16-bit value at offset 252 (3)
//   54-57 QtyPkg (4)   58-64 U (7.2)   65-71 P (7.2)
//   72-78 mark-up amount (7.2)   79-85 mark-up percent (7.2)
//   86-92 margin percent (7.2)   93-98 CycPurchQty (6)   99-106 Ac (8.2)
//   107-112 YTDPurchQty (6)   113-120 Ay (8.2)   121-127 year average cost (7.2)
//   128-132 QOH (5)
//
// The rule and totals lines are always written, so a run in which nothing
// was purchased leaves just those two records.  The totals are the cycle
// purchases and the year-to-date purchases of the listed items.
#include "report_common/heading_line.h"
#include "reports/catalogue.h"
#include "reports/listing_totals.h"
#include "reports/reports.h"

namespace report {

namespace {

constexpr HeadingLine kHeading1 =
    heading_line({at(61, "Cost"), at(66, "Retail"), at(73, "|---MarkUp---|"), at(88, "Margin"), at(97, "CyclePurc"),
                  at(110, "YTD Purc"), at(121, "CstYTD")});

constexpr HeadingLine kHeading2 =
    heading_line({at(2, "Item Index"), at(15, "Product Name"), at(39, "Vendor"), at(47, "Pk"), at(50, "Unt"),
                  at(54, "InPk"), at(62, "$/U"), at(69, "$/U"), at(77, "$"), at(83, "%"), at(90, "%"), at(96, "Qty"),
                  at(104, "$"), at(110, "Qty"), at(118, "$"), at(123, "$/U"), at(128, "QOH")});

constexpr FrameLayout kLayout{
    .title = catalogue_entry(11).title, .heading1 = kHeading1.text(), .heading2 = kHeading2.text()};

// An item's figures; zero where a figure does not apply.
struct PurchaseFigures {
  float unit_cost = 0, unit_price = 0;
  float markup_amount = 0, markup_percent = 0, margin_percent = 0;
  float cycle_purchases = 0, year_purchases = 0;
  float year_average_cost = 0;
};

PurchaseFigures compute(const ItemArea& area) {
  PurchaseFigures f;
  f.unit_cost = static_cast<float>(i32(area, item::UntCost)) / 1000.0f;
  f.unit_price = static_cast<float>(i32(area, item::Price)) / 1000.0f;
  const bool both = f.unit_price != 0.0f && f.unit_cost != 0.0f;
  if (both) f.markup_amount = f.unit_price - f.unit_cost;
  if (f.unit_cost != 0.0f) f.markup_percent = f.unit_price / f.unit_cost * 100.0f;
  if (both) f.margin_percent = (f.unit_price - f.unit_cost) / f.unit_price * 100.0f;
  f.cycle_purchases = static_cast<float>(i32(area, item::CycPurchAmt)) / 100.0f;
  f.year_purchases = static_cast<float>(i32(area, item::YTDPurchAmt)) / 100.0f;
  const std::int32_t year_units = i32(area, item::YTDPurchQty);
  if (year_units != 0) f.year_average_cost = f.year_purchases / static_cast<float>(year_units);
  return f;
}

bool selected(const ItemArea& area) { return i32(area, item::CycPurchQty) != 0 || i32(area, item::CycPurchAmt) != 0; }

ItemTotals place_line(const ItemArea& area, ReportFrame& frame) {
  const PurchaseFigures f = compute(area);
  frame.put_text(2, text(area, item::StockIndex));
  frame.put_text(15, text(area, item::LongName));
  frame.put_text(40, text(area, item::Vendor).substr(0, 6));
  frame.put_text(47, text(area, item::UnitDscp).substr(0, 3));
  frame.put_int_last_digits(51, 3, i16(area, item::Field252));
  frame.put_int_last_digits(54, 4, i16(area, item::QtyPkg));
  frame.put_real(58, 7, 2, f.unit_cost);
  frame.put_real(65, 7, 2, f.unit_price);
  frame.put_real(72, 7, 2, f.markup_amount);
  frame.put_real(79, 7, 2, f.markup_percent);
  frame.put_real(86, 7, 2, f.margin_percent);
  frame.put_int_zero_blank(93, 6, i32(area, item::CycPurchQty));
  frame.put_real(99, 8, 2, f.cycle_purchases);
  frame.put_int_zero_blank(107, 6, i32(area, item::YTDPurchQty));
  frame.put_real(113, 8, 2, f.year_purchases);
  frame.put_real(121, 7, 2, f.year_average_cost);
  frame.put_int_zero_blank(128, 5, i32(area, item::QOH));
  return {f.cycle_purchases, f.year_purchases};
}

}  // namespace

std::unique_ptr<Report> make_current_purchases(RunContext& ctx) {
  return make_totalled_listing(ctx, kLayout, Closing::kAlways, selected, place_line);
}

}  // namespace report
