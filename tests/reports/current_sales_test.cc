// Current sales listing (report 10): which items are listed, the figures
// with their cost replacements, and when the closing lines appear.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "reports/in_process_run.h"
#include "reports/reports.h"

namespace report_test {
namespace {

Listing run(const std::vector<ItemArea>& items) {
  return run_in_process(report::make_current_sales, items);
}

ItemArea sales_item(std::string_view index, int cyc_units, int cyc_cents, int ytd_units, int ytd_cents,
                    int unit_cost, int on_hand) {
  return item_with(index, {{item::CycSold, cyc_units}, {item::CycSalesAmt, cyc_cents}, {item::YTDSold, ytd_units},
                           {item::YTDSalesAmt, ytd_cents}, {item::UntCost, unit_cost}, {item::QOH, on_hand}});
}

TEST(CurrentSales, SelectsCycleActivityAndReplacesMissingCosts) {
  const Listing l = run({
      sales_item("ADJ", 0, 500, 10, 2400, 1000, 3),      // sales adjustment, no cycle units
      sales_item("NOCOST", 4, 1000, 10, 2400, 0, 2),     // no unit cost: 2.50 this cycle, 2.40 for the year
      sales_item("YTDONLY", 0, 0, 5, 1000, 1000, 9),     // no cycle activity: not listed
      sales_item("NEGQOH", 1, 300, 1, 300, 2000, -5),    // negative stock counts as none
  });
  ASSERT_EQ(l.records.size(), 8u + 3u + 2u);
  const std::string& adj = l.records[8];
  EXPECT_EQ(cols(adj, 2, 13), "ADJ         ");
  EXPECT_EQ(cols(adj, 47, 60), "          5.00");  // no units, 5.00 sold
  // Blank cycle price, so the cycle margin is 0 - 1.00; the year price 24.00 / 10.
  EXPECT_EQ(cols(adj, 76, 105), "        2.40  1.00 -1.00  1.40");
  EXPECT_EQ(cols(adj, 106, 132), "   7.20   3.00    4.20    3");

  // Without a unit cost the cycle price stands in: blank cycle margin,
  // year margin 2.40 - 2.50, stock valued at 2.50.
  const std::string& nocost = l.records[9];
  EXPECT_EQ(cols(nocost, 2, 13), "NOCOST      ");
  EXPECT_EQ(cols(nocost, 76, 105), "  2.50  2.40              -.10");
  EXPECT_EQ(cols(nocost, 106, 132), "   4.80   5.00    -.20    2");

  const std::string& neg = l.records[10];
  EXPECT_EQ(cols(neg, 2, 13), "NEGQOH      ");
  EXPECT_EQ(cols(neg, 94, 132), "  1.00  1.00                           ");

  // Record 11 is echoed with all its columns; the closing lines are not.
  EXPECT_EQ(l.echo, neg.substr(0, 132) + "\n");
  EXPECT_EQ(l.records[11], " " + std::string(131, '-') + "\r\n");
  // Totals: cycle sales 5 + 10 + 3, year-to-date sales 24 + 24 + 3.
  EXPECT_EQ(cols(l.records[12], 1, 132), std::string(39, ' ') + "     18.00" + "     51.00" + std::string(73, ' '));
}

TEST(CurrentSales, NothingSelectedWritesNothing) {
  const Listing l = run({sales_item("YTDONLY", 0, 0, 5, 1000, 1000, 9)});
  EXPECT_TRUE(l.records.empty());
  EXPECT_TRUE(l.echo.empty());
}

TEST(CurrentSales, ReturnsAreListedWithTheirSigns) {
  const Listing l = run({sales_item("RETURN", -2, -500, 3, 750, 1000, 0)});
  ASSERT_EQ(l.records.size(), 11u);
  // -5.00 / -2 gives a cycle price of 2.50.
  EXPECT_EQ(cols(l.records[8], 47, 93), "    -2   -5.00      3    7.50  2.50  2.50  1.00");
  EXPECT_EQ(cols(l.records[10], 40, 59), "     -5.00      7.50");
}

}  // namespace
}  // namespace report_test
