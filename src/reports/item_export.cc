// Report 15, the item export file: one comma-separated record per item into
// its own file "KOROt15.csv" (the work file OUTF21.DAT is not touched).  The
// record is the near twin of the margin and value export's.
//
// Item record (126 commas, then):
//   1-87 as the margin and value export: StockIndex, LongName, Vendor,
//        Alternate, price, cost, margin
//   89-94 mark-up % (2 decimals)  96-102 inventory value (2 decimals)
//   104-108 QOH  110-114 QOS  116-120 CycSold  122-126 YTDSold
// Numbers are right-aligned and blank when zero.
#include "reports/catalogue.h"
#include "reports/csv_export.h"
#include "reports/margin_export.h"
#include "reports/reports.h"

namespace report {

namespace {

// 14 names over the 13 values: there is a "Shortage" name but no such value.
constexpr std::string_view kHeading = catalogue_entry(15).heading_record;
static_assert(kHeading.size() == 115);

void place_fields(const ItemArea& it, ReportFrame& f) {
  const MarginFigures m = place_identity_and_margin(it, f);
  f.put_real(89, 6, 2, m.mark_up);
  f.put_real(96, 7, 2, m.inventory);
  f.put_int_zero_blank(104, 5, i32(it, item::QOH));
  f.put_int_zero_blank(110, 5, i32(it, item::QOS));
  f.put_int_zero_blank(116, 5, i32(it, item::CycSold));
  f.put_int_zero_blank(122, 5, i32(it, item::YTDSold));
}

}  // namespace

std::unique_ptr<Report> make_item_export(RunContext& ctx) {
  return make_csv_export(ctx, catalogue_entry(15).file_name, kHeading, place_fields);
}

}  // namespace report
