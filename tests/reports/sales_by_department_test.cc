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

ItemArea department_item(std::string_view index, std::int16_t dept, std::string_view name, const Figures& f = {}) {
  ItemArea it = sales_item(index, f);
  set_i16(it, item::Dept, dept);
  set_text(it, item::LongName, name);
  return it;
}

TEST(SalesByDepartment, GroupsLabelsAndFigures) {
  ReportRun run;
  const std::vector<ItemArea> items = {
      // Department 5: 5.00 sold as 2 units, an average of 2.50; no unit cost.
      department_item("A1", 5, "APPLES", {.ytd_sales = 300, .ytd_sold = 1}), department_item("A2", 0, "ZERO"),
      department_item("A3", 1000, "THOUSAND"), department_item("A4", 5, "PEARS", {.ytd_sales = 200, .ytd_sold = 1}),
      department_item("A5", -3, "NEGATIVE"),
      // Department 7: no unit cost (cost of sales 60 % of the sales, no cost
      // value), no units sold (no average), 4 short at 2.50 each.
      department_item("A6", 7, "ABCDEFGHIJKLMNOPQRSTUVWX",
                      {.cyc_sales = 20000, .ytd_sales = 1000, .price = 2500, .on_hand = -4, .ytd_bought = 6})};
  run.run(make_sales_by_department, items);

  const auto records = run.records();
  ASSERT_EQ(records.size(), 8u + 4u + 2u);
  EXPECT_EQ(cols(records[5], 89, 132), "   Sold  Purc    YTD     Retail Cost     YTD");
  EXPECT_EQ(cols_of(records, 9, 12, 1, 19), (std::vector<std::string>{"   5 PEARS         ", "   7 ABCDEFGHIJKLMN",
                                                                      " 998 NEGATIVE      ", " 999 THOUSAND      "}));
  EXPECT_EQ(cols(records[8], 58, 108), "    5.00    3.00    2.00   40.0      2         2.50");
  EXPECT_EQ(cols(records[9], 20, 51), "  200.00  120.00   80.00    40.0");
  EXPECT_EQ(cols(records[9], 58, 132), "   10.00    6.00    4.00   40.0            6          -10.00             -4");
  // Totals: no units or average price; the rest summed over the departments.
  const std::string& totals = records[13];
  EXPECT_EQ(cols(totals, 1, 19), std::string(19, ' '));
  EXPECT_EQ(cols(totals, 58, 88), "   15.00    9.00    6.00   40.0");
  EXPECT_EQ(cols(totals, 89, 132), std::string(20, ' ') + "   -10.00             -4");
}

// Expected lines of the listing, checked by hand (header as in the category
// listing, with this report's title and column heads):
//    5 PEARS (APPLES then PEARS fell into it): 10.00 + 5.00 = 15.00 sold;
//      10 x .40 + .6 x 5.00 = 7.00 cost; 8.00; 53.3.  YTD 35.00; 30 x .40 +
//      .6 x 5.00 = 15.00; 20.00; 57.1.  30 sold, 50 bought, 35 / 30 = 1.17
//      each; retail 1.00 x 20 + 2.00 x -5 = 10.00; cost .40 x 20 = 8.00; QOH
//      20 - 5 = 15.
//    7 NO COST ITEM: 200.00, 120.00, 80.00, 40.0; YTD 150.00, 90.00, 60.00,
//      40.0; no units sold: blank average; no price, cost or stock: blanks.
//  998 MINUS DEPT (Dept 0, then -2 in key order): 2 x 1.00 sold at 2 x .25:
//      2.00 1.00 1.00 50.0; retail 2 x 1.50 x 3 = 9.00, cost 2 x .25 x 3 =
//      1.50, QOH 6.
//  999 BIG DEPT NUMBE (Dept 1000; 14 characters show): YTD 10.00, 6.00, 4.00,
//      40.0; 4 sold at 2.50.
//  Totals: 217.00 128.00 89.00 41.0; 195.00 111.00 84.00 43.1; units and
//      average blank; 19.00 9.50 21.
TEST(SalesByDepartment, ListingOverADatabase) {
  test_support::TempDir dir;
  const std::vector<ItemArea> items = {
      department_item("D001", 5, "APPLES",
                      {.cyc_sales = 1000,
                       .ytd_sales = 3000,
                       .unit_cost = 400,
                       .price = 1000,
                       .cyc_sold = 10,
                       .ytd_sold = 30,
                       .on_hand = 20,
                       .ytd_bought = 50}),
      department_item("D002", 5, "PEARS", {.cyc_sales = 500, .ytd_sales = 500, .price = 2000, .on_hand = -5}),
      department_item("D003", 0, "ZERO DEPT",
                      {.cyc_sales = 100, .unit_cost = 250, .price = 1500, .cyc_sold = 2, .on_hand = 3}),
      department_item("D004", -2, "MINUS DEPT",
                      {.cyc_sales = 100, .unit_cost = 250, .price = 1500, .cyc_sold = 2, .on_hand = 3}),
      department_item("D005", 1000, "BIG DEPT NUMBER LONG", {.ytd_sales = 1000, .ytd_sold = 4}),
      department_item("D006", 7, "NO COST ITEM", {.cyc_sales = 20000, .ytd_sales = 15000})};
  test_support::expect_golden(run_in_sample_store(dir, "13", "STOCK", items), "reports/golden/rpt13_departments.txt");
}

}  // namespace
}  // namespace report
