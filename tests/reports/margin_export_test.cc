// Report 6, the margin and value export, run as a process over a database.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace csv_export_test {  // defined in reorder_export_test.cc
test_support::ProcessResult run_over_database(const std::filesystem::path& dir,
                                              const std::vector<report::ItemArea>& items, const std::string& report);
std::string record(const std::string& file, int n);
report::ItemArea priced(std::string_view sku, std::int32_t price, std::int32_t cost, std::int32_t qoh,
                        std::int32_t qos);
}  // namespace csv_export_test

namespace {

using csv_export_test::priced;
using report::ItemArea;
using report::set_i32;
namespace item = report::item;

// Expected file rpt06_margin.dat, checked column by column by hand:
//   record 1  the heading: the 11 names in cols 1-83, blanks to col 126.
//   Every item record: cols 1-12 StockIndex, 14-37 LongName, 39-50 Vendor,
//   52-63 Alternate, 65-71 price, 73-79 cost, 81-87 margin, 89-95 mark-up,
//   97-104 inventory value, 106-111 QOH, 113-118 QOS, 120-126 shortage
//   value, commas in 13, 38, 51, 64, 72, 80, 88, 96, 105, 112, 119, CR LF.
//   record 2  M-A "Hammer, claw 16 oz" (its comma as stored), TOOLCO,
//             071234500012: 15000 / 10000 -> "  15.00", "  10.00",
//             "   5.00", " 150.00"; QOH 7 -> "   70.00", "     7"; QOS 2
//             -> "     2" and 2 x 10 -> "  20.00".
//   record 3  M-B: 2000 / 2500 -> "   2.00", "   2.50", "   -.50",
//             "  80.00"; QOH 40 at 2.5 -> "  100.00", "    40"; QOS 400 ->
//             "   400" and 400 x 2.5 -> "1000.00", both decimals kept.
//   record 4  M-C: 1250 without cost -> "   1.25", blank cost, margin
//             "   1.25", blank mark-up and inventory value; QOH 3 ->
//             "     3"; QOS -4 -> "    -4", shortage value blank.
//   record 5  M-D: 556892 / 249677 -> " 556.89", " 249.68", " 307.22";
//             the mark-up divides the thousandths in single precision:
//             2.2304497 x 100 = 223.04497 -> " 223.04" (dividing 556.892
//             by 249.677 first would give 223.04500 and so 223.05).
TEST(MarginExportRun, GoldenFile) {
  test_support::TempDir dir;
  ItemArea a = priced("M-A", 15000, 10000, 7, 2);
  report::set_text(a, item::LongName, "Hammer, claw 16 oz");
  report::set_text(a, item::ShortName, "Hammer");
  report::set_text(a, item::Vendor, "TOOLCO");
  report::set_text(a, item::Alternate, "071234500012");
  const auto r = csv_export_test::run_over_database(
      dir.path(),
      {a, priced("M-B", 2000, 2500, 40, 400), priced("M-C", 1250, 0, 3, -4), priced("M-D", 556892, 249677, 0, 0)},
      "06");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  const std::string file = test_support::read_file(dir / "OUTF21.DAT");
  test_support::expect_golden(file, "reports/golden/rpt06_margin.dat");
  EXPECT_NE(r.out.find(csv_export_test::record(file, 1) + "\n"), std::string::npos);
}

}  // namespace
