// The sample stores the listing tests run over as a process (their
// page-header texts and run dates, which the expected files show) and the
// sales figures of the grouped listings' items.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "support/report_harness.h"

namespace report {

// Builds the database `name` in `dir` with the store's heading texts and
// the items, runs report `number` over it with the store's run date,
// expects a clean run and returns the work file.
inline std::string run_in_store(const test_support::HeadingTexts& headings, std::string_view date,
                                const std::filesystem::path& dir, std::string_view number, std::string_view name,
                                const std::vector<ItemArea>& items) {
  const test_support::ProgramRun run = test_support::run_report_program(
      dir, number, date, {.items = items, .headings = headings, .name = std::string(name)});
  test_support::expect_clean_exit(run);
  return run.output;
}

// The inventory value, current sales and current purchases listings (9, 10,
// 11): left WESTSIDE GROCERY / 12 HARBOR ROAD / LAKETOWN / 555-0100, right
// BACK OFFICE / INVENTORY LISTINGS / WEEKLY RUN / STORE 07, dated 03-04-24
// (period "MARCH     24"); database STOCK in a fresh directory.
inline std::string run_in_westside(std::string_view number, const std::vector<ItemArea>& items) {
  const test_support::TempDir dir;
  return run_in_store(test_support::headings({"WESTSIDE GROCERY", "12 HARBOR ROAD", "LAKETOWN", "555-0100"},
                                             {"BACK OFFICE", "INVENTORY LISTINGS", "WEEKLY RUN", "STORE 07"}),
                      "030424", dir.path(), number, "STOCK", items);
}

// The grouped sales listings (12, 13, 14): six heading lines on each side
// (SAMPLE STORE ..., INVENTORY DEPT ...), dated 03-15-24; the database
// `name` is built in `dir`, which may already hold a names file or the work
// file of an earlier run.
inline std::string run_in_sample_store(const test_support::TempDir& dir, std::string_view number, std::string_view name,
                                       const std::vector<ItemArea>& items) {
  return run_in_store(
      test_support::headings({"SAMPLE STORE", "12 MAIN STREET", "SPRINGFIELD", "BACK OFFICE", "LEFT FIVE", "LEFT SIX"},
                             {"INVENTORY DEPT", "REGION 4", "STORE 0017", "WEEKLY RUN", "RIGHT FIVE", "RIGHT SIX"}),
      "031524", dir.path(), number, name, items);
}

// The figures the grouped sales listings read, as stored (cents,
// thousandths, units).
struct Figures {
  std::int32_t cyc_sales = 0;      // CycSalesAmt
  std::int32_t ytd_sales = 0;      // YTDSalesAmt
  std::int32_t unit_cost = 0;      // UntCost
  std::int32_t price = 0;          // Price
  std::int32_t cyc_sold = 0;       // CycSold
  std::int32_t ytd_sold = 0;       // YTDSold
  std::int32_t on_hand = 0;        // QOH
  std::int32_t ytd_bought = 0;     // YTDPurchQty
  std::int32_t cyc_purchases = 0;  // CycPurchAmt
  std::int32_t ytd_purchases = 0;  // YTDPurchAmt
};

inline ItemArea sales_item(std::string_view index, const Figures& f) {
  return test_support::item_with(index, {{item::CycSalesAmt, f.cyc_sales},
                                         {item::YTDSalesAmt, f.ytd_sales},
                                         {item::UntCost, f.unit_cost},
                                         {item::Price, f.price},
                                         {item::CycSold, f.cyc_sold},
                                         {item::YTDSold, f.ytd_sold},
                                         {item::QOH, f.on_hand},
                                         {item::YTDPurchQty, f.ytd_bought},
                                         {item::CycPurchAmt, f.cyc_purchases},
                                         {item::YTDPurchAmt, f.ytd_purchases}});
}

}  // namespace report
