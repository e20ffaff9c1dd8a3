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

ItemArea department_item(std::string_view index, std::int16_t dept, std::string_view name) {
  ItemArea it = test_support::make_item(index);
  report::set_i16(it, item::Dept, dept);
  report::set_text(it, item::LongName, name);
  return it;
}

TEST(SalesByDepartment, GroupsLabelsAndFigures) {
  InProcessRun run;
  std::vector<ItemArea> items = {
      department_item("A1", 5, "APPLES"), department_item("A2", 0, "ZERO"),
      department_item("A3", 1000, "THOUSAND"), department_item("A4", 5, "PEARS"),
      department_item("A5", -3, "NEGATIVE"), department_item("A6", 7, "ABCDEFGHIJKLMNOPQRSTUVWX")};
  // Department 5: 5.00 sold as 2 units, an average of 2.50; no unit cost.
  report::set_i32(items[0], item::YTDSalesAmt, 300);
  report::set_i32(items[0], item::YTDSold, 1);
  report::set_i32(items[3], item::YTDSalesAmt, 200);
  report::set_i32(items[3], item::YTDSold, 1);
  // Department 7: no unit cost (cost of sales 60 % of the sales, no cost
  // value), no units sold (no average), 4 short at 2.50 each.
  ItemArea& d7 = items[5];
  report::set_i32(d7, item::CycSalesAmt, 20000);
  report::set_i32(d7, item::YTDSalesAmt, 1000);
  report::set_i32(d7, item::YTDPurchQty, 6);
  report::set_i32(d7, item::Price, 2500);
  report::set_i32(d7, item::QOH, -4);
  run.run(report::make_sales_by_department, items);

  const auto records = run.records();
  ASSERT_EQ(records.size(), 8u + 4u + 2u);
  EXPECT_EQ(cols(records[5], 89, 132), "   Sold  Purc    YTD     Retail Cost     YTD");
  EXPECT_EQ(cols_of(records, 9, 12, 1, 19),
            (std::vector<std::string>{"   5 PEARS         ", "   7 ABCDEFGHIJKLMN", " 998 NEGATIVE      ",
                                      " 999 THOUSAND      "}));
  EXPECT_EQ(cols(records[8], 58, 108), "    5.00    3.00    2.00   40.0      2         2.50");
  EXPECT_EQ(cols(records[9], 20, 51), "  200.00  120.00   80.00    40.0");
  EXPECT_EQ(cols(records[9], 58, 132),
            "   10.00    6.00    4.00   40.0            6          -10.00             -4");
  // Totals: no units or average price; the rest summed over the departments.
  const std::string& totals = records[13];
  EXPECT_EQ(cols(totals, 1, 19), std::string(19, ' '));
  EXPECT_EQ(cols(totals, 58, 88), "   15.00    9.00    6.00   40.0");
  EXPECT_EQ(cols(totals, 89, 132), std::string(20, ' ') + "   -10.00             -4");
}

}  // namespace
