// Current purchases listing (report 11): selection, the mark-up and margin
// guards, the packaging columns and the closing lines written in every run.
#include <cstdint>
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

ItemArea purchase_item(std::string_view index, int cost, int price, int cyc_units, int cyc_cents, int ytd_units,
                       int ytd_cents) {
  return item_with(index, {{item::UntCost, cost},
                           {item::Price, price},
                           {item::CycPurchQty, cyc_units},
                           {item::CycPurchAmt, cyc_cents},
                           {item::YTDPurchQty, ytd_units},
                           {item::YTDPurchAmt, ytd_cents}});
}

// Expected files, checked line by line against the listing's layout.
// rpt11_none_purchased: nothing was bought in the cycle, so the file holds
// only the rule (record 1) and the blank totals line (record 2), no header.
TEST(CurrentPurchasesRun, NothingPurchased) {
  test_support::expect_golden(run_in_westside("11", {purchase_item("N001", 1000, 1500, 0, 0, 10, 1000),
                                                     purchase_item("N002", 0, 0, 0, 0, 0, 0)}),
                              "reports/golden/rpt11_none_purchased.txt");
}

// rpt11_listed: records 1-8 the page header (title
// "---- Current Purchases & VALUE  -----"), then
//   P001  EAC, 1, 12; cost 1.00, price 1.50: .50, 150.00, 33.33; 24 for
//         24.00, 48 for 50.00: 50.00 / 48 = 1.04; 30 on hand
//   P002  CAS, packaging 0 and 0 print "0"; no cost: only the price 1.50
//   P003  DOZ, -5, -1; no price: cost 1.00 only, 0 / 1.00 x 100 blank; -3
//   P005  amount only: blank units, 15.75; 2.00 / 1.25 = 160.00, .75 / 2.00
//         = 37.50; 15.75 / 12 = 1.3125 prints 1.31 (rounded by .00501)
//   P006  a return: -2 for -3.00; 2.50 / 1.50 = 166.67, 1.00 / 2.50 = 40.00
// P004 (bought only earlier in the year) is not listed.  Then the rule and
// the totals 24 + 9 + 10 + 15.75 - 3 = 55.75 and 50 + 9 + 10 + 15.75 + 60 =
// 144.75.
TEST(CurrentPurchasesRun, ListedItems) {
  auto described = [](ItemArea a, std::string_view unit, std::int16_t field252, std::int16_t in_pack,
                      std::int32_t on_hand, std::string_view name, std::string_view vendor) {
    report::set_i16(a, item::Field252, field252);
    report::set_i16(a, item::QtyPkg, in_pack);
    report::set_i32(a, item::QOH, on_hand);
    return with_text(a, {{item::UnitDscp, unit}, {item::LongName, name}, {item::Vendor, vendor}});
  };
  const std::vector<ItemArea> items = {
      described(purchase_item("P001", 1000, 1500, 24, 2400, 48, 5000), "EACH", 1, 12, 30, "MARKUP CHECK",
                "VENDORABCDEF"),
      described(purchase_item("P002", 0, 1500, 6, 900, 6, 900), "CASE", 0, 0, 4, "NO COST", "LOCAL"),
      described(purchase_item("P003", 1000, 0, 10, 1000, 10, 1000), "DOZEN", -5, -1, -3, "NO PRICE", "LOCAL"),
      described(purchase_item("P004", 1000, 1500, 0, 0, 10, 1000), "EACH", 1, 1, 10, "NOT BOUGHT THIS CYCLE", "LOCAL"),
      described(purchase_item("P005", 1250, 2000, 0, 1575, 12, 1575), "BOX", 2, 6, 12, "AMOUNT ONLY", "LOCAL"),
      described(purchase_item("P006", 1500, 2500, -2, -300, 40, 6000), "EACH", 1, 24, 38, "RETURNED TO VENDOR",
                "LOCAL"),
  };
  test_support::expect_golden(run_in_westside("11", items), "reports/golden/rpt11_listed.txt");
}

}  // namespace
}  // namespace report
