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
#include "reports/reports.h"

namespace report {

namespace {

constexpr std::string_view kTitle = "----- Scan support    Parameters ----";

// 132 columns each, split every 44 columns.
constexpr std::string_view kHeading1 =
    "      SKU                UPC      PLU     Sh"   // 1-44
    "ort        Long                  Unit     |-"   // 45-88
    "------- Itemizer Codes --------| Vendor    |";  // 89-132
constexpr std::string_view kHeading2 =
    " Stock Index #       Alternate #  Xref# Desc"   // 1-44
    "ription  Description             Price     D"   // 45-88
    "ept Cat Tx Cl Cs Ln Sc Ds Tg Sk Name/ID#    ";  // 89-132

constexpr int kPageLength = 50;
constexpr int kEchoColumns = 120;

// The key after its record class: stock index and key rest together.
constexpr Field kKeyTail{"KeyTail", 2, 20, FieldKind::kText};

// The itemizer codes in the order of their columns, from column 96 on.
constexpr std::array kItemizerCodes{item::Tx, item::Cl, item::Cs, item::Ln, item::Sc, item::Ds, item::Tg, item::Sk};
constexpr int kItemizerColumn = 96;
constexpr int kItemizerWidth = 3;

class ScanSupport final : public FramedReport {
 public:
  explicit ScanSupport(RunContext& ctx)
      : FramedReport(
            ctx,
            FrameLayout{.title = kTitle, .heading1 = kHeading1, .heading2 = kHeading2, .page_length = kPageLength}) {}

 private:
  void take_item(const ItemArea& it) override {
    frame_.clear_line();
    frame_.put_text(2, text(it, kKeyTail));
    frame_.put_text(22, text(it, item::Alternate));
    frame_.put_text(35, text(it, item::PLU).substr(0, 5));
    frame_.put_text(41, text(it, item::ShortName));
    frame_.put_text(54, text(it, item::LongName));
    // A zero price shows as blanks, not as 0.000.
    if (const std::int32_t price = i32(it, item::Price); price != 0) frame_.put_decimal(78, 8, 3, price);
    frame_.put_integer(86, 6, i16(it, item::Dept));
    frame_.put_integer(92, 4, i16(it, item::Cat));
    int column = kItemizerColumn;
    for (const Field& code : kItemizerCodes) {
      frame_.put_integer(column, kItemizerWidth, i16(it, code));
      column += kItemizerWidth;
    }
    frame_.put_text(121, text(it, item::Vendor));

    if (!frame_.start_page_if_due()) return;
    if (!frame_.write_record()) return;
    frame_.echo(kEchoColumns);
  }
};

}  // namespace

std::unique_ptr<Report> make_scan_support(RunContext& ctx) { return std::make_unique<ScanSupport>(ctx); }

}  // namespace report
