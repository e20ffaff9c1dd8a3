// The comma-separated exports -- the re-order export (2), the margin and
// value export (6) and the item export file (15) -- run as a process over a
// database without heading records, dated 03-15-24.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/report_harness.h"

namespace report {
namespace {

using test_support::echoed;
using test_support::kCsvRecord;
using test_support::ProgramRun;

// Builds the database STOCK (no control records) from `items` in `dir` and
// runs invreport there for `number` ("02", ...); `output` is the file read
// back.
ProgramRun run_export(const std::filesystem::path& dir, const std::vector<ItemArea>& items, std::string_view number,
                      std::string_view output = "OUTF21.DAT") {
  return test_support::run_report_program(dir, number, "031524", {.items = items}, output);
}

// Record n (from 1) of an export file, CR LF included.
std::string record(const std::string& file, std::size_t n) { return test_support::record_at(file, n, kCsvRecord); }

// An item with a price and a cost in thousandths and its QOH and QOS.
ItemArea priced(std::string_view sku, std::int32_t price, std::int32_t cost, std::int32_t qoh, std::int32_t qos) {
  return test_support::item_with(sku,
                                 {{item::Price, price}, {item::UntCost, cost}, {item::QOH, qoh}, {item::QOS, qos}});
}

// ---- report 2, the re-order quantity export ----

ItemArea stock_item(std::string_view sku, std::int32_t qoh, std::int32_t qoo, std::int32_t moq) {
  ItemArea it = test_support::make_item(sku);
  set_text(it, item::ShortName, "Bolt M6");
  set_text(it, item::Vendor, "FASTCO");
  set_i32(it, item::Price, 1500);
  set_i32(it, item::QOH, qoh);
  set_i32(it, item::QOO, qoo);
  set_i32(it, item::MOQ, moq);
  set_i32(it, item::ROP, 5);
  set_i32(it, item::POI, 3);
  set_i32(it, item::QOS, 1);
  set_i32(it, item::YTDPurchQty, 24);
  return it;
}

// Expected file rpt02_reorder.txt, checked column by column by hand:
//   record 1  the heading: the 13 names in cols 1-66, blanks to col 126.
//   Every item record: cols 1-12 StockIndex, 14-25 ShortName, 27-33 price
//   with 3 decimals, then QOH, QOO, MOQ, ROQ, ROP, POI, QOS, CPQ in five
//   columns each from col 35 on every sixth column, 83-94 Vendor, commas in
//   13, 26, 34, 40, 46, 52, 58, 64, 70, 76, 82 and 95-126, CR LF.
//   record 2  R-A: price 1.500 -> "  1.500"; QOH 3 <= ROP 5, QOO 0 < MOQ 12
//             -> ROQ "   12"; ROP 5, POI 3, QOS 1, CPQ 24.
//   record 3  R-B: as R-A with QOO 12 -> ROQ blank.
//   record 4  R-C: as R-A with QOH 6 -> ROQ blank.
//   record 5  R-D: as R-A with MOQ 0 -> MOQ and ROQ blank.
//   record 6  R-E: QOH 100000 -> "00000" (its last five characters); the
//             stored ROQ 50 is not shown, ROQ blank (QOH above ROP 0);
//             YTDPurchQty 70000 = 0x11170 -> CPQ its low half 0x1170 = 4464.
TEST(ReorderExportRun, GoldenFile) {
  test_support::TempDir dir;
  ItemArea wide = test_support::make_item("R-E");
  set_i32(wide, item::QOH, 100000);
  set_i32(wide, item::ROQ, 50);
  set_i32(wide, item::YTDPurchQty, 70000);
  const ProgramRun r = run_export(dir.path(),
                                  {stock_item("R-A", 3, 0, 12), stock_item("R-B", 3, 12, 12),
                                   stock_item("R-C", 6, 0, 12), stock_item("R-D", 3, 0, 0), wide},
                                  "02");
  test_support::expect_clean_exit(r);
  const std::string& file = r.output;
  test_support::expect_golden(file, "reports/golden/rpt02_reorder.txt");
  // The items are records 2 to 6, so only the heading is echoed.
  EXPECT_NE(r.console.find(echoed(record(file, 1))), std::string::npos);
  EXPECT_EQ(r.console.find("R-A"), std::string::npos);
}

TEST(ReorderExportRun, HeadingOnceAndItemsEchoedByRecordNumber) {
  test_support::TempDir dir;
  std::vector<ItemArea> items;
  for (int i = 0; i < 12; ++i) items.push_back(stock_item("A" + std::to_string(100 + i), i, 0, 0));
  const ProgramRun r = run_export(dir.path(), items, "02");
  const std::string& file = r.output;
  ASSERT_EQ(file.size(), 13 * kCsvRecord);
  EXPECT_EQ(record(file, 13).substr(0, 4), "A111");
  // Heading (record 1) and the tenth item (record 11), nothing else.
  EXPECT_EQ(r.console.substr(0, 2 * 127), echoed(record(file, 1)) + echoed(record(file, 11)));
  EXPECT_EQ(record(file, 11).substr(0, 4), "A109");
}

TEST(ReorderExportRun, FailedOpenWritesAndEchoesNothing) {
  test_support::TempDir dir;
  std::filesystem::create_directory(dir / "OUTF21.DAT");
  const ProgramRun r = run_export(dir.path(), {stock_item("A", 1, 0, 0)}, "02");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.console.find("StockIndex"), std::string::npos);
}

// ---- report 6, the margin and value export ----

// Expected file rpt06_margin.txt, checked column by column by hand:
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
  set_text(a, item::LongName, "Hammer, claw 16 oz");
  set_text(a, item::ShortName, "Hammer");
  set_text(a, item::Vendor, "TOOLCO");
  set_text(a, item::Alternate, "071234500012");
  const ProgramRun r = run_export(
      dir.path(),
      {a, priced("M-B", 2000, 2500, 40, 400), priced("M-C", 1250, 0, 3, -4), priced("M-D", 556892, 249677, 0, 0)},
      "06");
  test_support::expect_clean_exit(r);
  const std::string& file = r.output;
  test_support::expect_golden(file, "reports/golden/rpt06_margin.txt");
  EXPECT_NE(r.console.find(echoed(record(file, 1))), std::string::npos);
}

// ---- report 15, the item export file ----

// Expected file rpt15_items.txt, checked column by column by hand:
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
  set_text(a, item::LongName, "Hammer, claw 16 oz");
  set_text(a, item::Vendor, "TOOLCO");
  set_text(a, item::Alternate, "071234500012");
  set_i32(a, item::CycSold, 12);
  set_i32(a, item::YTDSold, 340);
  const ProgramRun r = run_export(
      dir.path(), {a, priced("X-B", 2000, 2500, 40, 0), priced("X-C", 500, 100, 100000, -3)}, "15", "KOROt15.csv");
  test_support::expect_clean_exit(r);
  const std::string& file = r.output;
  test_support::expect_golden(file, "reports/golden/rpt15_items.txt");
  EXPECT_NE(r.console.find(echoed(record(file, 1))), std::string::npos);
  EXPECT_EQ(test_support::read_file(dir / "OUTF21.DAT"), old_work);
}

}  // namespace
}  // namespace report
