// Selections, run as a process: for every report and every kind of
// selection, the files and console of a selected run equal those of the same
// report over a database built with only the selected items.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "reports/catalogue.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using report::ItemArea;
namespace item = report::item;

// Forty items with a spread of departments, categories (every fifth a
// rental, some of them out), vendors, stock, sales and purchases, so that
// every report lists some of any selection.
std::vector<ItemArea> store_items() {
  std::vector<ItemArea> items;
  for (int i = 0; i < 40; ++i) {
    char index[16];
    std::snprintf(index, sizeof index, "A%03d", i * 7 % 40);
    ItemArea it = test_support::make_item(index);
    const bool rental = i % 5 == 0;
    report::set_text(it, item::LongName, std::string("LONG NAME ") + index);
    report::set_text(it, item::ShortName, std::string("SHORT ") + index);
    report::set_text(it, item::Vendor, "V" + std::to_string(i % 3));
    report::set_text(it, item::Alternate, "0" + std::to_string(1000 + i));
    if (rental && i % 10 == 0) report::set_text(it, item::OutDateTime, "120108103000");
    report::set_i16(it, item::Dept, static_cast<std::int16_t>(1 + i % 4));
    report::set_i16(it, item::Cat, static_cast<std::int16_t>(rental ? item::kRentalCategory : 10 + i % 3));
    report::set_i32(it, item::Price, 1990 + 250 * i);
    report::set_i32(it, item::UntCost, i % 6 == 0 ? 0 : 1200 + 130 * i);
    report::set_i32(it, item::QOH, (i * 13) % 17);
    report::set_i32(it, item::ROP, 5);
    report::set_i32(it, item::MOQ, i % 4 == 0 ? 0 : 12);
    report::set_i32(it, item::ROQ, 6);
    report::set_i32(it, item::QOO, i % 7 == 0 ? 3 : 0);
    report::set_i32(it, item::QOS, i % 3);
    report::set_i32(it, item::CycSold, i % 9);
    report::set_i32(it, item::YTDSold, 3 * i);
    report::set_i32(it, item::CycSalesAmt, 1234 * (i % 9));
    report::set_i32(it, item::YTDSalesAmt, 4321 * i);
    report::set_i32(it, item::CycPurchQty, i % 4 == 1 ? 2 : 0);
    report::set_i32(it, item::CycPurchAmt, i % 4 == 1 ? 2500 + i : 0);
    report::set_i32(it, item::YTDPurchQty, i % 2 == 1 ? 10 + i : 0);
    report::set_i32(it, item::YTDPurchAmt, i % 2 == 1 ? 9000 + i : 0);
    items.push_back(it);
  }
  return items;
}

void build(const fs::path& dir, const std::vector<ItemArea>& items) {
  fs::create_directories(dir);
  test_support::DbBuilder db(dir, "STOCK");
  db.add_headings(test_support::heading_text({"KORVANE HARDWARE", "MAIN STREET"}),
                  test_support::heading_text({"STORE 7", "BACK OFFICE"}));
  for (const ItemArea& it : items) db.add(it);
}

std::string stock_index(const ItemArea& it) { return std::string(report::text(it, item::StockIndex)); }

struct Kind {
  std::vector<std::string> options;
  std::function<bool(const ItemArea&)> takes;
};

struct Outcome {
  int exit_code;
  std::string out, err, file;
};

Outcome run(const fs::path& dir, int number, const std::vector<std::string>& options) {
  char nn[4];
  std::snprintf(nn, sizeof nn, "%02d", number);
  std::vector<std::string> args{"-RPT", nn, "-F", "STOCK", "-DT", "120808"};
  args.insert(args.end(), options.begin(), options.end());
  const auto r = test_support::run_invreport(args, dir);
  const fs::path file = dir / report::catalogue_entry(number).file_name;
  Outcome o{r.exit_code, r.out, r.err, fs::exists(file) ? test_support::read_file(file) : "(none)"};
  fs::remove(file);
  return o;
}

TEST(Selection, EveryReportEqualsTheReportOverOnlyTheSelectedItems) {
  const test_support::TempDir dir;
  const std::vector<ItemArea> items = store_items();
  build(dir / "all", items);
  const Kind kinds[] = {
      {{"--dept", "2"}, [](const ItemArea& it) { return report::i16(it, item::Dept) == 2; }},
      {{"--cat", "81"}, [](const ItemArea& it) { return report::i16(it, item::Cat) == 81; }},
      {{"--vendor", "V1"}, [](const ItemArea& it) { return report::text(it, item::Vendor) == "V1          "; }},
      {{"--from", "A012", "--to", "A031"},
       [](const ItemArea& it) { return stock_index(it) >= "A012" && stock_index(it) <= "A031        "; }},
      {{"--from", "A030"}, [](const ItemArea& it) { return stock_index(it) >= "A030"; }},
      {{"--to", "A004", "--cat", "81"},
       [](const ItemArea& it) { return stock_index(it) <= "A004        " && report::i16(it, item::Cat) == 81; }},
      {{"--dept", "9"}, [](const ItemArea&) { return false; }},
  };
  int kind_number = 0;
  for (const Kind& kind : kinds) {
    std::vector<ItemArea> selected;
    for (const ItemArea& it : items)
      if (kind.takes(it)) selected.push_back(it);
    const fs::path part = dir / ("part" + std::to_string(++kind_number));
    build(part, selected);
    for (int number = 1; number <= report::kReportCount; ++number) {
      std::string shown;
      for (const std::string& o : kind.options) shown += " " + o;
      SCOPED_TRACE("report " + std::to_string(number) + shown);
      const Outcome whole = run(dir / "all", number, kind.options);
      const Outcome only = run(part, number, {});
      EXPECT_EQ(whole.exit_code, 0) << whole.err;
      EXPECT_EQ(whole.exit_code, only.exit_code);
      EXPECT_EQ(whole.err, only.err);
      EXPECT_EQ(whole.out, only.out);
      EXPECT_EQ(whole.file, only.file);
    }
  }
}

// A stock index range goes through the index: an item outside it whose
// block cannot be read is never reached, where a department selection,
// which reads every item, meets it.
TEST(Selection, AStockIndexRangeReadsOnlyTheItemsInIt) {
  const test_support::TempDir dir;
  {
    test_support::DbBuilder db(dir.path(), "STOCK");
    for (const char* index : {"B1", "B2", "B3", "B4"}) db.add(test_support::make_item(index));
    db.add_key("12C1                  ", 4001);  // a block beyond the record file
  }
  const auto range = run(dir.path(), 1, {"--from", "B2", "--to", "B3"});
  EXPECT_EQ(range.exit_code, 0) << range.err;
  EXPECT_EQ(range.err, "");
  const auto dept = run(dir.path(), 1, {"--dept", "0"});
  EXPECT_EQ(dept.exit_code, 1);
  EXPECT_NE(dept.err.find("cannot read the item \"12C1"), std::string::npos) << dept.err;
}

TEST(Selection, UnusableSelectionsAreSyntaxErrors) {
  const test_support::TempDir dir;
  const struct {
    std::vector<std::string> options;
    std::string words;
  } cases[] = {
      {{"--dept"}, "--dept needs a value after it"},
      {{"--dept", "-3"}, "--dept needs a value after it"},
      {{"--cat", "8a"}, "--cat \"8a\": the value is a whole number, 0 to 32767, in digits"},
      {{"--cat", "40000"}, "--cat \"40000\": the value is a whole number"},
      {{"--vendor", "ABCDEFGHIJKLM"}, "a vendor identifier has at most 12 characters"},
      {{"--vendor", "KR\u20ac"}, "--vendor \"KR\u20ac\": character 3 (U+20AC) does not fit one byte"},
      {{"--dept", "1", "--dept", "2"}, "--dept is given twice; give it once"},
      {{"--from", "B", "--to", "A"}, "--from \"B\" comes after --to \"A\" in the index"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{"-RPT", "01", "-F", "STOCK"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const auto r = test_support::run_invreport(args, dir.path());
    EXPECT_EQ(r.exit_code, 2) << c.words;
    EXPECT_EQ(r.out, " Syntax error\n\n\n Unable to open data base\n");
    EXPECT_NE(r.err.find(c.words), std::string::npos) << r.err;
  }
}

}  // namespace
