// Reports 4 and 5, stock status and below minimum.  Expected lines are built
// here column by column from the report's layout (detail columns 2-21 key,
// 22-26 PLU, 28-51 LongName, 53-60 ShortName, 61-68 price, 69-76 cost,
// 77-82 per package, 84-87 UnitDscp, 89-92 OutDate, then QOH QOO MOQ
// suggestion ROP in 6 columns each from 93 and POI QOS in 5 each from 123).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "reports/reports.h"
#include "support/test_support.h"

namespace report {
namespace {

namespace fs = std::filesystem;
using test_support::make_item;

constexpr std::int16_t kStatus = 1;
constexpr std::int16_t kBelowMinimum = 2;

std::string print_line(std::initializer_list<std::pair<int, std::string_view>> fields) {
  std::string line(132, ' ');
  for (auto [column, text] : fields) line.replace(column - 1, text.size(), text);
  return line;
}

struct Output {
  std::vector<std::string> records;  // without CR LF
  std::string console;
  std::vector<std::int32_t> roq_after;  // the item area's ROQ after each call
  bool file_exists = false;
};

// Runs report 4 or 5 in-process over `items` in a fresh directory.
Output run_stock_status(std::int16_t variant, const std::vector<ItemArea>& items) {
  test_support::TempDir dir;
  const fs::path previous = fs::current_path();
  fs::current_path(dir.path());
  char* out = nullptr;
  std::size_t out_size = 0;
  RunContext ctx;
  ctx.console = open_memstream(&out, &out_size);
  const RunDate date{'1', '2', '-', '3', '1', '-', '9', '9'};
  auto report = make_stock_status(ctx, variant);
  Output result;
  std::int16_t mode = 0;
  for (const ItemArea& item : items) {
    ctx.item = item;
    report->call(date, mode);
    result.roq_after.push_back(i32(ctx.item, item::ROQ));
  }
  mode = 2;
  report->call(date, mode);
  std::fclose(ctx.console);
  result.console.assign(out, out_size);
  std::free(out);
  result.file_exists = fs::exists("OUTF21.DAT");
  const std::string file = test_support::read_file("OUTF21.DAT");
  fs::current_path(previous);
  EXPECT_EQ(file.size() % 134, 0u);
  for (std::size_t at = 0; at + 134 <= file.size(); at += 134) {
    EXPECT_EQ(file.substr(at + 132, 2), "\r\n");
    result.records.push_back(file.substr(at, 132));
  }
  return result;
}

ItemArea stock(std::string_view sku, std::int32_t qoh, std::int32_t rop, std::int32_t moq, std::int32_t qoo,
               std::int32_t roq = 0) {
  ItemArea it = make_item(sku);
  set_i32(it, item::QOH, qoh);
  set_i32(it, item::ROP, rop);
  set_i32(it, item::MOQ, moq);
  set_i32(it, item::QOO, qoo);
  set_i32(it, item::ROQ, roq);
  return it;
}

// The suggestion rule over the cases that tell its branches apart; the
// suggestion is read from the ROQ columns (111-116) and from the item area.
struct SuggestionCase {
  ItemArea item;
  std::int32_t suggestion;
  std::string_view printed;  // columns 111-116
};
const std::vector<SuggestionCase>& suggestion_cases() {
  static const std::vector<SuggestionCase> cases{
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
  return cases;
}

TEST(StockStatus, SuggestionReplacesRecordedReorderQuantity) {
  std::vector<ItemArea> items;
  for (const auto& c : suggestion_cases()) items.push_back(c.item);
  const Output run = run_stock_status(kStatus, items);
  ASSERT_EQ(run.records.size(), 8 + items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::int32_t want = suggestion_cases()[i].suggestion;
    EXPECT_EQ(run.records[8 + i].substr(110, 6), suggestion_cases()[i].printed) << i;
    EXPECT_EQ(run.roq_after[i], want) << i;
  }
}

TEST(StockStatus, BelowMinimumListsOnlyPositiveSuggestions) {
  std::vector<ItemArea> items;
  for (const auto& c : suggestion_cases()) items.push_back(c.item);
  const Output run = run_stock_status(kBelowMinimum, items);
  std::vector<std::string> listed;
  for (std::size_t r = 8; r < run.records.size(); ++r) listed.push_back(run.records[r].substr(1, 12));
  const std::vector<std::string> want{"MOQ         ", "MOQ-QOO4    ", "ROP         ", "ROQ         ",
                                      "AT-ROP      ", "QOO-NEG     "};
  EXPECT_EQ(listed, want);
  EXPECT_EQ(run.records[1].substr(49, 37), "----- Below Minimum Stock Status ----");
  // A skipped item keeps its recorded ROQ in the item area.
  EXPECT_EQ(run.roq_after[2], 0);
  EXPECT_EQ(run.roq_after[7], 9);
}

TEST(StockStatus, BelowMinimumWithoutSuggestionsWritesNothing) {
  const Output run = run_stock_status(kBelowMinimum, {stock("A", 9, 5, 1, 0), stock("B", 3, 5, 12, 20)});
  EXPECT_TRUE(run.file_exists);
  EXPECT_TRUE(run.records.empty());
  EXPECT_EQ(run.console, "");
}

TEST(StockStatus, HeaderAndDetailLine) {
  ItemArea it = stock("SKU-77", 1234, 50, 24, 6, 0);
  set_text(it, item::KeyRest, "REST5678");
  set_text(it, item::PLU, "98765X");
  set_text(it, item::LongName, "Twenty-four char descrip");
  set_text(it, item::ShortName, "ShortNameXYZ");
  set_text(it, item::UnitDscp, "EACHXX");
  set_text(it, item::OutDate, "0612YY");
  set_i32(it, item::Price, 1999);
  set_i32(it, item::UntCost, 0);
  set_i32(it, item::PkgQty, -12);
  set_i32(it, item::POI, 99999);
  set_i32(it, item::QOS, 100000);
  const Output run = run_stock_status(kStatus, {it});
  ASSERT_EQ(run.records.size(), 9u);
  EXPECT_EQ(run.records[1].substr(49, 37), "------ Current Inventory Status -----");
  EXPECT_EQ(run.records[5], print_line({{7, "SKU"}, {23, "OPEN"}, {31, "LONG"}, {55, "Short"}, {65, "Unit"},
                                        {74, "Unit"}, {80, "Qty Unit"}, {90, "Pkg"}, {94, "|--- U n i t s"},
                                        {111, "I n v e n t o r y ---|"}}));
  EXPECT_EQ(run.records[6],
            print_line({{2, "Stock Index #"}, {23, "Dept# Description"}, {54, "Dscprtn"}, {65, "Price"},
                        {74, "Cost /Pkg Dscp Dscp"}, {96, "QOH"}, {102, "QOO"}, {108, "MOQ"}, {114, "ROQ"},
                        {120, "ROP"}, {125, "Phy"}, {130, "Shr"}}));
  // QOH 1234 is above ROP 50, so the base is the recorded ROQ 0; the cost
  // of 0 is a decimal column and prints 0.000; QOS 100000 overflows 5 columns.
  EXPECT_EQ(run.records[8], print_line({{2, "SKU-77      REST5678"}, {22, "98765"},
                                        {28, "Twenty-four char descrip"}, {53, "ShortNam"}, {61, "   1.999"},
                                        {69, "   0.000"}, {77, "   -12"}, {84, "EACH"}, {89, "0612"},
                                        {93, "  1234     6    24     0    50"}, {123, "99999*****"}}));
  EXPECT_EQ(run.console, "");  // record 9 is not echoed
}

TEST(StockStatus, TwentySevenLinesPerPageAndCommonEcho) {
  std::vector<ItemArea> items;
  for (int i = 0; i < 55; ++i) items.push_back(stock("S" + std::to_string(100 + i), 0, 0, 1, 0));
  const Output run = run_stock_status(kStatus, items);
  // Page 1: records 1-8 and 27 details (9-35); item 28 starts page 2 at
  // record 36; item 55 starts page 3 at record 71.
  ASSERT_EQ(run.records.size(), 3 * 8 + 55u);
  for (std::size_t r = 0; r < run.records.size(); ++r)
    EXPECT_EQ(run.records[r][0] == '1', r == 0 || r == 35 || r == 70) << "record " << r + 1;
  EXPECT_EQ(run.records[34].substr(1, 4), "S126");
  EXPECT_EQ(run.records[43].substr(1, 4), "S127");
  EXPECT_EQ(run.records[78].substr(1, 4), "S154");
  // Records 11, 21, ... are echoed whole, header records skipped: 11, 21,
  // 31, 51, 61 (41 is a header line of page 2).
  std::string want;
  for (int r : {11, 21, 31, 51, 61}) want += run.records[r - 1] + "\n";
  EXPECT_EQ(run.console, want);
}

TEST(StockStatus, SkippedItemsDoNotCountTowardsThePage) {
  std::vector<ItemArea> items;
  for (int i = 0; i < 28; ++i) {
    items.push_back(stock("L" + std::to_string(100 + i), 0, 0, 1, 0));
    items.push_back(stock("N" + std::to_string(100 + i), 0, 0, 1, 5));  // on order: no suggestion
  }
  const Output run = run_stock_status(kBelowMinimum, items);
  ASSERT_EQ(run.records.size(), 2 * 8 + 28u);
  EXPECT_EQ(run.records[35][0], '1');
  EXPECT_EQ(run.records[43].substr(1, 4), "L127");
}

}  // namespace
}  // namespace report
