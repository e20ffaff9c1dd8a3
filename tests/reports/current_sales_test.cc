// Current sales listing (report 10): which items are listed, the figures
// with their cost replacements, and when the closing lines appear.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "reports/reports.h"
#include "reports/sample_stores.h"
#include "support/report_harness.h"

namespace report {
namespace {

using test_support::cols;
using test_support::item_with;
using test_support::with_text;

ItemArea sales_item(std::string_view index, int cyc_units, int cyc_cents, int ytd_units, int ytd_cents, int unit_cost,
                    int on_hand) {
  return item_with(index, {{item::CycSold, cyc_units},
                           {item::CycSalesAmt, cyc_cents},
                           {item::YTDSold, ytd_units},
                           {item::YTDSalesAmt, ytd_cents},
                           {item::UntCost, unit_cost},
                           {item::QOH, on_hand}});
}

TEST(CurrentSales, NothingSelectedWritesNothing) {
  test_support::ReportRun run;
  run.run(make_current_sales, {sales_item("YTDONLY", 0, 0, 5, 1000, 1000, 9)});
  EXPECT_TRUE(run.records().empty());
  EXPECT_EQ(run.console(), "");
}

TEST(CurrentSales, ReturnsAreListedWithTheirSigns) {
  test_support::ReportRun run;
  run.run(make_current_sales, {sales_item("RETURN", -2, -500, 3, 750, 1000, 0)});
  const std::vector<std::string> records = run.records();
  ASSERT_EQ(records.size(), 11u);
  // -5.00 / -2 gives a cycle price of 2.50.
  EXPECT_EQ(cols(records[8], 47, 93), "    -2   -5.00      3    7.50  2.50  2.50  1.00");
  EXPECT_EQ(cols(records[10], 40, 59), "     -5.00      7.50");
}

// The sales store of the expected files: A001-A005 need the selection rule
// or a cost replacement (A003 has no cycle activity and is not listed),
// B001.. are ordinary items: i units for 1.99 each in the cycle, 3i units
// for 6.50 i in the year, unit cost 1.50, i on hand.
std::vector<ItemArea> sales_store(int ordinary) {
  auto named = [](ItemArea a, std::string_view name, std::string_view vendor) {
    return with_text(a, {{item::LongName, name}, {item::Vendor, vendor}});
  };
  std::vector<ItemArea> items = {
      named(sales_item("A001", 0, 500, 10, 2400, 1000, 3), "SALES ADJUSTMENT", "VENDORABCDEF"),
      named(sales_item("A002", 4, 1000, 10, 2400, 0, 2), "NO UNIT COST", "LOCAL"),
      named(sales_item("A003", 0, 0, 5, 1000, 1000, 9), "NO CYCLE SALES", "LOCAL"),
      named(sales_item("A004", 0, 300, 4, 1000, 0, 5), "NO COST, NO CYCLE UNITS", "LOCAL"),
      named(sales_item("A005", 2, 700, 6, 2100, 2000, -4), "NEGATIVE STOCK", "LOCAL"),
  };
  for (int i = 1; i <= ordinary; ++i) {
    char index[8], name[24];
    std::snprintf(index, sizeof index, "B%03d", i);
    std::snprintf(name, sizeof name, "ORDINARY ITEM %02d", i);
    items.push_back(named(sales_item(index, i, 199 * i, 3 * i, 650 * i, 1500, i), name, "SUPPLY-CO-9"));
  }
  return items;
}

// Expected files, checked line by line against the listing's layout:
// records 1-8 the page header (title "------ Current Sales & VALUE  -------",
// the two heading lines with "$Vlaue" as the listing spells it), then
//   A001  blank units, 5.00 sold; blank cycle price, year price 24.00 / 10 =
//         2.40, cost 1.00, cycle margin 0 - 1.00 = -1.00, year margin 1.40;
//         3 on hand: 7.20, 3.00, 4.20
//   A002  10.00 / 4 = 2.50, 2.40; cost blank, cycle margin blank, year margin
//         2.40 - 2.50 = -.10; 2 on hand valued at 2.50: 4.80, 5.00, -.20
//   A004  no cycle price and no cost: the year price 2.50 is the cost, both
//         margins and the margin value blank; 5 on hand: 12.50, 12.50
//   A005  3.50, 3.50, 2.00, margins 1.50; -4 on hand: stock and values blank
//   B00i  1.99 i, 6.50 i, prices 1.99 and 6.50 / 3 = 2.17, margins .49 and
//         .67; i on hand: 2.1666667 i, 1.50 i and their difference
// 27 listed items fill page 1 (records 9-35); a 28th starts page 2 (header
// records 36-43 with "Page   2", the item as record 44).  Then the rule and
// the totals: cycle sales 5 + 10 + 3 + 7 + 1.99 x (1 + ... + n) and year
// sales 24 + 24 + 10 + 21 + 6.50 x (1 + ... + n): 622.00 and 2029.00 for 24
// ordinary items, 574.24 and 1873.00 for 23.
TEST(CurrentSalesRun, TwentySevenItemsFillOnePage) {
  test_support::expect_golden(run_in_westside("10", sales_store(23)), "reports/golden/rpt10_27_items.txt");
}

TEST(CurrentSalesRun, TheTwentyEighthItemStartsAPage) {
  test_support::expect_golden(run_in_westside("10", sales_store(24)), "reports/golden/rpt10_28_items.txt");
}

}  // namespace
}  // namespace report
