// Inventory value listing (report 9): the figures, the two percentage
// columns side by side, the doubled line count and the totals.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "reports/in_process_run.h"
#include "reports/reports.h"

namespace report_test {
namespace {

Listing run(const std::vector<ItemArea>& items) {
  return run_in_process(report::make_inventory_value, items);
}

ItemArea value_item(std::string_view index, int price, int cost, int on_hand) {
  return item_with(index, {{item::Price, price}, {item::UntCost, cost}, {item::QOH, on_hand}});
}

TEST(InventoryValue, FiguresAndPercentages) {
  ItemArea full = value_item("A1", 15000, 10000, 4);
  report::set_text(full, item::ShortName, "SHORT");
  report::set_text(full, item::LongName, "LONG NAME");
  report::set_text(full, item::Vendor, "VENDOR-ID-12");
  const Listing l = run({
      full,
      value_item("NOSTOCK", 2000, 1500, 0),
      value_item("ZERO", 0, 0, 3),
      value_item("NOPRICE", 0, 1000, 2),
      value_item("WIDE", 1000, 200000, 1),
  });
  ASSERT_EQ(l.records.size(), 8u + 5u + 2u);
  // 15.00 and 10.00 on 4 units: values 60.00 and 40.00, mark-up 5.00,
  // 150.00 % of cost, 33.33 % margin.  The stock index starts in column 1.
  EXPECT_EQ(cols(l.records[8], 1, 132),
            "A1           SHORT          15.00   10.00    60.00    40.00     5.00   150.00    33.33      4  "
            "LONG NAME                VENDOR-ID-12");
  // No stock: blank values and quantity, prices and percentages still shown.
  EXPECT_EQ(cols(l.records[9], 26, 93), "    2.00    1.50                        .50   133.33    25.00       ");
  EXPECT_EQ(cols(l.records[10], 26, 93), std::string(62, ' ') + "     3");
  // No price: the mark-up amount is 0 - 1.00 and both percentages are blank.
  EXPECT_EQ(cols(l.records[11], 26, 93), "            1.00              2.00    -1.00" + std::string(24, ' ') + "2");
  // A margin percentage that needs all nine columns leaves the mark-up
  // percentage's second decimal in place.
  EXPECT_EQ(cols(l.records[12], 60, 86), "  -199.00      .50-19900.00");
  EXPECT_EQ(l.echo, l.records[10].substr(0, 132) + "\n");
  // Totals: sales values 60 + 0 + 0 + 0 + 1, purchase values 40 + 0 + 0 + 2 + 200.
  EXPECT_EQ(cols(l.records[14], 40, 59), "     61.00    242.00");
}

TEST(InventoryValue, EveryLineCountsTwice) {
  std::vector<ItemArea> items;
  for (int i = 1; i <= 28; ++i) items.push_back(value_item("I" + std::to_string(100 + i), 1000, 500, i));
  const Listing l = run(items);
  // Page 1: header and 27 lines; page 2: header and the 28th; then the rule
  // and the totals without a page check.
  ASSERT_EQ(l.records.size(), 8u + 27u + 8u + 1u + 2u);
  EXPECT_EQ(l.records[0][0], '1');
  EXPECT_EQ(cols(l.records[34], 1, 4), "I127");
  EXPECT_EQ(l.records[35][0], '1');
  EXPECT_EQ(cols(l.records[39], 81, 88), "Page   2");
  EXPECT_EQ(cols(l.records[43], 1, 4), "I128");
  EXPECT_EQ(l.records[44], " " + std::string(131, '-') + "\r\n");
  // 1.00 x (1 + ... + 28) and 0.50 x the same.
  EXPECT_EQ(cols(l.records[45], 40, 59), "    406.00    203.00");
}

}  // namespace
}  // namespace report_test
