// Report 6, the margin and value export.
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "reports/reports.h"
#include "support/test_support.h"

namespace csv_export_test {  // defined in reorder_export_test.cc
using Factory = std::unique_ptr<report::Report> (*)(report::RunContext&);
using Files = std::map<std::string, std::string>;
Files run_in_process(Factory make, const std::vector<report::ItemArea>& items, std::string* console,
                     const std::function<void()>& prepare = {});
std::string record(const std::string& file, int n);
std::string cols(const std::string& text, int from, int to);
std::string commas_with(const std::vector<std::pair<int, std::string>>& fields);
}  // namespace csv_export_test

namespace {

using namespace csv_export_test;
using report::ItemArea;
using report::set_i32;
using report::set_text;
namespace item = report::item;

ItemArea priced(std::string_view sku, std::int32_t price, std::int32_t cost, std::int32_t qoh, std::int32_t qos) {
  ItemArea it = test_support::make_item(sku);
  set_i32(it, item::Price, price);
  set_i32(it, item::UntCost, cost);
  set_i32(it, item::QOH, qoh);
  set_i32(it, item::QOS, qos);
  return it;
}

std::string run_file(const std::vector<ItemArea>& items, std::string* console = nullptr) {
  return run_in_process(report::make_margin_export, items, console)["OUTF21.DAT"];
}

TEST(MarginExport, HeadingThenEveryItemWithItsFigures) {
  ItemArea a = priced("M1", 15000, 10000, 40, 3);
  set_text(a, item::LongName, "Big, red widget");
  set_text(a, item::Vendor, "V1");
  set_text(a, item::Alternate, "012345678905");
  const ItemArea b = priced("M2", 2000, 2500, 40, 400);
  std::string console;
  const std::string file = run_file({a, b}, &console);
  ASSERT_EQ(file.size(), 3u * 128);
  const std::string heading =
      "StockIndex,ShortName,Price,AvgCost,Margin,%MarkUp,InvValue,QOH,QOS,Shortage,Vendor," + std::string(43, ' ');
  EXPECT_EQ(record(file, 1), heading);
  EXPECT_EQ(console, heading + "\n");
  // 15.000 and 10.000: margin 5, mark-up 150 %, 40 x 10 = 400 in stock, 3 x
  // 10 = 30 short.  The description's own comma stays as it is.
  EXPECT_EQ(record(file, 2),
            commas_with({{1, "M1          "}, {14, "Big, red widget         "}, {39, "V1          "},
                         {52, "012345678905"}, {65, "  15.00"}, {73, "  10.00"}, {81, "   5.00"},
                         {89, " 150.00"}, {97, "  400.00"}, {106, "    40"}, {113, "     3"}, {120, "  30.00"}}));
  // Below cost: margin -0.5 with its sign before the point; 40 x 2.5 =
  // 100; the shortage value 400 x 2.5 = 1000.00 keeps both decimals in its
  // seven columns and CR LF stays in bytes 127-128 (record() checks).
  EXPECT_EQ(record(file, 3),
            commas_with({{1, "M2          "}, {14, std::string(24, ' ')}, {39, std::string(12, ' ')},
                         {52, std::string(12, ' ')}, {65, "   2.00"}, {73, "   2.50"}, {81, "   -.50"},
                         {89, "  80.00"}, {97, "  100.00"}, {106, "    40"}, {113, "   400"}, {120, "1000.00"}}));
}

TEST(MarginExport, ZeroFiguresAreBlank) {
  const std::string file = run_file({priced("NOCOST", 1999, 0, 5, 2), priced("EVEN", 5000, 5000, 0, 0)});
  // No cost: cost, mark-up, inventory value and shortage value blank.
  const std::string r = record(file, 2);
  EXPECT_EQ(cols(r, 65, 126), "   2.00,       ,   2.00,       ,        ,     5,     2,       ");
  // Price equal to cost: blank margin; zero quantities blank.
  EXPECT_EQ(cols(record(file, 3), 65, 126), "   5.00,   5.00,       , 100.00,        ,      ,      ,       ");
}

TEST(MarginExport, MarkUpDividesTheThousandthsInSinglePrecision) {
  // 556892 / 249677 rounds to the float 2.2304497, x 100 to 223.04497:
  // 223.04.  Dividing 556.892 by 249.677 first would give 223.04500 and so
  // 223.05.  A mark-up of 10000 % or more loses its leading digits.
  const std::string file = run_file({priced("P", 556892, 249677, 0, 0), priced("Q", 150000, 10, 0, 0)});
  EXPECT_EQ(cols(record(file, 2), 89, 95), " 223.04");
  EXPECT_EQ(cols(record(file, 3), 89, 95), "0000.00");
}

}  // namespace
