// Report 15, the item export file.
#include <filesystem>
#include <fstream>
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
std::string commas_with(const std::vector<std::pair<int, std::string>>& fields);
}  // namespace csv_export_test

namespace {

using namespace csv_export_test;
using report::ItemArea;
using report::set_i32;
using report::set_text;
namespace item = report::item;

TEST(ItemExport, WritesItsOwnFileAndLeavesTheWorkFileAlone) {
  ItemArea a = test_support::make_item("E1");
  set_text(a, item::LongName, "Garden hose, 25 ft");
  set_text(a, item::Vendor, "HOSECO");
  set_text(a, item::Alternate, "UPC1");
  set_i32(a, item::Price, 15000);
  set_i32(a, item::UntCost, 10000);
  set_i32(a, item::QOH, 100000);
  set_i32(a, item::QOS, -3);
  set_i32(a, item::CycSold, 12);
  set_i32(a, item::YTDSold, 340);
  ItemArea b = test_support::make_item("E2");
  set_i32(b, item::Price, 1000);
  set_i32(b, item::UntCost, 2500);
  set_i32(b, item::QOH, 40);
  std::string console;
  Files files = run_in_process(report::make_item_export, {a, b}, &console,
                               [] { std::ofstream("OUTF21.DAT") << "old work file"; });
  EXPECT_EQ(files["OUTF21.DAT"], "old work file");
  const std::string file = files["KOROt15.csv"];
  ASSERT_EQ(file.size(), 3u * 128);
  const std::string heading =
      "StockIndex,LongName,Vendor Id,Alternate,UntPrice,UntCost,Margin,MarkUp,InvValue,QOH,QOS,Shortage,"
      "   CycSold,YTDSold" + std::string(11, ' ');
  EXPECT_EQ(record(file, 1), heading);
  EXPECT_EQ(console, heading + "\n");
  // The mark-up 150.00 fills its six columns; 100000 x 10 = 1000000.00 and
  // 100000 itself keep their last seven and five characters; the units sold
  // are right-aligned in 116-120 and 122-126.
  EXPECT_EQ(record(file, 2),
            commas_with({{1, "E1          "}, {14, "Garden hose, 25 ft      "}, {39, "HOSECO      "},
                         {52, "UPC1        "}, {65, "  15.00"}, {73, "  10.00"}, {81, "   5.00"},
                         {89, "150.00"}, {96, "0000.00"}, {104, "00000"}, {110, "   -3"}, {116, "   12"},
                         {122, "  340"}}));
  // 1.00 on 2.50: margin -1.50, mark-up 40 %, 40 x 2.5 = 100.00 in stock;
  // the zero counts are blank.
  EXPECT_EQ(record(file, 3),
            commas_with({{1, "E2          "}, {14, std::string(24, ' ')}, {39, std::string(12, ' ')},
                         {52, std::string(12, ' ')}, {65, "   1.00"}, {73, "   2.50"}, {81, "  -1.50"},
                         {89, " 40.00"}, {96, " 100.00"}, {104, "   40"}, {110, "     "}, {116, "     "},
                         {122, "     "}}));
}

}  // namespace
