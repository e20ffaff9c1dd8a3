// Report 2, the re-order quantity export, run as a process over a database.
// This file also defines the helpers the margin and item export tests use.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace csv_export_test {

// Builds the database STOCK (no control records) from `items` in `dir` and
// runs invreport there for `report` ("02", ...) with the run date 03-15-24.
test_support::ProcessResult run_over_database(const std::filesystem::path& dir,
                                              const std::vector<report::ItemArea>& items, const std::string& report) {
  {
    test_support::DbBuilder db(dir, "STOCK");
    for (const report::ItemArea& item : items) db.add(item);
  }
  return test_support::run_invreport({"-RPT", report, "-F", "STOCK", "-DT", "031524"}, dir);
}

// Record n (from 1) of a file of 128-byte records: its 126 text columns.
std::string record(const std::string& file, int n) {
  const std::size_t at = static_cast<std::size_t>(n - 1) * 128;
  return file.size() < at + 128 ? "<none>" : file.substr(at, 126);
}

// An item with a price and a cost in thousandths and its QOH and QOS.
report::ItemArea priced(std::string_view sku, std::int32_t price, std::int32_t cost, std::int32_t qoh,
                        std::int32_t qos) {
  report::ItemArea it = test_support::make_item(sku);
  report::set_i32(it, report::item::Price, price);
  report::set_i32(it, report::item::UntCost, cost);
  report::set_i32(it, report::item::QOH, qoh);
  report::set_i32(it, report::item::QOS, qos);
  return it;
}

}  // namespace csv_export_test

namespace {

using namespace csv_export_test;
using report::ItemArea;
using report::set_i32;
namespace item = report::item;

ItemArea stock_item(std::string_view sku, std::int32_t qoh, std::int32_t qoo, std::int32_t moq) {
  ItemArea it = test_support::make_item(sku);
  report::set_text(it, item::ShortName, "Bolt M6");
  report::set_text(it, item::Vendor, "FASTCO");
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

// Expected file rpt02_reorder.dat, checked column by column by hand:
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
  const auto r = run_over_database(dir.path(),
                                   {stock_item("R-A", 3, 0, 12), stock_item("R-B", 3, 12, 12),
                                    stock_item("R-C", 6, 0, 12), stock_item("R-D", 3, 0, 0), wide},
                                   "02");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  const std::string file = test_support::read_file(dir / "OUTF21.DAT");
  test_support::expect_golden(file, "reports/golden/rpt02_reorder.dat");
  // The items are records 2 to 6, so only the heading is echoed.
  EXPECT_NE(r.out.find(record(file, 1) + "\n"), std::string::npos);
  EXPECT_EQ(r.out.find("R-A"), std::string::npos);
}

TEST(ReorderExportRun, HeadingOnceAndItemsEchoedByRecordNumber) {
  test_support::TempDir dir;
  std::vector<ItemArea> items;
  for (int i = 0; i < 12; ++i) items.push_back(stock_item("A" + std::to_string(100 + i), i, 0, 0));
  const auto r = run_over_database(dir.path(), items, "02");
  const std::string file = test_support::read_file(dir / "OUTF21.DAT");
  ASSERT_EQ(file.size(), 13u * 128);
  EXPECT_EQ(record(file, 13).substr(0, 4), "A111");
  // Heading (record 1) and the tenth item (record 11), nothing else.
  EXPECT_EQ(r.out.substr(0, 2 * 127), record(file, 1) + "\n" + record(file, 11) + "\n");
  EXPECT_EQ(record(file, 11).substr(0, 4), "A109");
}

TEST(ReorderExportRun, FailedOpenWritesAndEchoesNothing) {
  test_support::TempDir dir;
  std::filesystem::create_directory(dir / "OUTF21.DAT");
  const auto r = run_over_database(dir.path(), {stock_item("A", 1, 0, 0)}, "02");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out.find("StockIndex"), std::string::npos);
}

}  // namespace
