// Reports 7 and 8, rental inventory, run as a process over a database.  The
// expected files were checked line by line against the layout: detail from
// column 1, 1-12 StockIndex, 14-25 ShortName, 27-50 LongName, 52-58 price
// (2 decimals, blank when zero), 60-65 PLU, 66 last digit of Tx, 68-75 the
// phone without blanks, 77-82 OutDate, 84-89 OutTime.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/report_harness.h"

namespace report {
namespace {

constexpr std::string_view kCompletion = "1      Korvane   INVENTORY REPORTS        COMPLETION\n STOCK      \n";

ItemArea rental(std::string_view sku, std::string_view out_date = "", std::string_view out_time = "") {
  ItemArea it = test_support::make_item(sku);
  set_i16(it, item::Cat, item::kRentalCategory);
  set_text(it, item::OutDate, out_date);
  set_text(it, item::OutTime, out_time);
  return it;
}

// Builds STOCK with heading texts and `items` in a directory that holds
// `old_file` as OUTF21.DAT, and runs report `rpt` ("07" or "08") over it
// with the run date 07-04-26.
test_support::ProgramRun run_program(std::string_view rpt, const std::vector<ItemArea>& items,
                                     std::string_view old_file = {}) {
  const test_support::TempDir dir;
  if (!old_file.empty()) test_support::write_file(dir / "OUTF21.DAT", old_file);
  const test_support::ProgramRun run = test_support::run_report_program(
      dir.path(), rpt, "070426",
      {.items = items, .headings = test_support::headings({"Rent-All Center"}, {"Tool rental"})});
  test_support::expect_clean_exit(run);
  return run;
}

void expect_golden_run(std::string_view rpt, const std::vector<ItemArea>& items, std::string_view name) {
  test_support::expect_golden_run(run_program(rpt, items), name);
}

std::vector<ItemArea> rental_items() {
  ItemArea drill = rental("DRILL");
  set_text(drill, item::ShortName, "Hammer drill");
  set_text(drill, item::LongName, "Rotary hammer drill, SDS");
  set_text(drill, item::PLU, "700101");
  set_i32(drill, item::Price, 25000);
  set_i16(drill, item::Tx, 1);
  ItemArea mower = rental("MOWER", "070326", "0830");
  set_text(mower, item::ShortName, "Mower 21in");
  set_text(mower, item::LongName, "Self-propelled mower");
  set_text(mower, item::PLU, "700202");
  set_i32(mower, item::Price, 39995);
  set_i16(mower, item::Tx, 12);
  set_text(mower, item::RenterPhone, "555 123 4567");
  ItemArea sander = rental("SANDER", "", "1415");
  set_text(sander, item::ShortName, "Floor sander");
  set_i16(sander, item::Tx, -3);
  set_text(sander, item::RenterPhone, "  (555) 98 7");
  ItemArea tiller = rental("TILLER", "070126", "0900");
  set_i16(tiller, item::Cat, 80);
  ItemArea van = rental("VAN");
  set_text(van, item::RenterPhone, "555 000 1111");
  return {drill, mower, sander, tiller, van};
}

// Checked by hand:
// - records 1-8: "1" in col 1, "Rent-All Center" from col 2 and "Tool
//   rental" from col 109 of record 1, the banner in cols 50-84, the title
//   "------ Rental  Inventory Status -----" in cols 50-86 of record 2,
//   "JULY      26" in cols 62-73 of record 3, "Page   1", "OUTF21.D",
//   "Run", "07-04-26" at cols 81, 92, 101, 105 of record 5; record 6 "Item"
//   1, "Index" 6, "Short" 14, "Name" 20, "Long" 27, "Description" 32,
//   "$/Unit" 53, "Cross" 60, "x" 66, "Renter" 68, "Out" 78 and 85; record 7
//   "Price" 53, "PLU-X" 60, "T" 66, "Phone#" 68, "Date" 77, "Time" 84;
//   record 8 131 hyphens from col 2;
// - record 9 DRILL from col 1: "  25.00" in 52-58, "700101" in 60-65, Tx
//   "1" in 66, no phone, out date or time;
// - record 10 MOWER: "  40.00" (39.995 rounds up), Tx 12 prints "2", phone
//   "55512345" in 68-75, "070326" in 77-82, "0830" from 84;
// - record 11 SANDER: price blank, Tx -3 prints "-", phone "(555)987",
//   out date blank, "1415" from 84;
// - record 12 VAN: Tx "0", phone "55500011"; TILLER (category 80) is not
//   listed although it is out;
// - console: record 11, then the completion lines.
TEST(Rental, Report7ListsEveryRentalItem) { expect_golden_run("07", rental_items(), "rpt07_rentals"); }

// Checked by hand: the header as for report 7 with the title "--- Rented
// Inventory Stock Status ---"; records 9 and 10 are the MOWER and SANDER
// lines of rpt07_rentals (an out time alone counts as out); no echo (only
// records 9 and 10), just the completion lines.
TEST(Rental, Report8ListsItemsOutOnRent) { expect_golden_run("08", rental_items(), "rpt08_rentals"); }

// 60 rental items R01-R60.  Checked by hand: records 1-8 the only page
// header, records 9-68 the items (stock index from col 1, Tx "0" in 66);
// console: records 11, 21, ..., 61 (R03, R13, ..., R53).
TEST(Rental, SixtyItemsUnderOneHeader) {
  std::vector<ItemArea> items;
  for (int n = 1; n <= 60; ++n) items.push_back(rental("R" + std::to_string(n / 10) + std::to_string(n % 10)));
  expect_golden_run("07", items, "rpt07_sixty");
}

// Report 8 with no item out on rent writes no record; the work file left by
// an earlier run is cut to nothing.
TEST(Rental, NothingSelectedLeavesAnEmptyWorkFile) {
  ItemArea other = rental("OTHER", "070126", "0900");
  set_i16(other, item::Cat, 80);
  const test_support::ProgramRun run = run_program("08", {rental("IN"), other}, std::string(3 * 134, 'x'));
  EXPECT_EQ(run.output, "");
  EXPECT_EQ(run.console, kCompletion);
}

}  // namespace
}  // namespace report
