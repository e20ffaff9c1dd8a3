#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "reports/reports.h"
#include "support/test_support.h"

namespace report {
namespace {

namespace fs = std::filesystem;
using test_support::make_item;
using test_support::read_file;

constexpr RunDate kRunDate{'1', '2', '-', '3', '1', '-', '0', '8'};
constexpr std::size_t kRecord = 134;

// A 132-column print line written out by hand: each text at its 1-based
// column, blanks elsewhere, CR LF after it.
std::string line(const std::vector<std::pair<int, std::string>>& fields) {
  std::string s(132, ' ');
  for (const auto& [column, text] : fields) s.replace(column - 1, text.size(), text);
  return s + "\r\n";
}

// The report called in-process the way the driver calls it (mode 0, then 1,
// finally 2), in a fresh directory, with the console captured.
class InventoryStatusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = fs::current_path();
    fs::current_path(dir_.path());
    ctx_.console = std::tmpfile();
    ctx_.diagnostics = std::tmpfile();
  }
  void TearDown() override {
    std::fclose(ctx_.console);
    std::fclose(ctx_.diagnostics);
    fs::current_path(previous_);
  }
  void run(const std::vector<ItemArea>& items) {
    auto report = make_report(1, ctx_);
    std::int16_t mode = 0;
    for (const ItemArea& it : items) {
      ctx_.item = it;
      report->call(kRunDate, mode);
      EXPECT_EQ(mode, 1);
    }
    mode = 2;
    report->call(kRunDate, mode);
  }
  std::string record(std::size_t n) const {
    return read_file("OUTF21.DAT").substr((n - 1) * kRecord, kRecord);
  }
  std::string console() {
    std::fflush(ctx_.console);
    std::rewind(ctx_.console);
    std::string s;
    for (int c; (c = std::fgetc(ctx_.console)) != EOF;) s += static_cast<char>(c);
    return s;
  }

  test_support::TempDir dir_;
  fs::path previous_;
  RunContext ctx_;
};

// Expected lines counted by hand against a column ruler from the column
// heading table and the detail column list.
TEST_F(InventoryStatusTest, HeaderTitleAndColumnHeadings) {
  run({make_item("A")});
  //          1         2         3         4         5         6         7         8         9         0         1         2         3
  // 123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789012
  const std::string heading1 =
      "  UPC_SKU     PLU   Vendor      Long Description       Units  Pack Units    List Average  |--- U n i t s    I n v e n t o r y ---|  ";
  const std::string heading2 =
      " StockIndex   xRef  Name_Number                        Dscp  Dscp InPack   Price   Cost    QOH   QOO   MOQ   ROQ     OP  Phy Short  ";
  EXPECT_EQ(record(2).substr(49, 37), "------ Current Inventory Status -----");
  EXPECT_EQ(record(6), heading1 + "\r\n");
  EXPECT_EQ(record(7), heading2 + "\r\n");
}

TEST_F(InventoryStatusTest, DetailColumns) {
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

  run({full, hundredths, zero});
  EXPECT_EQ(record(9), line({{2, "ABC123456789"},
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
  EXPECT_EQ(record(10), line({{2, "H1"},
                              {69, "  -5"},
                              {81, "   1.500"},
                              {89, "    1.50"},
                              {97, "   12"},
                              {102, "     0"},
                              {108, "     0"},
                              {114, "     0"},
                              {120, "     0"},
                              {126, "   -.25"}}));
  EXPECT_EQ(record(11), line({{2, "H2"},
                              {63, "CASE12"},
                              {69, "   0"},
                              {96, "     0"},
                              {102, "     0"},
                              {108, "     0"},
                              {114, "     0"},
                              {120, "     0"}}));
  // The item record area is left as read.
  EXPECT_EQ(text(ctx_.item, item::PkgDscp), "CASE12");
  // Record 11 is the first echoed line.
  EXPECT_EQ(console(), record(11).substr(0, 132) + "\n");
}

TEST_F(InventoryStatusTest, OutputThatCannotBeOpened) {
  fs::create_directory("OUTF21.DAT");
  run({make_item("A"), make_item("B")});
  EXPECT_TRUE(ctx_.output_failed);
  EXPECT_EQ(console(), "");
}

}  // namespace
}  // namespace report
