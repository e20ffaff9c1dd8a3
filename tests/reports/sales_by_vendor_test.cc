#include <gtest/gtest.h>

#include <cstdio>
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

ItemArea vendor_item(std::string_view index, std::string_view vendor, const Figures& f) {
  ItemArea it = sales_item(index, f);
  set_text(it, item::Vendor, vendor);
  return it;
}

TEST(SalesByVendor, SlotsInOrderOfFirstAppearanceWithExactComparison) {
  ReportRun run;
  std::vector<ItemArea> items;
  const std::vector<std::string> vendors = {"B01", "A07", "B01", "", "Other", "b01", " B01", "A07   ZZ"};
  for (std::size_t i = 0; i < vendors.size(); ++i)
    items.push_back(vendor_item("V" + std::to_string(i), vendors[i], {.cyc_sales = 100 * static_cast<int>(i + 1)}));
  run.run(make_sales_by_vendor, items);

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

// Expected lines, checked by hand (header with this report's title):
//    1 Other (the blank vendor): 3.00 without cost: 1.80, 1.20, 40.0.
//    2 B01 (items 1 and 3): 10.00 + 5.00 = 15.00; 8 x .50 + 2 x .50 = 5.00;
//      10.00; 66.7.  YTD 15.00 + 4.50 = 19.50; 15 x .50 = 7.50; 12.00; 61.5.
//      15 sold, 20 bought, 19.50 / 15 = 1.30; retail 1.25 x (10 - 2) =
//      10.00; cost .50 x 8 = 4.00; QOH 8.
//    3 A07: 200.00 without cost: 120.00 80.00 40.0; retail 1.00 x -3 =
//      -3.00; QOH -3.
//  Totals: 218.00 126.80 91.20 41.8; 19.50 7.50 12.00 61.5; 7.00 4.00 5.
TEST(SalesByVendor, ListingOverADatabase) {
  test_support::TempDir dir;
  const std::vector<ItemArea> items = {vendor_item("V001", "B01",
                                                   {.cyc_sales = 1000,
                                                    .ytd_sales = 1500,
                                                    .unit_cost = 500,
                                                    .price = 1250,
                                                    .cyc_sold = 8,
                                                    .ytd_sold = 12,
                                                    .on_hand = 10,
                                                    .ytd_bought = 20}),
                                       vendor_item("V002", "A07", {.cyc_sales = 20000, .price = 1000, .on_hand = -3}),
                                       vendor_item("V003", "B01",
                                                   {.cyc_sales = 500,
                                                    .ytd_sales = 450,
                                                    .unit_cost = 500,
                                                    .price = 1250,
                                                    .cyc_sold = 2,
                                                    .ytd_sold = 3,
                                                    .on_hand = -2}),
                                       vendor_item("V004", "", {.cyc_sales = 300})};
  test_support::expect_golden(run_in_sample_store(dir, "14", "STOCK", items), "reports/golden/rpt14_vendors.txt");
}

// 1000 vendors X0001 ... X1000 with 1.00 of sales each, then X0001 again:
// X0001 to X0998 take slots 2 to 999, X0999 and X1000 go to "Other", which
// is listed first, and X0001 keeps collecting in slot 2.  Page 1 and the last
// page (page 19: slots 973 to 999, the rule and the totals) are compared.
// Expected: slot 1 "Other" and slot 2 X0001 2.00 1.20 .80 40.0; slots 3 to
// 999 1.00 .60 .40 40.0; totals 1001.00 600.60 400.40 40.0.
TEST(SalesByVendor, VendorsBeyondTheTableGoToOther) {
  test_support::TempDir dir;
  std::vector<ItemArea> items;
  char id[16];
  for (int v = 1; v <= 1000; ++v) {
    std::snprintf(id, sizeof id, "X%04d", v);
    items.push_back(vendor_item(std::string("W") + (id + 1), id, {.cyc_sales = 100}));
  }
  items.push_back(vendor_item("W9999", "X0001", {.cyc_sales = 100}));
  const std::string out = run_in_sample_store(dir, "14", "STOCK", items);
  const std::size_t page = 62 * test_support::kPrintRecord;  // 8 header records and 54 lines
  ASSERT_EQ(out.size(), (999 + 19 * 8 + 2) * test_support::kPrintRecord);
  test_support::expect_golden(out.substr(0, page) + out.substr(18 * page),
                              "reports/golden/rpt14_overflow_first_and_last_page.txt");
}

}  // namespace
}  // namespace report
