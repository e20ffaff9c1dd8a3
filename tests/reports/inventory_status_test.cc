#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "reports/reports.h"
#include "support/report_harness.h"

namespace report {
namespace {

namespace fs = std::filesystem;
using test_support::echoed;
using test_support::make_item;
using test_support::print_line;
using test_support::ProgramRun;
using test_support::read_file;
using test_support::ReportRun;

// The report called in-process the way the driver calls it, made through
// the report table.
void run_status(ReportRun& run, const std::vector<ItemArea>& items) {
  run.run([](RunContext& ctx) { return make_report(1, ctx); }, items);
}

// Expected lines counted by hand against a column ruler from the column
// heading table and the detail column list.
TEST(InventoryStatusTest, HeaderTitleAndColumnHeadings) {
  ReportRun run;
  run_status(run, {make_item("A")});
  //          1         2         3         4         5         6         7         8         9         0         1 2 3
  // 123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789012
  const std::string heading1 =
      "  UPC_SKU     PLU   Vendor      Long Description       Units  Pack Units    List Average  |--- U n i t s    I n "
      "v e n t o r y ---|  ";
  const std::string heading2 =
      " StockIndex   xRef  Name_Number                        Dscp  Dscp InPack   Price   Cost    QOH   QOO   MOQ   "
      "ROQ     OP  Phy Short  ";
  EXPECT_EQ(run.record(2).substr(49, 37), "------ Current Inventory Status -----");
  EXPECT_EQ(run.record(6), heading1 + "\r\n");
  EXPECT_EQ(run.record(7), heading2 + "\r\n");
}

TEST(InventoryStatusTest, DetailColumns) {
  // Every text field, a right-justified pack, price without cost, a zero
  // on-hand quantity of an ordinary unit type and quantities too wide for
  // their columns.
  ItemArea full = make_item("ABC123456789");
  set_text(full, item::PLU, "12345X");
  set_text(full, item::Vendor, "VENDOR-ID-01");
  set_text(full, item::LongName, "Long description of item");
  set_text(full, item::UnitDscp, "EACH");
  set_text(full, item::PkgDscp, "BOX");
  set_text(full, item::ShortName, "NOT PRINTED");
  set_i16(full, item::QtyPkg, 12);
  set_i32(full, item::Price, 12345);
  set_i32(full, item::QOO, 5);
  set_i32(full, item::MOQ, -3);
  set_i32(full, item::ROQ, 1000000);
  set_i32(full, item::ROP, 999999);
  set_i32(full, item::POI, -99999);
  set_i32(full, item::QOS, 10000000);

  // Unit type 2: on hand and shortage in hundredths; the on-hand field
  // takes col 96, the first column of the on-order quantity.
  ItemArea hundredths = make_item("H1");
  set_i16(hundredths, item::UnitType, 2);
  set_i32(hundredths, item::QOH, 150);
  set_i32(hundredths, item::QOO, 12);
  set_i32(hundredths, item::QOS, -25);
  set_i32(hundredths, item::UntCost, 1500);
  set_i16(hundredths, item::QtyPkg, -5);

  // Unit type 2 with zero quantities leaves them blank; units per pack 0
  // prints "0".
  ItemArea zero = make_item("H2");
  set_i16(zero, item::UnitType, 2);
  set_text(zero, item::PkgDscp, "CASE12");

  ReportRun run;
  run_status(run, {full, hundredths, zero});
  EXPECT_EQ(run.record(9), print_line({{2, "ABC123456789"},
                                       {15, "12345"},
                                       {21, "VENDOR-ID-01"},
                                       {33, "Long description of item"},
                                       {57, "EACH"},
                                       {63, "   BOX"},
                                       {69, "  12"},
                                       {73, "  12.345"},
                                       {89, "      0"},
                                       {96, "     5"},
                                       {102, "    -3"},
                                       {108, "******"},
                                       {114, "999999"},
                                       {120, "-99999"},
                                       {126, "*******"}}));
  EXPECT_EQ(run.record(10), print_line({{2, "H1"},
                                        {69, "  -5"},
                                        {81, "   1.500"},
                                        {89, "    1.50"},
                                        {97, "   12"},
                                        {102, "     0"},
                                        {108, "     0"},
                                        {114, "     0"},
                                        {120, "     0"},
                                        {126, "   -.25"}}));
  EXPECT_EQ(run.record(11), print_line({{2, "H2"},
                                        {63, "CASE12"},
                                        {69, "   0"},
                                        {96, "     0"},
                                        {102, "     0"},
                                        {108, "     0"},
                                        {114, "     0"},
                                        {120, "     0"}}));
  // The item record area is left as read.
  EXPECT_EQ(text(run.ctx.item, item::PkgDscp), "CASE12");
  // Record 11 is the first echoed line.
  EXPECT_EQ(run.console(), echoed(run.record(11)));
}

TEST(InventoryStatusTest, OutputThatCannotBeOpened) {
  ReportRun run;
  fs::create_directory(run.path("OUTF21.DAT"));
  run_status(run, {make_item("A"), make_item("B")});
  EXPECT_TRUE(run.ctx.output_failed);
  EXPECT_EQ(run.console(), "");
}

// ---- the whole program over a database built through the library ----

const test_support::HeadingTexts kHeadings = test_support::headings(
    {"STORE NUMBER 12", "100 MAIN STREET", "ANYTOWN", "TEL 555-0100", "LEFT LINE FIVE", "LEFT LINE SIX"},
    {"BACK OFFICE", "STOCK REPORTS", "MONTH END", "RIGHT HEADING FOUR", "RIGHT LINE FIVE", "RIGHT LINE SIX"});

// Builds the database STOCK (with the heading control records when asked)
// in a fresh directory and runs `invreport -RPT 01 -F STOCK -DT <date>` there.
ProgramRun run_program(const std::vector<ItemArea>& items, bool with_headings, std::string_view date = "123108") {
  test_support::StoreDatabase db{.items = items};
  if (with_headings) db.headings = kHeadings;
  return test_support::run_report_program("01", date, db);
}

// Item n of a plain store: every column shows a figure derived from n.
ItemArea numbered_item(int n) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%04d", n);
  ItemArea it = make_item(std::string("SKU") + digits);
  set_text(it, item::PLU, digits);
  set_text(it, item::Vendor, std::string("VEND") + digits);
  set_text(it, item::LongName, std::string("ITEM NUMBER ") + digits);
  set_text(it, item::UnitDscp, "EA");
  set_text(it, item::PkgDscp, "PK");
  set_i16(it, item::QtyPkg, static_cast<std::int16_t>(n));
  set_i32(it, item::Price, n * 1000 + 250);
  set_i32(it, item::UntCost, n * 500);
  set_i32(it, item::QOH, n * 10);
  set_i32(it, item::QOO, n);
  set_i32(it, item::ROQ, 2);
  set_i32(it, item::ROP, 3);
  set_i32(it, item::POI, n * 10 - 1);
  return it;
}

std::vector<ItemArea> numbered_items(int count) {
  std::vector<ItemArea> items;
  for (int n = 1; n <= count; ++n) items.push_back(numbered_item(n));
  return items;
}

// The expected files were checked by hand, column by column against a
// printed column ruler, and by recomputing every record from the column
// list and the page-header table.
//
// rpt01_two_pages.*: 55 items.  Records 1-8 are the page-1
// header (headings lines 1-4 at cols 2-25 and 109-132, "DECEMBER  08" at
// 62-73, "Page   1", "OUTF21.D", "Run 12-31-08"), records 9-62 items 1-54,
// records 63-70 the page-2 header ("1" in col 1 of record 63, "Page   2" in
// cols 81-88 of record 67), record 71 item 55.  Each item line was checked
// against the detail columns (item n: price n.250, cost n/2 with 3 decimals,
// QOH 10n width 7, QOO n, MOQ 0, ROQ 2, ROP 3, POI 10n-1, QOS 0).  The
// console holds records 11, 21, ..., 71 (132 columns each) and then the two
// completion lines.
TEST(InventoryStatusProgram, SecondPageBeginsAtRecord63) {
  const ProgramRun run = run_program(numbered_items(55), true);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.diagnostics, "");
  test_support::expect_golden_run(run, "rpt01_two_pages");
}

// Exactly one page: the same 62 records as the first page of the 55-item
// run and no second header.  rpt01_one_page_console.txt: the echoes of records
// 11 to 61 (items 3, 13, ..., 53) and the completion lines.
TEST(InventoryStatusProgram, ExactlyOnePage) {
  const ProgramRun run = run_program(numbered_items(54), true);
  EXPECT_EQ(run.exit_code, 0);
  const std::string two_pages = read_file(test_support::data_path("reports/golden/rpt01_two_pages.txt"));
  EXPECT_EQ(run.output, two_pages.substr(0, 62 * test_support::kPrintRecord));
  test_support::expect_golden(run.console, "reports/golden/rpt01_one_page_console.txt");
}

// rpt01_blank_headings.*: no control records and a month of 13: header
// records 1-4 blank in cols 2-25 and 109-132, "JANUARY   08"
// in cols 62-73 of record 3, "Run 13-31-08" in record 5; two item lines.
TEST(InventoryStatusProgram, BlankHeadingsAndMonth13) {
  const ProgramRun run = run_program(numbered_items(2), false, "133108");
  EXPECT_EQ(run.exit_code, 0);
  test_support::expect_golden_run(run, "rpt01_blank_headings");
}

// rpt01_edge_cases.*: the special columns, one item each:
//   E01 price 12345, cost 0   -> "  12.345" in 73-80, 81-88 blank
//   E02 unit type 2, QOH 150  -> "    1.50" in 89-96 (col 96 taken from QOO)
//   E03 unit type 2, QOH 0    -> 89-96 blank; QOS 250 -> "   2.50" in 126-132
//   E04 unit type 0, QOH 0    -> "0" in col 95
//   E05 QOH 10000000, QOO 1000000, QOS -1000000 -> asterisks in 89-95,
//       96-101 and 126-132; MOQ 999999 and ROP -99999 still fit
//   E06 pack "BOX"            -> "   BOX" in 63-68
//   E07 units per pack 0      -> "   0" in 69-72
// Items E08-E10 pad the listing so that record 11 (E03) is echoed.
TEST(InventoryStatusProgram, EdgeCases) {
  std::vector<ItemArea> items;
  for (int n = 1; n <= 10; ++n) {
    char name[16];
    std::snprintf(name, sizeof name, "E%02d", n);
    items.push_back(make_item(name));
    set_i16(items.back(), item::QtyPkg, 1);
  }
  set_i32(items[0], item::Price, 12345);
  set_i16(items[1], item::UnitType, 2);
  set_i32(items[1], item::QOH, 150);
  set_i32(items[1], item::QOO, 7);
  set_i16(items[2], item::UnitType, 2);
  set_i32(items[2], item::QOS, 250);
  set_i32(items[4], item::QOH, 10000000);
  set_i32(items[4], item::QOO, 1000000);
  set_i32(items[4], item::MOQ, 999999);
  set_i32(items[4], item::ROP, -99999);
  set_i32(items[4], item::QOS, -1000000);
  set_text(items[5], item::PkgDscp, "BOX");
  set_i16(items[6], item::QtyPkg, 0);
  const ProgramRun run = run_program(items, true);
  EXPECT_EQ(run.exit_code, 0);
  test_support::expect_golden_run(run, "rpt01_edge_cases");
}

// The work file is a directory: no record, no echo, one diagnostic line,
// the completion lines all the same and exit status 1.
// rpt01_completion_only_console.txt: "1      Korvane   INVENTORY REPORTS
// COMPLETION" (six blanks after the "1", three after Korvane, eight before
// COMPLETION) and a blank, STOCK padded to 8 and three blanks.
TEST(InventoryStatusProgram, UnwritableOutput) {
  const test_support::TempDir dir;
  fs::create_directory(dir / "OUTF21.DAT");
  const ProgramRun run = test_support::run_report_program(dir.path(), "01", "123108",
                                                          {.items = numbered_items(12), .headings = kHeadings});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(std::count(run.diagnostics.begin(), run.diagnostics.end(), '\n'), 1) << run.diagnostics;
  EXPECT_NE(run.diagnostics.find("OUTF21.DAT"), std::string::npos) << run.diagnostics;
  test_support::expect_golden(run.console, "reports/golden/rpt01_completion_only_console.txt");
}

}  // namespace
}  // namespace report
