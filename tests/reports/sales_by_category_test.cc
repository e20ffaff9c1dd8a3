#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reports/reports.h"
#include "reports/sales_by_harness.h"
#include "support/test_support.h"

namespace {

using report::ItemArea;
using namespace sales_by_harness;
namespace item = report::item;

ItemArea category_item(std::string_view index, std::int16_t cat) {
  ItemArea it = test_support::make_item(index);
  report::set_i16(it, item::Cat, cat);
  return it;
}

// One item in each of the categories first..last.
std::vector<ItemArea> one_item_per_category(int first, int last) {
  std::vector<ItemArea> items;
  for (int c = first; c <= last; ++c) {
    ItemArea it = category_item("C" + std::to_string(100 + c), static_cast<std::int16_t>(c));
    report::set_i32(it, item::CycSalesAmt, 100 * c);
    items.push_back(it);
  }
  return items;
}

TEST(SalesByCategory, NamesFileLinesAndOverwriteRules) {
  InProcessRun run;
  const std::string long_line = "DPT 15,Long," + std::string(200, 'x');
  test_support::write_file(run.path("StoreSales.csv"),
                           "Category,Name\r\n"                          // no DPT before the comma
                           "DPT 01,Produce,rest is ignored\r\n"         // comma at 7: the least allowed
                           " DPT  3,Three,\r"                           // lone CR; number " 3"
                           "DPT 04,ABCDEFGHIJKLMNO,\n"                  // lone LF; 15 characters
                           "DPT 05,Earlier,\n"
                           "DPT 05,Nineteen chars 19xy,\n"              // 19 characters blank the name
                           "DPT 06,Frozen Dinners,\r\n"
                           "DPT 06,Dairy,\r\n"                          // shorter later name keeps the tail
                           "DPT 07,Bakery,\r\n"
                           "DPT 07,,empty name\r\n"                     // empty field: no change
                           "DPT 07,No second comma\r\n"
                           "DPT09,Wrong,\r\n"                           // first comma at 6
                           "                        DPT 10,Late,\r\n"   // first comma at 31
                           "                       DPT 11,Edge,\r\n"    // first comma at 30
                           "Dept 12,Meat,\r\n"
                           "xxDPT-13,Sixteen chars 16,\r\n"             // p-3 not examined
                           "DPT 14,Eighteen chars 18x,\r\n" +
                               long_line + "\r\n"
                           "DPT 00,Zero,\r\n"
                           "DPT 16,Never used,\r\n"
                           "DPT 99,Misc,");                             // last line, no line end
  std::vector<ItemArea> items;
  for (int c : {1, 3, 4, 5, 6, 7, 9, 10, 11, 12, 13, 14, 15, 150})
    items.push_back(category_item("N" + std::to_string(c), static_cast<std::int16_t>(c)));
  run.run(report::make_sales_by_category, items);

  const auto records = run.records();
  ASSERT_EQ(records.size(), 8u + 14u + 2u);
  const std::vector<std::string> expected = {
      "  1 Produce        ", "  3 Three          ", "  4 ABCDEFGHIJKLMNO", "  5                ",
      "  6 Dairyn Dinners ", "  7 Bakery         ", "  9                ", " 10                ",
      " 11 Edge           ", " 12                ", " 13 Sixteen chars 1", " 14 Eighteen chars ",
      " 15 Long           ", " 99 Misc           "};
  EXPECT_EQ(cols_of(records, 9, 22, 1, 19), expected);
}

TEST(SalesByCategory, SumsAreSinglePrecisionAndTermsFollowTheFormulas) {
  InProcessRun run;
  // 16777216 + 1 cents stays 16777216 in single precision.
  ItemArea a = category_item("A", 1);
  report::set_i32(a, item::CycPurchAmt, 16777216);
  ItemArea b = category_item("B", 1);
  report::set_i32(b, item::CycPurchAmt, 1);
  // 300.00 sold as 3 units and 120.00 bought as 4 units, 5 on hand: retail
  // value 300 / 3 x 5 = 500.00, cost value 12000 / 4 x 5 = 15000 cents.
  ItemArea c = category_item("C", 2);
  report::set_i32(c, item::YTDSalesAmt, 30000);
  report::set_i32(c, item::YTDSold, 3);
  report::set_i32(c, item::YTDPurchAmt, 12000);
  report::set_i32(c, item::YTDPurchQty, 4);
  report::set_i32(c, item::QOH, 5);
  report::set_i32(c, item::UntCost, 40000);  // 40.00 x 3 units of cost
  // 1.00 of cycle sales at a cost of 3 x 0.50: a negative margin.
  ItemArea d = category_item("D", 3);
  report::set_i32(d, item::CycSalesAmt, 100);
  report::set_i32(d, item::CycSold, 3);
  report::set_i32(d, item::UntCost, 500);
  run.run(report::make_sales_by_category, std::vector{a, b, c, d});

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
  InProcessRun run;
  run.run(report::make_sales_by_category, one_item_per_category(1, 55));
  auto records = run.records();
  ASSERT_EQ(records.size(), 62u + 8u + 1u + 2u);
  EXPECT_EQ(records[62][0], '1');  // page 2 starts before the 55th category
  EXPECT_EQ(cols(records[66], 81, 88), "Page   2");

  // A second run over fewer categories replaces the first one entirely.  Its
  // rule line is record 61, which the echo rule would otherwise pick.
  InProcessRun second;
  std::filesystem::copy_file(run.path("OUTF21.DAT"), second.path("OUTF21.DAT"));
  second.run(report::make_sales_by_category, one_item_per_category(1, 52));
  records = second.records();
  ASSERT_EQ(records.size(), 62u);
  EXPECT_EQ(records[60], " " + std::string(131, '-'));
  EXPECT_EQ(cols(records[61], 20, 27), " 1378.00");  // 1.00 + 2.00 + ... + 52.00
  std::string echoed;
  for (int n : {11, 21, 31, 41, 51}) echoed += records[n - 1] + "\n";
  EXPECT_EQ(second.console(), echoed);
}

TEST(SalesByCategory, UnopenableWorkFileWritesNothing) {
  InProcessRun run;
  std::filesystem::create_directory(run.path("OUTF21.DAT"));
  run.run(report::make_sales_by_category, one_item_per_category(1, 12));
  EXPECT_TRUE(run.ctx.output_failed);
  EXPECT_NE(run.diagnostics(), "");
  EXPECT_EQ(run.console(), "");
}

}  // namespace
