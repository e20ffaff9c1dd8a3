// Reports 4 and 5: current inventory status (variant 1, every item) and
// below-minimum stock status (variant 2, only the items for which an order is
// suggested).  Each line shows the item's prices, package data and stock
// quantities, with a suggested order quantity in place of the recorded
// re-order quantity.  No totals.
//
// Suggested order quantity: the base is MOQ when MOQ is at least 1, else the
// re-order point; when QOH is above the re-order point the base is the
// recorded ROQ instead.  With a positive quantity on order the suggestion is
// the base when QOO is below it and 0 otherwise; without one it is the base.
// The suggestion is written into the item area's ROQ field and printed from
// there.
//
// Paging: every detail line counts two lines against the page length of 54,
// so a page holds at most 27 detail lines.  An item report 5 passes over
// counts nothing.
//
// Detail line (columns not named are blank):
//    2- 21  the 20 key characters after "12"   22- 26  PLU, first 5 characters
//   28- 51  LongName                           53- 60  ShortName, first 8
//   61- 68  Price / 1000   } decimal columns,  77- 82  quantity per package
//   69- 76  UntCost / 1000 } 3 decimals        84- 87  UnitDscp, first 4
//   89- 92  OutDate, first 4
//   93- 98 QOH   99-104 QOO   105-110 MOQ   111-116 suggestion (ROQ field)
//  117-122 ROP  123-127 POI   128-132 QOS   (integer columns)
#include "report_common/framed_report.h"
#include "report_common/heading_line.h"
#include "reports/catalogue.h"
#include "reports/reports.h"

namespace report {

namespace {

constexpr std::string_view kTitleAll = catalogue_entry(4).title;
constexpr std::string_view kTitleBelowMinimum = catalogue_entry(5).title;
constexpr std::int16_t kBelowMinimum = 2;

constexpr HeadingLine kHeading1 =
    heading_line({at(7, "SKU"), at(23, "OPEN"), at(31, "LONG"), at(55, "Short"), at(65, "Unit"), at(74, "Unit"),
                  at(80, "Qty"), at(84, "Unit"), at(90, "Pkg"), at(94, "|--- U n i t s   I n v e n t o r y ---|")});
constexpr HeadingLine kHeading2 =
    heading_line({at(2, "Stock Index #"), at(23, "Dept#"), at(29, "Description"), at(54, "Dscprtn"), at(65, "Price"),
                  at(74, "Cost"), at(79, "/Pkg"), at(84, "Dscp"), at(89, "Dscp"), at(96, "QOH"), at(102, "QOO"),
                  at(108, "MOQ"), at(114, "ROQ"), at(120, "ROP"), at(125, "Phy"), at(130, "Shr")});

// Each detail line counts this many lines against the page length.
constexpr int kLinesPerDetail = 2;

std::int32_t suggested_order(const ItemArea& it) {
  const std::int32_t moq = i32(it, item::MOQ);
  const std::int32_t rop = i32(it, item::ROP);
  std::int32_t base = moq >= 1 ? moq : rop;
  if (i32(it, item::QOH) > rop) base = i32(it, item::ROQ);
  const std::int32_t qoo = i32(it, item::QOO);
  if (qoo > 0) return qoo < base ? base : 0;
  return base;
}

class StockStatus final : public FramedReport {
 public:
  StockStatus(RunContext& ctx, std::int16_t variant)
      : FramedReport(ctx, FrameLayout{.title = variant == kBelowMinimum ? kTitleBelowMinimum : kTitleAll,
                                      .heading1 = kHeading1.text(),
                                      .heading2 = kHeading2.text(),
                                      .lines_per_detail = kLinesPerDetail}),
        below_minimum_(variant == kBelowMinimum) {}

 private:
  void take_item(const ItemArea& it) override {
    const std::int32_t suggestion = suggested_order(it);
    if (below_minimum_ && suggestion <= 0) return;
    // `it` is the run's item area: the suggestion replaces the recorded ROQ
    // there and is printed from it.
    set_i32(ctx_.item, item::ROQ, suggestion);

    frame_.clear_line();
    frame_.put_text(2, text(it, item::KeyTail));
    frame_.put_text(22, text(it, item::PLU).substr(0, 5));
    frame_.put_text(28, text(it, item::LongName));
    frame_.put_text(53, text(it, item::ShortName).substr(0, 8));
    frame_.put_decimal(61, 8, 3, i32(it, item::Price));
    frame_.put_decimal(69, 8, 3, i32(it, item::UntCost));
    frame_.put_int_overflow_stars(77, 6, i32(it, item::PkgQty));
    frame_.put_text(84, text(it, item::UnitDscp).substr(0, 4));
    frame_.put_text(89, text(it, item::OutDate).substr(0, 4));
    frame_.put_int_overflow_stars(93, 6, i32(it, item::QOH));
    frame_.put_int_overflow_stars(99, 6, i32(it, item::QOO));
    frame_.put_int_overflow_stars(105, 6, i32(it, item::MOQ));
    frame_.put_int_overflow_stars(111, 6, i32(it, item::ROQ));
    frame_.put_int_overflow_stars(117, 6, i32(it, item::ROP));
    frame_.put_int_overflow_stars(123, 5, i32(it, item::POI));
    frame_.put_int_overflow_stars(128, 5, i32(it, item::QOS));
    frame_.write_line();
  }

  bool below_minimum_;
};

}  // namespace

std::unique_ptr<Report> make_stock_status(RunContext& ctx, std::int16_t variant) {
  return std::make_unique<StockStatus>(ctx, variant);
}

}  // namespace report
