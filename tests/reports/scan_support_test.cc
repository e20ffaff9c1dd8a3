// Report 3, scan support parameters.  Expected lines are built here column by
// column from the report's layout (detail columns 2-21 key, 22-33 Alternate,
// 35-39 PLU, 41-52 ShortName, 54-77 LongName, 78-85 price, 86-91 Dept,
// 92-95 Cat, 96-119 itemizer codes Tx Cl Cs Ln Sc Ds Tg Sk, 121-132 Vendor),
// not copied from the program.
#include <unistd.h>

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

// A 132-column print line: blanks with `fields` placed at 1-based columns.
std::string print_line(std::initializer_list<std::pair<int, std::string_view>> fields) {
  std::string line(132, ' ');
  for (auto [column, text] : fields) line.replace(column - 1, text.size(), text);
  return line;
}

// Runs report 3 in-process over `items` in a fresh directory and keeps the
// work file's records (without CR LF) and the console lines.
struct Output {
  std::vector<std::string> records;
  std::vector<std::string> console;
};

Output run_scan_support(const std::vector<ItemArea>& items) {
  test_support::TempDir dir;
  const fs::path previous = fs::current_path();
  fs::current_path(dir.path());
  char* out = nullptr;
  std::size_t out_size = 0;
  RunContext ctx;
  ctx.console = open_memstream(&out, &out_size);
  const RunDate date{'0', '3', '-', '1', '5', '-', '2', '4'};
  auto report = make_scan_support(ctx);
  std::int16_t mode = 0;
  for (const ItemArea& item : items) {
    ctx.item = item;
    report->call(date, mode);
  }
  mode = 2;
  report->call(date, mode);
  std::fclose(ctx.console);
  const std::string file = test_support::read_file("OUTF21.DAT");
  fs::current_path(previous);

  Output run;
  EXPECT_EQ(file.size() % 134, 0u);
  for (std::size_t at = 0; at + 134 <= file.size(); at += 134) {
    EXPECT_EQ(file.substr(at + 132, 2), "\r\n");
    run.records.push_back(file.substr(at, 132));
  }
  const std::string text(out, out_size);
  std::free(out);
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\n', at);
    run.console.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return run;
}

ItemArea full_item() {
  ItemArea it = make_item("SKU-0000001");
  set_text(it, item::KeyRest, "KEYREST8");
  set_text(it, item::Alternate, "012345678905");
  set_text(it, item::PLU, "PLU123");
  set_text(it, item::ShortName, "Short name12");
  set_text(it, item::LongName, "A long description here!");
  set_text(it, item::Vendor, "VENDOR-ID-12");
  set_i32(it, item::Price, 12345);
  set_i16(it, item::Dept, 12345);
  set_i16(it, item::Cat, 81);
  // Distinct codes in field order Tg Ds Sk Tx Cl Cs Ln Sc, so a code in the
  // wrong column shows.
  set_i16(it, item::Tg, 7);
  set_i16(it, item::Ds, 6);
  set_i16(it, item::Sk, 8);
  set_i16(it, item::Tx, 1);
  set_i16(it, item::Cl, 2);
  set_i16(it, item::Cs, 3);
  set_i16(it, item::Ln, 4);
  set_i16(it, item::Sc, 5);
  return it;
}

TEST(ScanSupport, OneItemGivesHeaderAndDetailLine) {
  const Output run = run_scan_support({full_item()});
  ASSERT_EQ(run.records.size(), 9u);
  EXPECT_EQ(run.records[0][0], '1');
  EXPECT_EQ(run.records[1].substr(49, 37), "----- Scan support    Parameters ----");
  EXPECT_EQ(run.records[5],
            print_line({{7, "SKU"}, {26, "UPC"}, {35, "PLU"}, {43, "Short"}, {56, "Long"}, {78, "Unit"},
                        {87, "|-------- Itemizer Codes --------|"}, {122, "Vendor"}, {132, "|"}}));
  EXPECT_EQ(run.records[6],
            print_line({{2, "Stock Index #"}, {22, "Alternate #"}, {35, "Xref#"}, {41, "Description"},
                        {54, "Description"}, {78, "Price"}, {88, "Dept"}, {93, "Cat"}, {97, "Tx"},
                        {100, "Cl"}, {103, "Cs"}, {106, "Ln"}, {109, "Sc"}, {112, "Ds"}, {115, "Tg"},
                        {118, "Sk"}, {121, "Name/ID#"}}));
  const std::string detail =
      print_line({{2, "SKU-0000001 KEYREST8"}, {22, "012345678905"}, {35, "PLU12"}, {41, "Short name12"},
                  {54, "A long description here!"}, {78, "  12.345"}, {86, " 12345"}, {92, "  81"},
                  {96, "  1  2  3  4  5  6  7  8"}, {121, "VENDOR-ID-12"}});
  EXPECT_EQ(run.records[8], detail);
  // Every detail line is echoed as its first 120 columns; header lines never.
  ASSERT_EQ(run.console.size(), 1u);
  EXPECT_EQ(run.console[0], detail.substr(0, 120));
}

TEST(ScanSupport, PriceAndCodeColumnsAtTheirLimits) {
  struct Case {
    std::int32_t price;
    std::int16_t code;
    std::string_view price_text;  // columns 78-85
    std::string_view code_text;   // columns 96-98 (Tx)
  };
  const std::vector<Case> cases{
      {0, 0, "        ", "  0"},         // zero price blank, zero code "0"
      {1, 999, "   0.001", "999"},       // leading zero before the point
      {-1500, -99, "  -1.500", "-99"},
      {9999999, 1000, "9999.999", "***"},
      {10000000, -100, "********", "***"},
  };
  std::vector<ItemArea> items;
  for (const Case& c : cases) {
    ItemArea it = make_item("X");
    set_i32(it, item::Price, c.price);
    set_i16(it, item::Tx, c.code);
    items.push_back(it);
  }
  const Output run = run_scan_support(items);
  ASSERT_EQ(run.records.size(), 8 + cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const std::string& line = run.records[8 + i];
    EXPECT_EQ(line.substr(77, 8), cases[i].price_text) << i;
    EXPECT_EQ(line.substr(95, 3), cases[i].code_text) << i;
    EXPECT_EQ(line.substr(85, 10), "     0   0") << i;  // Dept and Cat 0
  }
}

TEST(ScanSupport, FiftyLinesPerPage) {
  std::vector<ItemArea> items;
  for (int i = 0; i < 101; ++i) items.push_back(make_item("I" + std::to_string(1000 + i)));
  const Output run = run_scan_support(items);
  // Pages of 8 header lines and 50 detail lines; item 51 starts page 2 at
  // record 59, item 101 page 3 at record 117.
  ASSERT_EQ(run.records.size(), 3 * 8 + 101u);
  for (std::size_t r = 0; r < run.records.size(); ++r)
    EXPECT_EQ(run.records[r][0] == '1', r == 0 || r == 58 || r == 116) << "record " << r + 1;
  EXPECT_EQ(run.records[57].substr(1, 5), "I1049");
  EXPECT_EQ(run.records[62].substr(80, 8), "Page   2");
  EXPECT_EQ(run.records[66].substr(1, 5), "I1050");
  EXPECT_EQ(run.console.size(), 101u);
}

}  // namespace
}  // namespace report
