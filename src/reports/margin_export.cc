// Report 6, the margin and value export: one comma-separated record per item
// into "OUTF21.DAT" with the item's identifiers and money figures.
//
// Item record (126 commas, then):
//   1-12 StockIndex  14-37 LongName  39-50 Vendor  52-63 Alternate
//   65-71 price  73-79 cost  81-87 margin  89-95 mark-up %   (2 decimals)
//   97-104 inventory value (2 decimals)  106-111 QOH  113-118 QOS
//   120-126 shortage value, QOS x cost (2 decimals)
// Numbers are right-aligned and blank when zero, so an item without a cost
// shows blank cost, mark-up, inventory and shortage columns.
#include "reports/margin_export.h"

#include "reports/catalogue.h"
#include "reports/csv_export.h"
#include "reports/reports.h"

namespace report {

namespace {

MarginFigures margin_figures(const ItemArea& it) {
  const float price = static_cast<float>(i32(it, item::Price));
  const float cost = static_cast<float>(i32(it, item::UntCost));
  MarginFigures m;
  m.price = price / 1000.0f;
  m.cost = cost / 1000.0f;
  m.margin = (price - cost) / 1000.0f;
  m.mark_up = cost != 0.0f ? price / cost * 100.0f : 0.0f;
  m.inventory = value_at_cost(i32(it, item::QOH), it);
  return m;
}

}  // namespace

float value_at_cost(std::int32_t quantity, const ItemArea& it) {
  return static_cast<float>(quantity) * static_cast<float>(i32(it, item::UntCost)) / 1000.0f;
}

MarginFigures place_identity_and_margin(const ItemArea& it, ReportFrame& f) {
  const MarginFigures m = margin_figures(it);
  f.put_text(1, text(it, item::StockIndex));
  f.put_text(14, text(it, item::LongName));
  f.put_text(39, text(it, item::Vendor));
  f.put_text(52, text(it, item::Alternate));
  f.put_real(65, 7, 2, m.price);
  f.put_real(73, 7, 2, m.cost);
  f.put_real(81, 7, 2, m.margin);
  return m;
}

namespace {

// The 11 names stand as they are; they do not line up with the 12 values.
constexpr std::string_view kHeading = catalogue_entry(6).heading_record;
static_assert(kHeading.size() == 83);

void place_fields(const ItemArea& it, ReportFrame& f) {
  const MarginFigures m = place_identity_and_margin(it, f);
  f.put_real(89, 7, 2, m.mark_up);
  f.put_real(97, 8, 2, m.inventory);
  f.put_int_zero_blank(106, 6, i32(it, item::QOH));
  f.put_int_zero_blank(113, 6, i32(it, item::QOS));
  // Seven columns, so that both decimals show and CR LF keeps bytes 127-128.
  f.put_real(120, 7, 2, value_at_cost(i32(it, item::QOS), it));
}

}  // namespace

std::unique_ptr<Report> make_margin_export(RunContext& ctx) {
  return make_csv_export(ctx, catalogue_entry(6).file_name, kHeading, place_fields);
}

}  // namespace report
