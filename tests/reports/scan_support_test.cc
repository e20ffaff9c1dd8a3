// Report 3, scan support parameters, run as a process over a database.  The
// expected files were checked line by line against the report's layout:
// detail columns 2-21 key, 22-33 Alternate, 35-39 PLU, 41-52 ShortName,
// 54-77 LongName, 78-85 price (3 decimals), 86-91 Dept, 92-95 Cat, 96-119
// itemizer codes Tx Cl Cs Ln Sc Ds Tg Sk (3 columns each), 121-132 Vendor.
#include <array>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/report_harness.h"

namespace report {
namespace {

using test_support::make_item;

ItemArea scan_item(std::string_view sku, std::int32_t price, std::int16_t tx = 0, std::int16_t cl = 0,
                   std::int16_t sk = 0) {
  ItemArea it = make_item(sku);
  set_i32(it, item::Price, price);
  set_i16(it, item::Tx, tx);
  set_i16(it, item::Cl, cl);
  set_i16(it, item::Sk, sk);
  return it;
}

std::vector<ItemArea> fifty_one_items() {
  ItemArea full = make_item("S001");
  set_text(full, item::KeyRest, "KEYREST8");
  set_text(full, item::Alternate, "012345678905");
  set_text(full, item::PLU, "PLU123");
  set_text(full, item::ShortName, "Short name12");
  set_text(full, item::LongName, "A long description here!");
  set_text(full, item::Vendor, "VENDOR-ID-12");
  set_i32(full, item::Price, 12345);
  set_i16(full, item::Dept, 12345);
  set_i16(full, item::Cat, 81);
  // Distinct codes, stored in the order Tg Ds Sk Tx Cl Cs Ln Sc, so that a
  // code in the wrong column shows.
  const std::array codes{item::Tx, item::Cl, item::Cs, item::Ln, item::Sc, item::Ds, item::Tg, item::Sk};
  for (std::size_t i = 0; i < codes.size(); ++i) set_i16(full, codes[i], static_cast<std::int16_t>(i + 1));

  std::vector<ItemArea> items{full,
                              scan_item("S002", 1),
                              scan_item("S003", 10000000),
                              scan_item("S004", 0, 1000, -99, -100),
                              scan_item("S005", 9999999, 999),
                              scan_item("S006", -1500)};
  for (int n = 7; n <= 51; ++n) {
    ItemArea it = make_item("S0" + std::to_string(n / 10) + std::to_string(n % 10));
    set_i16(it, item::Dept, static_cast<std::int16_t>(n));
    items.push_back(it);
  }
  return items;
}

// Checked by hand:
// - records 1-8: "1" in col 1, left heading lines 1-4 in cols 2-25, the
//   spaced banner in cols 50-84, right lines 1-4 in cols 109-132, the title
//   "----- Scan support    Parameters ----" in cols 50-86 of record 2,
//   "MARCH     24" in cols 62-73 of record 3, "Page   1", "OUTF21.D", "Run",
//   "03-15-24" at cols 81, 92, 101, 105 of record 5; record 6 "SKU" 7,
//   "UPC" 26, "PLU" 35, "Short" 43, "Long" 56, "Unit" 78, the itemizer bar
//   87-120, "Vendor" 122, "|" 132; record 7 "Stock Index #" 2,
//   "Alternate #" 22, "Xref#" 35, "Description" 41 and 54, "Price" 78,
//   "Dept" 88, "Cat" 93, the eight code names from 97 every 3 columns,
//   "Name/ID#" 121; record 8 131 hyphens from col 2;
// - record 9 (S001): key "S001        KEYREST8", "PLU12", price "  12.345",
//   Dept " 12345", Cat "  81", codes "  1" to "  8" in Tx..Sk order;
// - record 10 (S002): price 1 thousandth prints "   0.001";
// - record 11 (S003): price 10000000 fills 78-85 with asterisks;
// - record 12 (S004): zero price blank; Tx 1000 and Sk -100 give "***",
//   Cl -99 prints "-99";
// - record 13 (S005): "9999.999", Tx "999"; record 14 (S006): "  -1.500";
// - records 15-58: S007-S050, price blank, Dept n in 86-91, Cat and codes 0;
// - records 59-66: header of page 2 ("Page   2"); record 67: S051;
// - console: the 51 detail lines cut to 120 columns (no vendor), then
//   "1      Korvane   INVENTORY REPORTS        COMPLETION" and " STOCK      ".
TEST(ScanSupport, FiftyOneItemsWithColumnLimits) {
  const test_support::ProgramRun run = test_support::run_report_program(
      "03", "031524",
      {.items = fifty_one_items(),
       .headings = test_support::headings({"LEFT ONE", "LEFT TWO", "LEFT THREE", "LEFT FOUR", "LEFT 5"},
                                          {"RIGHT ONE", "RIGHT TWO", "RIGHT THREE", "RIGHT FOUR"})});
  test_support::expect_clean_exit(run);
  test_support::expect_golden_run(run, "rpt03_fifty_one");
}

}  // namespace
}  // namespace report
