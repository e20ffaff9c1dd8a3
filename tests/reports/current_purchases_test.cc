// Current purchases listing (report 11): selection, the mark-up and margin
// guards, the packaging columns and the closing lines written in every run.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "reports/in_process_run.h"
#include "reports/reports.h"

namespace report_test {
namespace {

Listing run(const std::vector<ItemArea>& items) {
  return run_in_process(report::make_current_purchases, items);
}

ItemArea purchase_item(std::string_view index, int cost, int price, int cyc_units, int cyc_cents, int ytd_units,
                       int ytd_cents) {
  return item_with(index, {{item::UntCost, cost}, {item::Price, price}, {item::CycPurchQty, cyc_units},
                           {item::CycPurchAmt, cyc_cents}, {item::YTDPurchQty, ytd_units},
                           {item::YTDPurchAmt, ytd_cents}});
}

TEST(CurrentPurchases, FiguresAndTheirZeroGuards) {
  ItemArea markup = purchase_item("MARKUP", 1000, 1500, 12, 1200, 36, 3900);
  report::set_text(markup, item::UnitDscp, "EACH");
  report::set_i32(markup, item::QOH, 7);
  ItemArea nocost = purchase_item("NOCOST", 0, 1500, 1, 0, 0, 500);
  report::set_i16(nocost, item::Field252, 12);
  report::set_i16(nocost, item::QtyPkg, 24);
  ItemArea noprice = purchase_item("NOPRICE", 1000, 0, 0, 250, 0, 0);
  report::set_i16(noprice, item::Field252, -5);
  report::set_i16(noprice, item::QtyPkg, -1);
  const Listing l = run({markup, nocost, purchase_item("NOTBOUGHT", 1000, 1500, 0, 0, 9, 900), noprice});
  ASSERT_EQ(l.records.size(), 8u + 3u + 2u);

  // 1.50 on a cost of 1.00: mark-up .50, 150.00 % of cost, 33.33 % margin;
  // year average cost 39.00 / 36.  Zero packaging values print "0".
  EXPECT_EQ(cols(l.records[8], 2, 13), "MARKUP      ");
  EXPECT_EQ(cols(l.records[8], 47, 92), "EAC   0   0   1.00   1.50    .50 150.00  33.33");
  EXPECT_EQ(cols(l.records[8], 93, 132), "    12   12.00    36   39.00   1.08    7");
  // No cost: everything but the price is blank; no year units, no average.
  EXPECT_EQ(cols(l.records[9], 47, 92), "     12  24          1.50                     ");
  EXPECT_EQ(cols(l.records[9], 93, 132), "     1                  5.00            ");
  // No price: 0 / 1.00 x 100 leaves the mark-up percent blank as well.
  EXPECT_EQ(cols(l.records[10], 47, 92), "     -5  -1   1.00                            ");
  EXPECT_EQ(cols(l.records[10], 93, 132), "          2.50" + std::string(26, ' '));

  EXPECT_EQ(l.records[11], " " + std::string(131, '-') + "\r\n");
  // Totals: cycle purchases 12.00 + 2.50, year purchases 39.00 + 5.00.
  EXPECT_EQ(cols(l.records[12], 1, 132), std::string(39, ' ') + "     14.50" + "     44.00" + std::string(73, ' '));
}

TEST(CurrentPurchases, NothingPurchasedStillWritesTheClosingLines) {
  const Listing l = run({purchase_item("NOTBOUGHT", 1000, 1500, 0, 0, 9, 900)});
  ASSERT_EQ(l.records.size(), 2u);
  EXPECT_EQ(l.records[0], " " + std::string(131, '-') + "\r\n");
  EXPECT_EQ(l.records[1], std::string(132, ' ') + "\r\n");
  EXPECT_TRUE(l.echo.empty());
}

}  // namespace
}  // namespace report_test
