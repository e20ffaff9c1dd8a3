#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reports/reports.h"
#include "reports/sample_stores.h"
#include "support/report_harness.h"

namespace report {
namespace {

using test_support::cols;
using test_support::cols_of;
using test_support::ReportRun;

ItemArea category_item(std::string_view index, std::int16_t cat, const Figures& f = {}) {
  ItemArea it = sales_item(index, f);
  set_i16(it, item::Cat, cat);
  return it;
}

// One item in each of the categories first..last.
std::vector<ItemArea> one_item_per_category(int first, int last) {
  std::vector<ItemArea> items;
  for (int c = first; c <= last; ++c) {
    items.push_back(category_item("C" + std::to_string(100 + c), static_cast<std::int16_t>(c), {.cyc_sales = 100 * c}));
  }
  return items;
}

TEST(SalesByCategory, NamesFileLinesAndOverwriteRules) {
  ReportRun run;
  const std::string long_line = "DPT 15,Long," + std::string(200, 'x');
  test_support::write_file(run.path("StoreSales.csv"),
                           "Category,Name\r\n"                   // no DPT before the comma
                           "DPT 01,Produce,rest is ignored\r\n"  // comma at 7: the least allowed
                           " DPT  3,Three,\r"                    // lone CR; number " 3"
                           "DPT 04,ABCDEFGHIJKLMNO,\n"           // lone LF; 15 characters
                           "DPT 05,Earlier,\n"
                           "DPT 05,Nineteen chars 19xy,\n"  // 19 characters blank the name
                           "DPT 06,Frozen Dinners,\r\n"
                           "DPT 06,Dairy,\r\n"  // shorter later name keeps the tail
                           "DPT 07,Bakery,\r\n"
                           "DPT 07,,empty name\r\n"  // empty field: no change
                           "DPT 07,No second comma\r\n"
                           "DPT09,Wrong,\r\n"                          // first comma at 6
                           "                        DPT 10,Late,\r\n"  // first comma at 31
                           "                       DPT 11,Edge,\r\n"   // first comma at 30
                           "Dept 12,Meat,\r\n"
                           "xxDPT-13,Sixteen chars 16,\r\n"  // p-3 not examined
                           "DPT 14,Eighteen chars 18x,\r\n" +
                               long_line +
                               "\r\n"
                               "DPT 00,Zero,\r\n"
                               "DPT 16,Never used,\r\n"
                               "DPT 99,Misc,");  // last line, no line end
  std::vector<ItemArea> items;
  for (int c : {1, 3, 4, 5, 6, 7, 9, 10, 11, 12, 13, 14, 15, 150})
    items.push_back(category_item("N" + std::to_string(c), static_cast<std::int16_t>(c)));
  run.run(make_sales_by_category, items);

  const auto records = run.records();
  ASSERT_EQ(records.size(), 8u + 14u + 2u);
  const std::vector<std::string> expected = {
      "  1 Produce        ", "  3 Three          ", "  4 ABCDEFGHIJKLMNO", "  5                ", "  6 Dairyn Dinners ",
      "  7 Bakery         ", "  9                ", " 10                ", " 11 Edge           ", " 12                ",
      " 13 Sixteen chars 1", " 14 Eighteen chars ", " 15 Long           ", " 99 Misc           "};
  EXPECT_EQ(cols_of(records, 9, 22, 1, 19), expected);
}

TEST(SalesByCategory, SumsAreSinglePrecisionAndTermsFollowTheFormulas) {
  ReportRun run;
  // 16777216 + 1 cents stays 16777216 in single precision.
  const ItemArea a = category_item("A", 1, {.cyc_purchases = 16777216});
  const ItemArea b = category_item("B", 1, {.cyc_purchases = 1});
  // 300.00 sold as 3 units at a cost of 40.00 and 120.00 bought as 4 units,
  // 5 on hand: retail value 300 / 3 x 5 = 500.00, cost value 12000 / 4 x 5 =
  // 15000 cents.
  const ItemArea c = category_item(
      "C", 2,
      {.ytd_sales = 30000, .unit_cost = 40000, .ytd_sold = 3, .on_hand = 5, .ytd_bought = 4, .ytd_purchases = 12000});
  // 1.00 of cycle sales at a cost of 3 x 0.50: a negative margin.
  const ItemArea d = category_item("D", 3, {.cyc_sales = 100, .unit_cost = 500, .cyc_sold = 3});
  run.run(make_sales_by_category, std::vector{a, b, c, d});

  const auto records = run.records();
  ASSERT_EQ(records.size(), 8u + 3u + 2u);
  EXPECT_EQ(cols(records[8], 92, 100), "167772.16");
  EXPECT_EQ(cols(records[9], 58, 88), "  300.00  120.00  180.00   60.0");
  EXPECT_EQ(cols(records[9], 101, 132), "  120.00   500.00   150.00     5");
  EXPECT_EQ(cols(records[10], 20, 51), "    1.00    1.50    -.50   -50.0");
  // Totals: 16777216 + 15000 cents of purchases over all categories.
  EXPECT_EQ(cols(records[12], 1, 19), std::string(19, ' '));
  EXPECT_EQ(cols(records[12], 92, 132), "167772.16  120.00   500.00   150.00     5");
}

TEST(SalesByCategory, SecondPageRuleAndTotalsAreNeitherCountedNorEchoed) {
  ReportRun run;
  run.run(make_sales_by_category, one_item_per_category(1, 55));
  auto records = run.records();
  ASSERT_EQ(records.size(), 62u + 8u + 1u + 2u);
  EXPECT_EQ(records[62][0], '1');  // page 2 starts before the 55th category
  EXPECT_EQ(cols(records[66], 81, 88), "Page   2");

  // A second run over fewer categories replaces the first one entirely.  Its
  // rule line is record 61, which the echo rule would otherwise pick.
  ReportRun second;
  std::filesystem::copy_file(run.path("OUTF21.DAT"), second.path("OUTF21.DAT"));
  second.run(make_sales_by_category, one_item_per_category(1, 52));
  records = second.records();
  ASSERT_EQ(records.size(), 62u);
  EXPECT_EQ(records[60], " " + std::string(131, '-') + "\r\n");
  EXPECT_EQ(cols(records[61], 20, 27), " 1378.00");  // 1.00 + 2.00 + ... + 52.00
  std::string echoed;
  for (int n : {11, 21, 31, 41, 51}) echoed += test_support::echoed(records[n - 1]);
  EXPECT_EQ(second.console(), echoed);
}

TEST(SalesByCategory, UnopenableWorkFileWritesNothing) {
  ReportRun run;
  std::filesystem::create_directory(run.path("OUTF21.DAT"));
  run.run(make_sales_by_category, one_item_per_category(1, 12));
  EXPECT_TRUE(run.ctx.output_failed);
  EXPECT_NE(run.diagnostics(), "");
  EXPECT_EQ(run.console(), "");
}

// ---- the report run as a process over a database ----

// Page 1 holds all 54 category lines, then the rule and the totals (records
// 63 and 64).  Expected lines, checked by hand:
//  header: record 1 "1" + left line 1, the spaced banner at 50, right line 1
//    at 109; record 2 the title at 50-86; record 3 "MARCH     24" at 62-73;
//    record 5 "Page" + "   1" at 81-88, "OUTF21.D" at 92-99, "Run 03-15-24"
//    at 101-112; records 6-7 the column heads; record 8 a blank and 131 "-".
//  1 Produce: no unit cost, 200.00 sold: cost 0.6 x 200 = 120.00, margin
//    80.00, 80 / 200 = 40.0 %.
//  2 Health & Beauty (15 characters, all shown): 10.00 sold, 4 x 1.50 =
//    6.00 cost, 4.00, 40.0; YTD 50.00, 10 x 1.50 = 15.00, 35.00, 70.0;
//    purchases 12.34 and 24.00; QOH -7: retail 50 / 10 x -7 = -35.00, cost
//    value 2400 / 12 x -7 = -1400 cents = -14.00.
//  3 "Frozen Foods Ic" (16 characters, 15 shown), 4 "Household Suppl"
//    (18, 15 shown), 5 blank (19 characters blank the name), 6 "Dairyn
//    Dinners" (Dairy over Frozen Dinners), 7 blank (first comma at 6), 8 blank
//    (first comma at 31), 9-52 unnamed: each 1.00 sold without unit cost,
//    .60, .40, 40.0.
//  98 "No Category": Cat 0, -5 and 98, each 1.00 at 1 x 0.50: 3.00 1.50 1.50
//    50.0.  99 "Other Numbers": Cat 150, 2.50 without cost: 2.50 1.50 1.00 40.0.
//  60 is named but has no item and is not listed.
//  Totals: 200 + 10 + 50 x 1 + 3 + 2.50 = 265.50 sold; 120 + 6 + 50 x .60 +
//    1.50 + 1.50 = 159.00 cost; 106.50; 106.5 / 265.5 = 40.1 %; YTD and stock
//    figures as category 2's.
TEST(SalesByCategory, ListingOverADatabase) {
  test_support::TempDir dir;
  test_support::write_file(dir / "StoreSales.csv",
                           "Dept,Name,Sales\r\n"
                           "DPT 01,Produce,1200.00\r\n"
                           "DPT 02,Health & Beauty,\r"
                           "DPT 03,Frozen Foods Ice,\r\n"
                           "DPT 04,Household Supplies,\r\n"
                           "DPT 05,Seasonal Decorating,\r\n"
                           "DPT 06,Frozen Dinners,\r\n"
                           "DPT 06,Dairy,\r\n"
                           "DPT07,Bakery,\r\n"
                           "                        DPT 08,Deli,\r\n"
                           "DPT 60,Unused,\r\n"
                           "DPT 98,No Category,\r\n"
                           "DPT 99,Other Numbers,\r\n");
  std::vector<ItemArea> items;
  auto add = [&](std::string_view index, std::int16_t cat, const Figures& f) {
    items.push_back(category_item(index, cat, f));
  };
  add("P001", 1, {.cyc_sales = 20000});
  add("P002", 2,
      {.cyc_sales = 1000,
       .ytd_sales = 5000,
       .unit_cost = 1500,
       .cyc_sold = 4,
       .ytd_sold = 10,
       .on_hand = -7,
       .ytd_bought = 12,
       .cyc_purchases = 1234,
       .ytd_purchases = 2400});
  for (int c = 3; c <= 52; ++c) add("P" + std::to_string(100 + c), static_cast<std::int16_t>(c), {.cyc_sales = 100});
  for (std::int16_t cat : {0, -5, 98}) {
    add("Q" + std::to_string(cat), cat, {.cyc_sales = 100, .unit_cost = 500, .cyc_sold = 1});
  }
  add("R150", 150, {.cyc_sales = 250});
  test_support::expect_golden(run_in_sample_store(dir, "12", "STOCK", items), "reports/golden/rpt12_categories.txt");

  // A second run over another database, with a names file whose lines end
  // in LF alone, leaves only its own 12 records: 1 Fruit 1.00 .60 .40 40.0,
  // 2 Vegetables 3.00 at 2 x 1.00: 2.00 1.00 33.3, totals 4.00 2.60 1.40 35.0.
  test_support::write_file(dir / "StoreSales.csv", "DPT 01,Fruit,\nDPT 02,Vegetables,\n");
  items.clear();
  add("S1", 1, {.cyc_sales = 100});
  add("S2", 2, {.cyc_sales = 300, .unit_cost = 1000, .cyc_sold = 2});
  test_support::expect_golden(run_in_sample_store(dir, "12", "SMALL", items), "reports/golden/rpt12_second_run.txt");
}

}  // namespace
}  // namespace report
