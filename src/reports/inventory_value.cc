// Inventory value (report 9): every item in key order with its price and
// average cost, the value of the stock on hand at each, the mark-up and the
// percentages; after the last item, the totals of the two values.
//
// Figures, all in single precision (every record integer converted to float
// first, every step rounded to float in this order):
//   P = Price / 1000, U = UntCost / 1000
//   sales value = P x QOH, purchase value = U x QOH
//   mark-up amount     = P - U
//   mark-up percentage = P / U, x 100        (0 when U is 0)
//   margin percentage  = (P - U) / P, x 100  (0 when P is 0)
//
// Item line (amounts blank when zero; column 1, the carriage-control column,
// holds the first character of the stock index):
//   1-12 StockIndex   14-25 ShortName   26-33 P (8.2)   34-41 U (8.2)
//   42-50 sales value (9.2)   51-59 purchase value (9.2)
//   60-68 mark-up amount (9.2)   69-77 mark-up percentage (9.2)
//   78-86 margin percentage (9.2)   88-93 QOH (6)   96-119 LongName
//   121-132 Vendor
// The two percentages get nine columns each so that both keep their second
// decimal.
//
// The totals line carries the total sales value and the total purchase
// value, each summed in single precision in key order.
#include "report_common/heading_line.h"
#include "reports/catalogue.h"
#include "reports/listing_totals.h"
#include "reports/reports.h"

namespace report {

namespace {

constexpr HeadingLine kHeading1 =
    heading_line({at(28, "Sales"), at(35, "Purchase"), at(45, "Sales"), at(52, "Purchase"), at(64, "Cost"),
                  at(74, "Cost"), at(82, "Price"), at(89, "Quantity")});

constexpr HeadingLine kHeading2 =
    heading_line({at(1, "Item Index"), at(14, "Short Name"), at(28, "Price"), at(38, "Cost"), at(44, "$ Value"),
                  at(52, "$ Value"), at(62, "$ MarkUp"), at(71, "% MarkUp"), at(80, "% Margin"), at(89, "OnHand"),
                  at(98, "Long Description"), at(121, "Vendor Id")});

constexpr FrameLayout kLayout{
    .title = catalogue_entry(9).title, .heading1 = kHeading1.text(), .heading2 = kHeading2.text()};

// An item's figures; zero where a figure does not apply.
struct ValueFigures {
  float unit_price = 0, unit_cost = 0;
  float sales_value = 0, purchase_value = 0;
  float markup_amount = 0, markup_percent = 0, margin_percent = 0;
};

ValueFigures compute(const ItemArea& area) {
  ValueFigures f;
  f.unit_price = static_cast<float>(i32(area, item::Price)) / 1000.0f;
  f.unit_cost = static_cast<float>(i32(area, item::UntCost)) / 1000.0f;
  const float on_hand = static_cast<float>(i32(area, item::QOH));
  f.sales_value = f.unit_price * on_hand;
  f.purchase_value = f.unit_cost * on_hand;
  f.markup_amount = f.unit_price - f.unit_cost;
  if (f.unit_cost != 0.0f) f.markup_percent = f.unit_price / f.unit_cost * 100.0f;
  if (f.unit_price != 0.0f) f.margin_percent = (f.unit_price - f.unit_cost) / f.unit_price * 100.0f;
  return f;
}

ItemTotals place_line(const ItemArea& area, ReportFrame& frame) {
  const ValueFigures f = compute(area);
  frame.put_text(1, text(area, item::StockIndex));
  frame.put_text(14, text(area, item::ShortName));
  frame.put_real(26, 8, 2, f.unit_price);
  frame.put_real(34, 8, 2, f.unit_cost);
  frame.put_real(42, 9, 2, f.sales_value);
  frame.put_real(51, 9, 2, f.purchase_value);
  frame.put_real(60, 9, 2, f.markup_amount);
  frame.put_real(69, 9, 2, f.markup_percent);
  frame.put_real(78, 9, 2, f.margin_percent);
  frame.put_int_zero_blank(88, 6, i32(area, item::QOH));
  frame.put_text(96, text(area, item::LongName));
  frame.put_text(121, text(area, item::Vendor));
  return {f.sales_value, f.purchase_value};
}

}  // namespace

std::unique_ptr<Report> make_inventory_value(RunContext& ctx) {
  return make_totalled_listing(ctx, kLayout, Closing::kAlways, every_item, place_line);
}

}  // namespace report
