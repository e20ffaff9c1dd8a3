// Report 2, the re-order quantity export.  This file also defines the
// helpers that the three comma-separated export tests share; the margin and
// item export tests declare the ones they use.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "reports/reports.h"
#include "support/test_support.h"

namespace csv_export_test {

namespace fs = std::filesystem;
using report::ItemArea;
using Factory = std::unique_ptr<report::Report> (*)(report::RunContext&);
using Files = std::map<std::string, std::string>;

// Runs a report in process in a fresh directory, as the driver would: mode
// 0 with the first item, 1 with the others, then 2.  `prepare` runs first in
// that directory.  Returns every regular file left there by name, and the
// echo lines in `console`.
Files run_in_process(Factory make, const std::vector<ItemArea>& items, std::string* console,
                     const std::function<void()>& prepare = {}) {
  test_support::TempDir dir;
  const fs::path previous = fs::current_path();
  fs::current_path(dir.path());
  if (prepare) prepare();
  char* echo = nullptr;
  std::size_t echo_size = 0;
  report::RunContext ctx;
  ctx.console = open_memstream(&echo, &echo_size);
  ctx.diagnostics = std::tmpfile();
  {
    const std::unique_ptr<report::Report> rpt = make(ctx);
    const report::RunDate date{'0', '3', '-', '1', '5', '-', '2', '4'};
    std::int16_t mode = 0;
    for (const ItemArea& item : items) {
      ctx.item = item;
      rpt->call(date, mode);
    }
    mode = 2;
    if (!items.empty()) rpt->call(date, mode);
  }
  std::fclose(ctx.console);
  std::fclose(ctx.diagnostics);
  if (console != nullptr) console->assign(echo, echo_size);
  std::free(echo);
  Files files;
  for (const auto& entry : fs::directory_iterator(dir.path()))
    if (entry.is_regular_file()) files[entry.path().filename()] = test_support::read_file(entry.path());
  fs::current_path(previous);
  return files;
}

// Record n (from 1) of a file of 128-byte records, its 126 text columns.
std::string record(const std::string& file, int n) {
  const std::size_t at = static_cast<std::size_t>(n - 1) * 128;
  if (file.size() < at + 128) return "<no record " + std::to_string(n) + ">";
  EXPECT_EQ(file.substr(at + 126, 2), "\r\n") << "record " << n;
  return file.substr(at, 126);
}

// Columns `from`..`to` (1-based) of a record's text.
std::string cols(const std::string& text, int from, int to) {
  return text.substr(static_cast<std::size_t>(from - 1), static_cast<std::size_t>(to - from + 1));
}

// The fixed-width fields of a layout, for building expected records: 126
// commas with each text at its column.
std::string commas_with(const std::vector<std::pair<int, std::string>>& fields) {
  std::string line(126, ',');
  for (const auto& [column, text] : fields) line.replace(static_cast<std::size_t>(column - 1), text.size(), text);
  return line;
}

}  // namespace csv_export_test

namespace {

using namespace csv_export_test;
using report::ItemArea;
using report::set_i32;
using report::set_text;
namespace item = report::item;

std::string run_file(const std::vector<ItemArea>& items, std::string* console = nullptr) {
  return run_in_process(report::make_reorder_export, items, console)["OUTF21.DAT"];
}

ItemArea stock_item(std::string_view sku, std::int32_t qoh, std::int32_t qoo, std::int32_t moq, std::int32_t rop) {
  ItemArea it = test_support::make_item(sku);
  set_i32(it, item::QOH, qoh);
  set_i32(it, item::QOO, qoo);
  set_i32(it, item::MOQ, moq);
  set_i32(it, item::ROP, rop);
  return it;
}

const std::string kHeading =
    "StockIndex,ShortName,Price,QOH,QOO,MOQ,ROQ,ROP,POI,QOS,CPQ,Vendor," + std::string(60, ' ');

TEST(ReorderExport, HeadingOnceThenOneRecordPerItemEchoedByRecordNumber) {
  std::vector<ItemArea> items;
  for (int i = 0; i < 12; ++i) items.push_back(stock_item("A" + std::to_string(100 + i), i + 1, 0, 0, 0));
  std::string console;
  const std::string file = run_file(items, &console);
  ASSERT_EQ(file.size(), 13u * 128);
  EXPECT_EQ(record(file, 1), kHeading);
  // Items are records 2 to 13; only record 11 (the tenth item) follows the
  // remainder-1 rule, and the heading is echoed as well.
  EXPECT_EQ(console, kHeading + "\n" + record(file, 11) + "\n");
  EXPECT_EQ(cols(record(file, 11), 1, 12), "A109        ");
  for (int n = 2; n <= 13; ++n) EXPECT_NE(record(file, n).substr(0, 10), kHeading.substr(0, 10)) << n;
}

TEST(ReorderExport, ReorderQuantityIsMoqWhenAtReorderPointAndShortOnOrder) {
  // QOH, QOO, MOQ, ROP -> computed ROQ in columns 53-57; the stored ROQ is
  // never shown.
  struct Case {
    std::int32_t qoh, qoo, moq, rop;
    const char* roq;
  };
  const Case cases[] = {
      {3, 0, 12, 5, "   12"},  // below the point, nothing on order
      {5, 11, 12, 5, "   12"},  // at the point, on order less than MOQ
      {3, 12, 12, 5, "     "},  // enough on order
      {6, 0, 12, 5, "     "},  // above the point
      {3, 0, 0, 5, "     "},   // no MOQ
      {-4, -1, 12, -2, "   12"},
  };
  std::vector<ItemArea> items;
  for (const Case& c : cases) {
    items.push_back(stock_item("R" + std::to_string(items.size()), c.qoh, c.qoo, c.moq, c.rop));
    set_i32(items.back(), item::ROQ, 777);
  }
  const std::string file = run_file(items);
  for (std::size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(cols(record(file, static_cast<int>(i) + 2), 53, 57), cases[i].roq) << "case " << i;
}

TEST(ReorderExport, FieldsAtFixedColumnsWithCommasBetween) {
  ItemArea it = stock_item("SKU-1", 100000, -7, 0, 250);
  set_text(it, item::ShortName, "Widget, big");
  set_text(it, item::Vendor, "ACME");
  set_i32(it, item::Price, 12345);      // 12.345
  set_i32(it, item::POI, 99999);
  set_i32(it, item::QOS, 0);
  set_i32(it, item::YTDPurchQty, 0x0001FFFF);  // low half 0xFFFF: -1
  ItemArea it2 = stock_item("SKU-2", 0, 0, 0, 0);
  set_i32(it2, item::Price, 10000000);  // 10000.000 keeps its last 7 characters
  set_i32(it2, item::YTDPurchQty, 0x00052345);  // low half 0x2345: 9029
  const std::string file = run_file({it, it2});
  // 100000 in five columns shows its last five characters; -7 has its sign
  // next to the digit; zeros are blank between their commas.
  EXPECT_EQ(record(file, 2), commas_with({{1, "SKU-1       "}, {14, "Widget, big "}, {27, " 12.345"},
                                          {35, "00000"}, {41, "   -7"}, {47, "     "}, {53, "     "},
                                          {59, "  250"}, {65, "99999"}, {71, "     "}, {77, "   -1"},
                                          {83, "ACME        "}}));
  EXPECT_EQ(cols(record(file, 3), 27, 33), "000.000");
  EXPECT_EQ(cols(record(file, 3), 77, 81), " 9029");
  // 12 values then 32 commas: 44 fields.
  const std::string r = record(file, 3);
  EXPECT_EQ(std::count(r.begin(), r.end(), ','), 43);
}

TEST(ReorderExport, FailedOpenWritesAndEchoesNothing) {
  // The work file's name is taken by a directory.
  std::string console = "?";
  const Files files = run_in_process(report::make_reorder_export, {stock_item("X", 1, 0, 0, 0), stock_item("Y", 1, 0, 0, 0)},
                                     &console, [] { std::filesystem::create_directory("OUTF21.DAT"); });
  EXPECT_TRUE(files.empty());
  EXPECT_EQ(console, "");
}

}  // namespace
