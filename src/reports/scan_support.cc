// Report 3: scan support parameters.  One line per item, in key order, with
// what a point-of-sale scanner needs: the identifiers, the descriptions, the
// price, department, category and the eight itemizer codes, and the vendor.
// Page length 50, no totals, and every detail line is echoed to the console
// as its first 120 columns (so the vendor never reaches the console).
//
// Detail line (columns not named are blank):
//    2- 21  the 20 key characters after "12" (stock index and key rest)
//   22- 33  Alternate              35- 39  PLU, first 5 characters
//   41- 52  ShortName              54- 77  LongName
//   78- 85  Price / 1000, decimal column, 3 decimals; blank when zero
//   86- 91  Dept  (integer column)  92- 95  Cat (integer column)
//   96-119  itemizer codes, 3 columns each: Tx Cl Cs Ln Sc Ds Tg Sk
//  121-132  Vendor
#include <array>

#include "report_common/framed_report.h"
#include "report_common/heading_line.h"
#include "reports/catalogue.h"
#include "reports/reports.h"

namespace report {

namespace {

constexpr std::string_view kTitle = catalogue_entry(3).title;

constexpr HeadingLine kHeading1 =
    heading_line({at(7, "SKU"), at(26, "UPC"), at(35, "PLU"), at(43, "Short"), at(56, "Long"), at(78, "Unit"),
                  at(87, "|-------- Itemizer Codes --------|"), at(122, "Vendor"), at(132, "|")});
constexpr HeadingLine kHeading2 = heading_line(
    {at(2, "Stock Index #"), at(22, "Alternate #"), at(35, "Xref#"), at(41, "Description"), at(54, "Description"),
     at(78, "Price"), at(88, "Dept"), at(93, "Cat"), at(97, "Tx Cl Cs Ln Sc Ds Tg Sk"), at(121, "Name/ID#")});

constexpr int kPageLength = 50;
constexpr int kEchoColumns = 120;

// The itemizer codes in the order of their columns, from column 96 on.
constexpr std::array kItemizerCodes{item::Tx, item::Cl, item::Cs, item::Ln, item::Sc, item::Ds, item::Tg, item::Sk};
constexpr int kItemizerColumn = 96;
constexpr int kItemizerWidth = 3;

class ScanSupport final : public FramedReport {
 public:
  explicit ScanSupport(RunContext& ctx)
      : FramedReport(ctx, FrameLayout{.title = kTitle,
                                      .heading1 = kHeading1.text(),
                                      .heading2 = kHeading2.text(),
                                      .page_length = kPageLength,
                                      .echo_columns = kEchoColumns,
                                      .echo_every_line = true}) {}

 private:
  void take_item(const ItemArea& it) override {
    frame_.clear_line();
    frame_.put_text(2, text(it, item::KeyTail));
    frame_.put_text(22, text(it, item::Alternate));
    frame_.put_text(35, text(it, item::PLU).substr(0, 5));
    frame_.put_text(41, text(it, item::ShortName));
    frame_.put_text(54, text(it, item::LongName));
    // A zero price shows as blanks, not as 0.000.
    if (const std::int32_t price = i32(it, item::Price); price != 0) frame_.put_decimal(78, 8, 3, price);
    frame_.put_int_overflow_stars(86, 6, i16(it, item::Dept));
    frame_.put_int_overflow_stars(92, 4, i16(it, item::Cat));
    int column = kItemizerColumn;
    for (const Field& code : kItemizerCodes) {
      frame_.put_int_overflow_stars(column, kItemizerWidth, i16(it, code));
      column += kItemizerWidth;
    }
    frame_.put_text(121, text(it, item::Vendor));
    frame_.write_line();
  }
};

}  // namespace

std::unique_ptr<Report> make_scan_support(RunContext& ctx) { return std::make_unique<ScanSupport>(ctx); }

}  // namespace report
