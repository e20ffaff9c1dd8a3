// Inventory value listing (report 9): the figures, the two percentage
// columns side by side, the doubled line count and the totals.
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

using test_support::item_with;
using test_support::with_text;

ItemArea value_item(std::string_view index, int price, int cost, int on_hand) {
  return item_with(index, {{item::Price, price}, {item::UntCost, cost}, {item::QOH, on_hand}});
}

// Twelve items: records 9-20; the rule and the totals take records 21 and
// 22 and are not echoed, so the console shows record 11 alone.
TEST(InventoryValue, EchoesRecordElevenButNotTheClosingLines) {
  std::vector<ItemArea> items;
  for (int i = 1; i <= 12; ++i) items.push_back(value_item("I" + std::to_string(100 + i), 1000, 500, i));
  test_support::ReportRun run;
  run.run(make_inventory_value, items);
  const std::vector<std::string> records = run.records();
  ASSERT_EQ(records.size(), 22u);
  EXPECT_EQ(records[20], " " + std::string(131, '-') + "\r\n");
  EXPECT_EQ(run.console(), test_support::echoed(records[10]));
}

// rpt09_28_items, checked line by line against the listing's layout:
// records 1-8 the page header (title "---- Current VALUE of Inventory -----",
// heading texts at their columns), then
//   C001  15.00, 10.00, 60.00, 40.00, 5.00, 150.00, 33.33, 4
//   C002  nothing on hand: values and quantity blank; .50, 2.00 / 1.50 =
//         133.33, .50 / 2.00 = 25.00
//   C003  price and cost 0: only the quantity 3
//   C004  1.00 on 200.00: -199.00, .50 in columns 69-77 and -19900.00
//         filling columns 78-86
//   C005  -2 on hand: -2.00 and -1.00; .50, 200.00, 50.00
//   D00i  price 1 + .125 i, cost .60 + .05 i, 3 i on hand; the values are
//         the single-precision products, so that 1.125 x 3 = 3.375 prints
//         3.38 and .475 prints .48 (rounded by .00501)
// 27 lines fill page 1 (records 9-35); D023 follows the header of page 2
// (records 36-43) as record 44; then the rule and the totals of the sales
// values (2508.50) and of the purchase values (1384.40), summed in key order.
TEST(InventoryValueRun, TwentyEightItemsWithTotals) {
  auto named = [](ItemArea a, std::string_view short_name, std::string_view name, std::string_view vendor) {
    return with_text(a, {{item::ShortName, short_name}, {item::LongName, name}, {item::Vendor, vendor}});
  };
  std::vector<ItemArea> items = {
      named(value_item("C001", 15000, 10000, 4), "EXAMPLE", "PRICE 15.00 COST 10.00", "VENDORABCDEF"),
      named(value_item("C002", 2000, 1500, 0), "NO STOCK", "NOTHING ON HAND", "LOCAL"),
      named(value_item("C003", 0, 0, 3), "NO PRICES", "PRICE AND COST ZERO", "LOCAL"),
      named(value_item("C004", 1000, 200000, 1), "WIDE MARGIN", "COST FAR ABOVE PRICE", "LOCAL"),
      named(value_item("C005", 1000, 500, -2), "OVERSOLD", "NEGATIVE STOCK", "LOCAL"),
  };
  for (int i = 1; i <= 23; ++i) {
    char index[16], short_name[24], name[32];
    std::snprintf(index, sizeof index, "D%03d", i);
    std::snprintf(short_name, sizeof short_name, "ITEM %02d", i);
    std::snprintf(name, sizeof name, "ORDINARY ITEM %02d", i);
    items.push_back(named(value_item(index, 1000 + 125 * i, 600 + 50 * i, 3 * i), short_name, name, "SUPPLY-CO-9"));
  }
  test_support::expect_golden(run_in_westside("09", items), "reports/golden/rpt09_28_items.txt");
}

}  // namespace
}  // namespace report
