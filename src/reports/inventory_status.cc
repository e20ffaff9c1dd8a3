// Report 1, inventory status: one printed line per item, in key order, with
// its identifiers, descriptions, pack, list price, average cost and seven
// stock quantities.  Pages of 54 items; no totals.
//
// Detail line, by columns:
//   2-13   StockIndex                  73-80    Price / 1000, 3 decimals
//   15-19  PLU, first 5 characters     81-88    UntCost / 1000, 3 decimals
//   21-32  Vendor                      89-95    QOH       96-101   QOO
//   33-56  LongName                    102-107  MOQ       108-113  ROQ
//   57-62  UnitDscp                    114-119  ROP       120-125  POI
//   63-68  PkgDscp, right-justified    126-132  QOS
//   69-72  QtyPkg (int_to_text)
// The quantities are integer columns ("0" for zero, asterisks when too
// wide).  Price and cost are amounts (real_to_text), blank when zero.  For
// unit type 2, QOH and QOS are held in hundredths: they are shown divided by
// 100 with 2 decimals as amounts, QOH in cols 89-96 (over the first column of
// QOO) and QOS in cols 126-132, blank when zero.
#include "report_common/field_routines.h"
#include "report_common/framed_report.h"
#include "report_common/heading_line.h"
#include "reports/catalogue.h"
#include "reports/reports.h"

namespace report {

namespace {

constexpr HeadingLine kHeading1 = heading_line(
    {at(3, "UPC_SKU"), at(15, "PLU"), at(21, "Vendor"), at(33, "Long Description"), at(56, "Units"),
     at(63, "Pack Units"), at(77, "List Average"), at(91, "|--- U n i t s"), at(109, "I n v e n t o r y ---|")});

constexpr HeadingLine kHeading2 =
    heading_line({at(2, "StockIndex"), at(15, "xRef"), at(21, "Name_Number"), at(56, "Dscp"), at(62, "Dscp InPack"),
                  at(76, "Price"), at(84, "Cost"), at(92, "QOH"), at(98, "QOO"), at(104, "MOQ"), at(110, "ROQ"),
                  at(118, "OP"), at(122, "Phy Short")});

constexpr std::int16_t kHundredthsUnitType = 2;

class InventoryStatus final : public FramedReport {
 public:
  explicit InventoryStatus(RunContext& ctx)
      : FramedReport(ctx, FrameLayout{.title = catalogue_entry(1).title,
                                      .heading1 = kHeading1.text(),
                                      .heading2 = kHeading2.text(),
                                      .page_length = 54}) {}

 private:
  void take_item(const ItemArea& it) override {
    frame_.clear_line();

    frame_.put_int_overflow_stars(89, 7, i32(it, item::QOH));
    frame_.put_int_overflow_stars(96, 6, i32(it, item::QOO));
    frame_.put_int_overflow_stars(102, 6, i32(it, item::MOQ));
    frame_.put_int_overflow_stars(108, 6, i32(it, item::ROQ));
    frame_.put_int_overflow_stars(114, 6, i32(it, item::ROP));
    frame_.put_int_overflow_stars(120, 6, i32(it, item::POI));
    frame_.put_int_overflow_stars(126, 7, i32(it, item::QOS));

    frame_.put_text(2, text(it, item::StockIndex));
    frame_.put_text(15, text(it, item::PLU).substr(0, 5));
    frame_.put_text(21, text(it, item::Vendor));
    frame_.put_text(33, text(it, item::LongName));
    frame_.put_text(57, text(it, item::UnitDscp));
    // The pack description is right-justified in its line columns; the item
    // record area itself is left as read.
    frame_.put_text(63, text(it, item::PkgDscp));
    right_justify(frame_.columns(63, item::PkgDscp.width), item::PkgDscp.width);

    frame_.put_int_last_digits(69, 4, i16(it, item::QtyPkg));
    frame_.put_real(73, 8, 3, static_cast<float>(i32(it, item::Price)) / 1000.0f);
    frame_.put_real(81, 8, 3, static_cast<float>(i32(it, item::UntCost)) / 1000.0f);

    if (i16(it, item::UnitType) == kHundredthsUnitType) {
      frame_.put_real(89, 8, 2, static_cast<float>(i32(it, item::QOH)) / 100.0f);
      frame_.put_real(126, 7, 2, static_cast<float>(i32(it, item::QOS)) / 100.0f);
    }
    frame_.write_line();
  }
};

}  // namespace

std::unique_ptr<Report> make_inventory_status(RunContext& ctx) { return std::make_unique<InventoryStatus>(ctx); }

}  // namespace report
