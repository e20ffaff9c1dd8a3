// Report 15, the item export file, run as a process over a database.
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

// Expected file rpt15_items.csv, checked column by column by hand:
//   record 1  the heading: 14 names in cols 1-97, three blanks, "CycSold,
//             YTDSold" in cols 101-115, blanks to col 126.
//   Every item record: cols 1-87 as report 6's, 89-94 mark-up, 96-102
//   inventory value, 104-108 QOH, 110-114 QOS, 116-120 CycSold, 122-126
//   YTDSold, commas in 13, 38, 51, 64, 72, 80, 88, 95, 103, 109, 115, 121,
//   CR LF.
//   record 2  X-A "Hammer, claw 16 oz", TOOLCO, 071234500012: "  15.00",
//             "  10.00", "   5.00", "150.00" (fills its six columns); QOH 7
//             -> "  70.00", "    7"; QOS 2 -> "    2"; sold "   12", "  340".
//   record 3  X-B: "   2.00", "   2.50", "   -.50", " 80.00"; QOH 40 at 2.5
//             -> " 100.00", "   40"; QOS and sold counts blank.
//   record 4  X-C: 500 / 100 -> "    .50", "    .10", "    .40", "500.00";
//             QOH 100000 at 0.1 -> "0000.00" and "00000", the last seven
//             and five characters of 10000.00 and 100000; QOS -3 -> "   -3".
// The work file that was there before keeps its bytes.
TEST(ItemExportRun, GoldenFileAndWorkFileUntouched) {
  test_support::TempDir dir;
  const std::string old_work = std::string(126, 'w') + "\r\n";
  test_support::write_file(dir / "OUTF21.DAT", old_work);
  ItemArea a = priced("X-A", 15000, 10000, 7, 2);
  report::set_text(a, item::LongName, "Hammer, claw 16 oz");
  report::set_text(a, item::Vendor, "TOOLCO");
  report::set_text(a, item::Alternate, "071234500012");
  set_i32(a, item::CycSold, 12);
  set_i32(a, item::YTDSold, 340);
  const auto r = csv_export_test::run_over_database(
      dir.path(), {a, priced("X-B", 2000, 2500, 40, 0), priced("X-C", 500, 100, 100000, -3)}, "15");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  const std::string file = test_support::read_file(dir / "KOROt15.csv");
  test_support::expect_golden(file, "reports/golden/rpt15_items.csv");
  EXPECT_NE(r.out.find(csv_export_test::record(file, 1) + "\n"), std::string::npos);
  EXPECT_EQ(test_support::read_file(dir / "OUTF21.DAT"), old_work);
}

}  // namespace
