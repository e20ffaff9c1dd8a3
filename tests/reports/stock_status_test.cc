// Reports 4 and 5, stock status and below minimum.  The suggestion rule and
// the page count of report 5 are checked in-process; the listings as a whole
// run as a process over a database and are compared with expected files,
// checked line by line against the layout: detail columns 2-21 key, 22-26
// PLU, 28-51 LongName, 53-60 ShortName, 61-68 price, 69-76 cost, 77-82 per
// package, 84-87 UnitDscp, 89-92 OutDate, QOH QOO MOQ suggestion ROP in 6
// columns each from 93, POI QOS in 5 each from 123.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "reports/reports.h"
#include "support/report_harness.h"

namespace report {
namespace {

constexpr std::int16_t kStatus = 1;
constexpr std::int16_t kBelowMinimum = 2;

ItemArea stock(std::string_view sku, std::int32_t qoh, std::int32_t rop, std::int32_t moq, std::int32_t qoo,
               std::int32_t roq = 0) {
  ItemArea it = test_support::make_item(sku);
  set_i32(it, item::QOH, qoh);
  set_i32(it, item::ROP, rop);
  set_i32(it, item::MOQ, moq);
  set_i32(it, item::QOO, qoo);
  set_i32(it, item::ROQ, roq);
  return it;
}

struct Output {
  std::vector<std::string> records;     // CR LF included
  std::vector<std::int32_t> roq_after;  // the item area's ROQ after each call
};

// Runs report 4 or 5 in-process over `items` in a fresh directory.
Output run_in_process(std::int16_t variant, const std::vector<ItemArea>& items) {
  test_support::ReportRun run;
  Output result;
  run.run([variant](RunContext& ctx) { return make_stock_status(ctx, variant); }, items,
          [&] { result.roq_after.push_back(i32(run.ctx.item, item::ROQ)); });
  result.records = run.records();
  return result;
}

// The cases that tell the branches of the rule apart, with the suggestion
// as printed in columns 111-116.
struct SuggestionCase {
  ItemArea item;
  std::int32_t suggestion;
  std::string_view printed;
};
const std::vector<SuggestionCase> kSuggestionCases{
    {stock("MOQ", 3, 5, 12, 0), 12, "    12"},          // base MOQ
    {stock("MOQ-QOO4", 3, 5, 12, 4), 12, "    12"},     // on order, below the base
    {stock("MOQ-QOO12", 3, 5, 12, 12), 0, "     0"},    // on order, reaches the base
    {stock("ROP", 3, 5, 0, 0), 5, "     5"},            // no MOQ: the re-order point
    {stock("ROQ", 9, 5, 12, 0, 7), 7, "     7"},        // above ROP: the recorded ROQ
    {stock("ROQ0", 9, 5, 12, 0, 0), 0, "     0"},       // ... which may be 0
    {stock("AT-ROP", 5, 5, 12, 0, 7), 12, "    12"},    // QOH equal to ROP is not above
    {stock("NEG-ROP", -5, -4, 0, 0, 9), -4, "    -4"},  // a negative suggestion
    {stock("QOO-NEG", 3, 5, 12, -3, 9), 12, "    12"},  // QOO below 0 counts as none
};

TEST(StockStatus, SuggestionIsWrittenIntoTheItemAndPrinted) {
  std::vector<ItemArea> items;
  for (const auto& c : kSuggestionCases) items.push_back(c.item);
  const Output all = run_in_process(kStatus, items);
  ASSERT_EQ(all.records.size(), 8 + items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(all.records[8 + i].substr(110, 6), kSuggestionCases[i].printed) << i;
    EXPECT_EQ(all.roq_after[i], kSuggestionCases[i].suggestion) << i;
  }

  // Report 5 lists the positive suggestions only; a skipped item keeps its
  // recorded ROQ.
  const Output below = run_in_process(kBelowMinimum, items);
  std::vector<std::string> listed;
  for (std::size_t r = 8; r < below.records.size(); ++r) listed.push_back(below.records[r].substr(1, 8));
  EXPECT_EQ(listed, (std::vector<std::string>{"MOQ     ", "MOQ-QOO4", "ROP     ", "ROQ     ", "AT-ROP  ", "QOO-NEG "}));
  EXPECT_EQ(below.roq_after[2], 0);
  EXPECT_EQ(below.roq_after[7], 9);
}

TEST(StockStatus, SkippedItemsDoNotCountTowardsThePage) {
  std::vector<ItemArea> items;
  for (int i = 0; i < 28; ++i) {
    items.push_back(stock("L" + std::to_string(100 + i), 0, 0, 1, 0));
    items.push_back(stock("N" + std::to_string(100 + i), 0, 0, 1, 5));  // on order: no suggestion
  }
  const Output run = run_in_process(kBelowMinimum, items);
  // 27 listed items on page 1 (records 9-35); the 28th after the header of
  // page 2 (records 36-43).
  ASSERT_EQ(run.records.size(), 2 * 8 + 28u);
  EXPECT_EQ(run.records[35][0], '1');
  EXPECT_EQ(run.records[43].substr(1, 4), "L127");
}

// ---- the program run as a process over a database ----

// Builds STOCK with heading texts and `items` and runs report `rpt` ("04"
// or "05") over it with the run date 12-31-08.
test_support::ProgramRun run_program(std::string_view rpt, const std::vector<ItemArea>& items) {
  const test_support::ProgramRun run = test_support::run_report_program(
      rpt, "123108",
      {.items = items,
       .headings = test_support::headings({"Main Street Hardware", "Springfield"}, {"Store 7", "Back office"})});
  test_support::expect_clean_exit(run);
  return run;
}

void expect_golden_run(std::string_view rpt, const std::vector<ItemArea>& items, std::string_view name) {
  test_support::expect_golden_run(run_program(rpt, items), name);
}

// The suggestion cases, keys in this order; the first carries every column.
std::vector<ItemArea> golden_suggestion_items() {
  ItemArea full = stock("A-MOQ", 3, 5, 12, 0, 99);
  set_text(full, item::PLU, "40411Z");
  set_text(full, item::LongName, "Hammer, claw, 16 ounce");
  set_text(full, item::ShortName, "Claw hammer");
  set_text(full, item::UnitDscp, "EACH");
  set_text(full, item::OutDate, "BOX6");
  set_i32(full, item::Price, 14990);
  set_i32(full, item::UntCost, 8125);
  set_i32(full, item::PkgQty, 6);
  set_i32(full, item::POI, 4);
  set_i32(full, item::QOS, -1);
  return {full,
          stock("B-MOQ-QOO4", 3, 5, 12, 4),
          stock("C-MOQ-QOO12", 3, 5, 12, 12),
          stock("D-ROP", 3, 5, 0, 0),
          stock("E-ROQ7", 9, 5, 12, 0, 7),
          stock("F-ROQ0", 9, 5, 12, 0, 0)};
}

// Checked by hand:
// - records 1-8: "1" in col 1, "Main Street Hardware" and "Springfield" in
//   cols 2-25 of records 1-2, "Store 7" and "Back office" from col 109, the
//   banner in cols 50-84, the title "------ Current Inventory Status -----"
//   in cols 50-86, "DECEMBER  08" in cols 62-73, "Page   1", "OUTF21.D",
//   "Run", "12-31-08" at cols 81, 92, 101, 105 of record 5; record 6 "SKU" 7,
//   "OPEN" 23, "LONG" 31, "Short" 55, "Unit" 65 and 74, "Qty Unit" 80,
//   "Pkg" 90, "|--- U n i t s" 94, "I n v e n t o r y ---|" 111; record 7
//   "Stock Index #" 2, "Dept# Description" 23, "Dscprtn" 54, "Price" 65,
//   "Cost /Pkg Dscp Dscp" 74, "QOH" 96, "QOO" 102, "MOQ" 108, "ROQ" 114,
//   "ROP" 120, "Phy" 125, "Shr" 130; record 8 131 hyphens from col 2;
// - record 9 (A-MOQ): "40411", "Hammer, claw, 16 ounce", "Claw ham",
//   "  14.990", "   8.125", "     6", "EACH", "BOX6", then QOH 3, QOO 0,
//   MOQ 12, suggestion 12 (the stored 99 replaced), ROP 5, POI "    4",
//   QOS "   -1";
// - records 10-14: suggestions 12 (QOO 4), 0 (QOO 12), 5 (ROP), 7 (recorded
//   ROQ), 0 (recorded ROQ 0) in cols 111-116; price and cost "   0.000";
// - console: record 11 (C-MOQ-QOO12), then the completion lines.
TEST(StockStatusGolden, SuggestionsInReport4) {
  expect_golden_run("04", golden_suggestion_items(), "rpt04_suggestions");
}

// Checked by hand: the same header with the title "----- Below Minimum
// Stock Status ----"; records 9-12 are A-MOQ, B-MOQ-QOO4, D-ROP and E-ROQ7,
// the same lines as in rpt04_suggestions; C and F are skipped.  Console:
// record 11 (D-ROP), then the completion lines.
TEST(StockStatusGolden, SuggestionsInReport5) {
  expect_golden_run("05", golden_suggestion_items(), "rpt05_suggestions");
}

TEST(StockStatusGolden, Report5WithoutSuggestionsWritesNoRecord) {
  const test_support::ProgramRun run =
      run_program("05", {stock("C-MOQ-QOO12", 3, 5, 12, 12), stock("F-ROQ0", 9, 5, 12, 0, 0)});
  EXPECT_EQ(run.output, "");
  EXPECT_EQ(run.console, "1      Korvane   INVENTORY REPORTS        COMPLETION\n STOCK      \n");
}

// 28 items T01-T28 with QOH n, ROP 0, MOQ 1 and ROQ n (QOH above ROP: the
// suggestion is n).  Checked by hand: records 1-8 header of page 1, records
// 9-35 items T01-T27, records 36-43 header of page 2 ("Page   2" in cols
// 81-88 of record 40), record 44 item T28; the console shows records 11,
// 21, 31 (T03, T13, T23), record 41 being a header line.
TEST(StockStatusGolden, Report4Over28ItemsHasTwoPages) {
  std::vector<ItemArea> items;
  for (int n = 1; n <= 28; ++n)
    items.push_back(stock("T" + std::to_string(n / 10) + std::to_string(n % 10), n, 0, 1, 0, n));
  expect_golden_run("04", items, "rpt04_two_pages");
}

}  // namespace
}  // namespace report
