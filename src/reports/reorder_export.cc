// Report 2, the re-order quantity export: one comma-separated record per
// item into "OUTF21.DAT" with the item's identifiers, price and stock
// quantities and a re-order quantity worked out from them.
//
// Item record (126 commas, then):
//   1-12 StockIndex   14-25 ShortName   27-33 price, 3 decimals
//   35-39 QOH  41-45 QOO  47-51 MOQ  53-57 ROQ (computed)  59-63 ROP
//   65-69 POI  71-75 QOS  77-81 CPQ   83-94 Vendor
// Numbers are right-aligned and blank when zero; a quantity too wide for its
// five columns shows its last five characters.
#include "reports/catalogue.h"
#include "reports/csv_export.h"
#include "reports/reports.h"

namespace report {

namespace {

constexpr std::string_view kHeading = catalogue_entry(2).heading_record;
static_assert(kHeading.size() == 66);

// The re-order quantity: MOQ when the stock on hand has fallen to the
// re-order point and less than MOQ is on order; otherwise 0.
std::int32_t reorder_quantity(const ItemArea& it) {
  const std::int32_t moq = i32(it, item::MOQ);
  return i32(it, item::QOH) <= i32(it, item::ROP) && i32(it, item::QOO) < moq ? moq : 0;
}

void place_fields(const ItemArea& it, ReportFrame& f) {
  f.put_text(1, text(it, item::StockIndex));
  f.put_text(14, text(it, item::ShortName));
  f.put_real(27, 7, 3, static_cast<float>(i32(it, item::Price)) / 1000.0f);
  f.put_int_zero_blank(35, 5, i32(it, item::QOH));
  f.put_int_zero_blank(41, 5, i32(it, item::QOO));
  f.put_int_zero_blank(47, 5, i32(it, item::MOQ));
  f.put_int_zero_blank(53, 5, reorder_quantity(it));
  f.put_int_zero_blank(59, 5, i32(it, item::ROP));
  f.put_int_zero_blank(65, 5, i32(it, item::POI));
  f.put_int_zero_blank(71, 5, i32(it, item::QOS));
  f.put_int_zero_blank(77, 5, i16(it, item::CPQ));
  f.put_text(83, text(it, item::Vendor));
}

}  // namespace

std::unique_ptr<Report> make_reorder_export(RunContext& ctx) {
  return make_csv_export(ctx, catalogue_entry(2).file_name, kHeading, place_fields);
}

}  // namespace report
