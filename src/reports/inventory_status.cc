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
#include <array>
#include <string_view>

#include "report_common/field_routines.h"
#include "report_common/report_frame.h"
#include "reports/reports.h"

namespace report {

namespace {

struct Heading {
  int column;
  std::string_view text;
};

// A column-heading line: each text at its 1-based column, blanks elsewhere.
template <std::size_t N>
constexpr std::array<char, kPrintColumns> heading_line(const std::array<Heading, N>& parts) {
  std::array<char, kPrintColumns> line{};
  for (char& c : line) c = ' ';
  for (const Heading& part : parts)
    for (std::size_t i = 0; i < part.text.size(); ++i) line[part.column - 1 + i] = part.text[i];
  return line;
}

constexpr auto kHeading1 = heading_line(std::array{
    Heading{3, "UPC_SKU"}, Heading{15, "PLU"}, Heading{21, "Vendor"},
    Heading{33, "Long Description"}, Heading{56, "Units"}, Heading{63, "Pack Units"},
    Heading{77, "List Average"}, Heading{91, "|--- U n i t s"},
    Heading{109, "I n v e n t o r y ---|"}});

constexpr auto kHeading2 = heading_line(std::array{
    Heading{2, "StockIndex"}, Heading{15, "xRef"}, Heading{21, "Name_Number"},
    Heading{56, "Dscp"}, Heading{62, "Dscp InPack"}, Heading{76, "Price"},
    Heading{84, "Cost"}, Heading{92, "QOH"}, Heading{98, "QOO"}, Heading{104, "MOQ"},
    Heading{110, "ROQ"}, Heading{118, "OP"}, Heading{122, "Phy Short"}});

constexpr std::string_view view(const std::array<char, kPrintColumns>& line) {
  return {line.data(), line.size()};
}

constexpr std::int16_t kHundredthsUnitType = 2;

class InventoryStatus final : public Report {
 public:
  explicit InventoryStatus(RunContext& ctx)
      : ctx_(ctx),
        frame_(ctx, FrameLayout{.title = "------ Current Inventory Status -----",
                                .heading1 = view(kHeading1),
                                .heading2 = view(kHeading2),
                                .page_length = 54}) {}

  void call(const RunDate& run_date, std::int16_t& mode) override {
    if (mode >= 2) {
      frame_.close();
      return;
    }
    if (mode <= 0) {
      mode = 1;
      if (!frame_.open(run_date)) return;
    }
    list_item();
  }

 private:
  void list_item() {
    if (!frame_.start_page_if_due()) return;
    const ItemArea& it = ctx_.item;
    frame_.clear_line();

    frame_.put_integer(89, 7, i32(it, item::QOH));
    frame_.put_integer(96, 6, i32(it, item::QOO));
    frame_.put_integer(102, 6, i32(it, item::MOQ));
    frame_.put_integer(108, 6, i32(it, item::ROQ));
    frame_.put_integer(114, 6, i32(it, item::ROP));
    frame_.put_integer(120, 6, i32(it, item::POI));
    frame_.put_integer(126, 7, i32(it, item::QOS));

    frame_.put_text(2, text(it, item::StockIndex));
    frame_.put_text(15, text(it, item::PLU).substr(0, 5));
    frame_.put_text(21, text(it, item::Vendor));
    frame_.put_text(33, text(it, item::LongName));
    frame_.put_text(57, text(it, item::UnitDscp));
    // The pack description is right-justified in its line columns; the item
    // record area itself is left as read.
    frame_.put_text(63, text(it, item::PkgDscp));
    right_justify(frame_.columns(63, item::PkgDscp.width), item::PkgDscp.width);

    frame_.put_int_text(69, 4, i16(it, item::QtyPkg));
    frame_.put_real(73, 8, 3, static_cast<float>(i32(it, item::Price)) / 1000.0f);
    frame_.put_real(81, 8, 3, static_cast<float>(i32(it, item::UntCost)) / 1000.0f);

    if (i16(it, item::UnitType) == kHundredthsUnitType) {
      frame_.put_real(89, 8, 2, static_cast<float>(i32(it, item::QOH)) / 100.0f);
      frame_.put_real(126, 7, 2, static_cast<float>(i32(it, item::QOS)) / 100.0f);
    }
    frame_.write_detail();
  }

  RunContext& ctx_;
  ReportFrame frame_;
};

}  // namespace

std::unique_ptr<Report> make_inventory_status(RunContext& ctx) {
  return std::make_unique<InventoryStatus>(ctx);
}

}  // namespace report
