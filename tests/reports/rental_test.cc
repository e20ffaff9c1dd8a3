// Reports 7 and 8, rental inventory.  Expected lines are built here column by
// column from the report's layout (detail from column 1: 1-12 StockIndex,
// 14-25 ShortName, 27-50 LongName, 52-58 price, 60-65 PLU, 66 Tx digit,
// 68-75 squeezed phone, 77-82 OutDate, 84-89 OutTime).
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

std::string print_line(std::initializer_list<std::pair<int, std::string_view>> fields) {
  std::string line(132, ' ');
  for (auto [column, text] : fields) line.replace(column - 1, text.size(), text);
  return line;
}

struct Output {
  std::string file;
  std::vector<std::string> records;  // without CR LF
  std::string console;
  std::vector<ItemArea> items_after;  // the item area after each call
};

// Runs report 7 or 8 in-process over `items` in a fresh directory that holds
// `old_file` as OUTF21.DAT.
Output run_rental(std::int16_t report_number, const std::vector<ItemArea>& items, std::string_view old_file = {}) {
  test_support::TempDir dir;
  const fs::path previous = fs::current_path();
  fs::current_path(dir.path());
  if (!old_file.empty()) test_support::write_file("OUTF21.DAT", old_file);
  char* out = nullptr;
  std::size_t out_size = 0;
  RunContext ctx;
  ctx.console = open_memstream(&out, &out_size);
  ctx.current_report = report_number;
  const RunDate date{'0', '1', '-', '0', '2', '-', '0', '3'};
  auto report = make_rental(ctx);
  Output result;
  std::int16_t mode = 0;
  for (const ItemArea& item : items) {
    ctx.item = item;
    report->call(date, mode);
    result.items_after.push_back(ctx.item);
  }
  mode = 2;
  report->call(date, mode);
  std::fclose(ctx.console);
  result.console.assign(out, out_size);
  std::free(out);
  result.file = test_support::read_file("OUTF21.DAT");
  fs::current_path(previous);
  EXPECT_EQ(result.file.size() % 134, 0u);
  for (std::size_t at = 0; at + 134 <= result.file.size(); at += 134) {
    EXPECT_EQ(result.file.substr(at + 132, 2), "\r\n");
    result.records.push_back(result.file.substr(at, 132));
  }
  return result;
}

ItemArea rental(std::string_view sku, std::string_view out_date = "", std::string_view out_time = "") {
  ItemArea it = make_item(sku);
  set_i16(it, item::Cat, item::kRentalCategory);
  set_text(it, item::OutDate, out_date);
  set_text(it, item::OutTime, out_time);
  return it;
}

// In, out, out by time alone, and a non-rental item that is out.
std::vector<ItemArea> mixed_items() {
  ItemArea other = rental("OTHER", "010203", "1200");
  set_i16(other, item::Cat, 80);
  return {rental("IN"), rental("OUT", "010203", "0930"), rental("TIMEONLY", "", "1015"), other};
}

std::vector<std::string> listed(const Output& run) {
  std::vector<std::string> skus;
  for (std::size_t r = 8; r < run.records.size(); ++r) skus.push_back(run.records[r].substr(0, 12));
  return skus;
}

TEST(Rental, AllRentalsAndRentedOnes) {
  const Output all = run_rental(7, mixed_items());
  EXPECT_EQ(listed(all), (std::vector<std::string>{"IN          ", "OUT         ", "TIMEONLY    "}));
  EXPECT_EQ(all.records[1].substr(49, 37), "------ Rental  Inventory Status -----");

  const Output rented = run_rental(8, mixed_items());
  EXPECT_EQ(listed(rented), (std::vector<std::string>{"OUT         ", "TIMEONLY    "}));
  EXPECT_EQ(rented.records[1].substr(49, 37), "--- Rented Inventory Stock Status ---");
}

TEST(Rental, HeaderAndDetailLine) {
  ItemArea it = rental("ABCDEFGHIJKL", "123199", "2359XY");
  set_text(it, item::ShortName, "Carpet clean");
  set_text(it, item::LongName, "Carpet cleaner, 2 gallon");
  set_text(it, item::PLU, "PLU-77");
  set_i32(it, item::Price, 12345);
  set_i16(it, item::Tx, 12);
  set_text(it, item::RenterPhone, " 555 12 3456");
  const Output run = run_rental(8, {it});
  ASSERT_EQ(run.records.size(), 9u);
  EXPECT_EQ(run.records[5], print_line({{1, "Item"}, {6, "Index"}, {14, "Short"}, {20, "Name"}, {27, "Long"},
                                        {32, "Description"}, {53, "$/Unit"}, {60, "Cross"}, {66, "x"},
                                        {68, "Renter"}, {78, "Out"}, {85, "Out"}}));
  EXPECT_EQ(run.records[6], print_line({{53, "Price"}, {60, "PLU-X"}, {66, "T"}, {68, "Phone#"}, {77, "Date"},
                                        {84, "Time"}}));
  // Price 12.345 rounds to 12.35; Tx 12 shows its last digit; the phone
  // loses its blanks and keeps its first 8 characters.
  EXPECT_EQ(run.records[8], print_line({{1, "ABCDEFGHIJKL"}, {14, "Carpet clean"},
                                        {27, "Carpet cleaner, 2 gallon"}, {52, "  12.35"}, {60, "PLU-772"},
                                        {68, "55512345"}, {77, "123199"}, {84, "2359XY"}}));
  // The squeeze works on a copy.
  EXPECT_EQ(text(run.items_after[0], item::RenterPhone), " 555 12 3456");
}

TEST(Rental, PriceAndTaxCodeEdges) {
  struct Case {
    std::int32_t price;
    std::int16_t tx;
    std::string_view price_text;  // columns 52-58
    char tx_text;                 // column 66
  };
  const std::vector<Case> cases{
      {0, 0, "       ", '0'},      // zero price blank
      {5, 9, "    .01", '9'},      // 0.005 rounds up
      {-1500, -3, "  -1.50", '-'},  // a negative code shows its sign
  };
  std::vector<ItemArea> items;
  for (const Case& c : cases) {
    ItemArea it = rental("P");
    set_i32(it, item::Price, c.price);
    set_i16(it, item::Tx, c.tx);
    items.push_back(it);
  }
  const Output run = run_rental(7, items);
  ASSERT_EQ(run.records.size(), 8 + cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(run.records[8 + i].substr(51, 7), cases[i].price_text) << i;
    EXPECT_EQ(run.records[8 + i][65], cases[i].tx_text) << i;
  }
}

TEST(Rental, OnePageHeaderHoweverLong) {
  std::vector<ItemArea> items;
  for (int i = 0; i < 120; ++i) items.push_back(rental("R" + std::to_string(1000 + i)));
  const Output run = run_rental(7, items);
  ASSERT_EQ(run.records.size(), 8 + 120u);
  for (std::size_t r = 8; r < run.records.size(); ++r)
    EXPECT_EQ(run.records[r].substr(0, 5), "R" + std::to_string(1000 + r - 8)) << "record " << r + 1;
  // Echo by the common rule: records 11, 21, ..., 121.
  std::string want;
  for (int r = 11; r <= 128; r += 10) want += run.records[r - 1] + "\n";
  EXPECT_EQ(run.console, want);
}

TEST(Rental, NothingSelectedLeavesAnEmptyWorkFile) {
  const std::string old(3 * 134, 'x');
  const Output run = run_rental(8, {rental("IN"), make_item("NOTRENTAL")}, old);
  EXPECT_EQ(run.file, "");
  EXPECT_EQ(run.console, "");
}

}  // namespace
}  // namespace report
