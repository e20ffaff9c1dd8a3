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

TEST(SalesByVendor, SlotsInOrderOfFirstAppearanceWithExactComparison) {
  InProcessRun run;
  std::vector<ItemArea> items;
  const std::vector<std::string> vendors = {"B01", "A07", "B01", "", "Other", "b01", " B01", "A07   ZZ"};
  for (std::size_t i = 0; i < vendors.size(); ++i) {
    ItemArea it = test_support::make_item("V" + std::to_string(i));
    report::set_text(it, item::Vendor, vendors[i]);
    report::set_i32(it, item::CycSalesAmt, 100 * static_cast<std::int32_t>(i + 1));
    items.push_back(it);
  }
  run.run(report::make_sales_by_vendor, items);

  const auto records = run.records();
  ASSERT_EQ(records.size(), 8u + 6u + 2u);
  EXPECT_EQ(cols(records[1], 50, 86), "----- Sales & VALUE  by  Vendor -----");
  // Slot, identifier, cycle sales: B01 holds items 1 and 3, A07 items 2 and
  // 8 (only the first 6 characters of Vendor count).
  EXPECT_EQ(cols_of(records, 9, 14, 1, 27),
            (std::vector<std::string>{"   1 Other             4.00", "   2 B01               4.00",
                                      "   3 A07              10.00", "   4 Other             5.00",
                                      "   5 b01               6.00", "   6  B01              7.00"}));
}

}  // namespace
