#include "report_common/report_frame.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "report_common/framed_report.h"
#include "support/report_harness.h"

namespace report {
namespace {

namespace fs = std::filesystem;
using test_support::echoed;
using test_support::kRunDate;
using test_support::print_line;
using test_support::read_file;

constexpr int kRecord = 134;

// A run context in a fresh directory, with console and diagnostics captured.
class FrameTest : public ::testing::Test {
 protected:
  // Items 1..n as detail lines: the item number in cols 2-7 and col 132, so
  // that a line cut short shows.  Returns false at the first failed write.
  static bool write_items(ReportFrame& frame, int n) {
    for (int i = 1; i <= n; ++i) {
      frame.clear_line();
      frame.put_int_overflow_stars(2, 6, i);
      frame.put_text(132, "#");
      if (!frame.write_line()) return false;
    }
    return true;
  }
  // A whole report of n items.
  void run_report(int n) {
    ReportFrame frame(ctx_, layout_);
    EXPECT_TRUE(frame.open(kRunDate));
    EXPECT_TRUE(write_items(frame, n));
    frame.close();
  }
  // Record n (1-based) of the output file.
  std::string record(int n, int length = kRecord) const {
    return run_.record(static_cast<std::size_t>(n), static_cast<std::size_t>(length));
  }
  std::string console() { return run_.console(); }
  std::string diagnostics() { return run_.diagnostics(); }

  test_support::ReportRun run_;
  RunContext& ctx_ = run_.ctx;
  FrameLayout layout_{.title = "------ Current Inventory Status -----",
                      .heading1 = "  First heading line",
                      .heading2 = "Second heading line, from column 1"};
};

TEST_F(FrameTest, PageHeaderByteForByte) {
  const std::string left = test_support::heading_text(
      {"LEFT ONE", "LEFT TWO", "LEFT THREE", "LEFT FOUR 456789012345678", "LEFT FIVE", "LEFT SIX"});
  const std::string right =
      test_support::heading_text({"RIGHT ONE", "RIGHT TWO", "RIGHT THREE", "RIGHT FOUR", "RIGHT FIVE", "RIGHT SIX"});
  std::copy_n(left.data(), 144, ctx_.headings.left.data());
  std::copy_n(right.data(), 144, ctx_.headings.right.data());
  const std::string period = "DECEMBER  08";
  std::copy_n(period.data(), 12, ctx_.headings.period.data());

  run_report(1);

  // Columns counted by hand from the page-header table: left lines 1-4 at
  // 2-25 (line 4 fills all 24), banner 50-84, right lines 1-4 at 109-132,
  // title 50-86, period 62-73, "Page" 81-84 and the number right-aligned in
  // 85-88, file name 92-99, "Run" 101-103, date 105-112, rule 2-132.  Lines
  // 5 and 6 of both texts appear nowhere.
  const std::string expected =
      print_line({{1, "1"}, {2, "LEFT ONE"}, {50, "K O R V A N E     I N V E N T O R Y"}, {109, "RIGHT ONE"}}) +
      print_line({{2, "LEFT TWO"}, {50, "------ Current Inventory Status -----"}, {109, "RIGHT TWO"}}) +
      print_line({{2, "LEFT THREE"}, {62, "DECEMBER  08"}, {109, "RIGHT THREE"}}) +
      print_line({{2, "LEFT FOUR 45678901234567"}, {109, "RIGHT FOUR"}}) +
      print_line({{81, "Page   1"}, {92, "OUTF21.D"}, {101, "Run 12-31-08"}}) +
      print_line({{3, "First heading line"}}) + print_line({{1, "Second heading line, from column 1"}}) +
      print_line({{2, std::string(131, '-')}}) + print_line({{2, "     1"}, {132, "#"}});
  EXPECT_EQ(read_file("OUTF21.DAT"), expected);
  EXPECT_EQ(console(), "");
  EXPECT_EQ(diagnostics(), "");
}

TEST_F(FrameTest, SecondPageStartsAtItem55) {
  run_report(55);

  ASSERT_EQ(read_file("OUTF21.DAT").size(), 71u * kRecord);
  EXPECT_EQ(record(62), print_line({{2, "    54"}, {132, "#"}}));
  EXPECT_EQ(record(63).substr(0, 49), "1" + std::string(48, ' '));
  EXPECT_EQ(record(67).substr(80, 8), "Page   2");
  EXPECT_EQ(record(70), print_line({{2, std::string(131, '-')}}));
  EXPECT_EQ(record(71), print_line({{2, "    55"}, {132, "#"}}));
}

TEST_F(FrameTest, ExactlyOnePageHasNoSecondHeader) {
  run_report(54);
  EXPECT_EQ(read_file("OUTF21.DAT").size(), 62u * kRecord);
}

// One line a page: page p is records 9p-8 to 9p.
TEST_F(FrameTest, PageNumberBeyondFourDigitsShowsAsterisks) {
  layout_.page_length = 1;
  run_report(10000);
  EXPECT_EQ(record(9998 * 9 + 5).substr(80, 8), "Page9999");
  EXPECT_EQ(record(9999 * 9 + 5).substr(80, 8), "Page****");
}

// Records 1-8 are the header (record 1 is never echoed); item lines land on
// 9, 10, 11, ... and 11, 21, 31 are echoed with all 132 columns.
TEST_F(FrameTest, EchoesRecordsLeavingRemainderOne) {
  run_report(23);
  EXPECT_EQ(console(), echoed(record(11)) + echoed(record(21)) + echoed(record(31)));
  EXPECT_EQ(record(11), print_line({{2, "     3"}, {132, "#"}}));
}

// 5,000 items fill several 256 KiB hand-overs to the file, each of which
// splits a record between two writes: every record arrives whole and in
// order, and the echo lines are those of the whole records, in order.
TEST_F(FrameTest, RecordsSplitBetweenHandOversArriveWhole) {
  constexpr int kItems = 5000;
  constexpr int kPageRecords = 8 + 54;
  run_report(kItems);
  const std::string file = read_file("OUTF21.DAT");
  const int pages = (kItems + 53) / 54;
  ASSERT_EQ(file.size(), static_cast<std::size_t>(kItems + 8 * pages) * kRecord);
  std::string echo;
  int item = 0;
  for (int r = 1; r <= static_cast<int>(file.size() / kRecord); ++r) {
    if ((r - 1) % kPageRecords < 8) continue;  // a page header
    char number[16];
    std::snprintf(number, sizeof number, "%6d", ++item);
    const std::string got = file.substr(static_cast<std::size_t>(r - 1) * kRecord, kRecord);
    ASSERT_EQ(got, print_line({{2, number}, {132, "#"}})) << "record " << r;
    if (r % 10 == 1) echo += echoed(got);
  }
  EXPECT_EQ(item, kItems);
  EXPECT_EQ(console(), echo);
}

// The heading record comes before the first item record only, and is echoed.
TEST_F(FrameTest, CommaSeparatedRecords) {
  layout_.comma_separated = true;
  layout_.heading_record = "Head";
  ReportFrame frame(ctx_, layout_);
  ASSERT_TRUE(frame.open(kRunDate));
  for (const int value : {-12, 0}) {
    frame.clear_line();
    frame.put_int_zero_blank(3, 4, value);
    ASSERT_TRUE(frame.write_line());
  }
  frame.close();

  ASSERT_EQ(read_file("OUTF21.DAT").size(), 3u * 128);
  EXPECT_EQ(record(1, 128), "Head" + std::string(122, ' ') + "\r\n");
  EXPECT_EQ(record(2, 128), ",, -12" + std::string(120, ',') + "\r\n");
  EXPECT_EQ(record(3, 128), ",,    " + std::string(120, ',') + "\r\n");
  EXPECT_EQ(console(), echoed(record(1, 128)));
}

TEST_F(FrameTest, FileIsCutToTheRecordsWritten) {
  test_support::write_file("OUTF21.DAT", std::string(100 * kRecord, 'x'));
  run_report(2);
  const std::string after = read_file("OUTF21.DAT");
  EXPECT_EQ(after.size(), 10u * kRecord);
  EXPECT_EQ(after.find('x'), std::string::npos);

  ReportFrame frame(ctx_, layout_);
  ASSERT_TRUE(frame.open(kRunDate));
  frame.close();
  EXPECT_EQ(read_file("OUTF21.DAT"), "");
  EXPECT_FALSE(ctx_.output_failed);
}

TEST_F(FrameTest, OutputThatCannotBeOpened) {
  fs::create_directory("OUTF21.DAT");
  ReportFrame frame(ctx_, layout_);
  EXPECT_FALSE(frame.open(kRunDate));
  EXPECT_FALSE(write_items(frame, 30));
  frame.close();
  EXPECT_TRUE(fs::is_directory("OUTF21.DAT"));
  EXPECT_EQ(console(), "");
  const std::string diag = diagnostics();
  EXPECT_EQ(std::count(diag.begin(), diag.end(), '\n'), 1) << diag;
  EXPECT_NE(diag.find("OUTF21.DAT"), std::string::npos) << diag;
  EXPECT_TRUE(ctx_.output_failed);
}

// Every write to /dev/full fails.  Records and their echo lines wait in a
// buffer, so a short report meets the failure at close and a long one as soon
// as the buffer is handed over; either way no echo line appears, since its
// record never reached the file, and the failure is reported once.
TEST_F(FrameTest, WriteFailureStopsRecordsAndEcho) {
  fs::create_symlink("/dev/full", "OUTF21.DAT");
  for (const int items : {30, 5000}) {
    ReportFrame frame(ctx_, layout_);
    ASSERT_TRUE(frame.open(kRunDate));
    EXPECT_EQ(write_items(frame, items), items == 30) << items;
    frame.close();
    EXPECT_FALSE(frame.write_record());
    EXPECT_EQ(console(), "") << items;
    EXPECT_TRUE(ctx_.output_failed);
  }
  const std::string diag = diagnostics();
  EXPECT_EQ(std::count(diag.begin(), diag.end(), '\n'), 2) << diag;
  EXPECT_NE(diag.find("OUTF21.DAT"), std::string::npos) << diag;
}

// The call protocol: which hooks run on which call, and a failed open.
class ProbeReport final : public FramedReport {
 public:
  ProbeReport(RunContext& ctx, const FrameLayout& layout) : FramedReport(ctx, layout) {}
  std::string calls;  // P prepare (P+ when the file already existed), T take, F finish

 private:
  void prepare() override { calls += fs::exists("OUTF21.DAT") ? "P+" : "P"; }
  void take_item(const ItemArea& it) override {
    calls += "T";
    write_line(text(it, item::StockIndex));
  }
  void finish() override {
    calls += "F";
    write_line("END");
  }
  void write_line(std::string_view s) {
    frame_.clear_line();
    frame_.put_text(2, s);
    frame_.write_record();
  }
};

std::string probe_run(RunContext& ctx, const FrameLayout& layout, std::int16_t& mode) {
  ProbeReport probe(ctx, layout);
  for (std::string_view sku : {"A", "B"}) {
    ctx.item = test_support::make_item(sku);
    probe.call(kRunDate, mode);
    EXPECT_EQ(mode, 1);
  }
  mode = 2;
  probe.call(kRunDate, mode);
  return probe.calls;
}

TEST_F(FrameTest, ProtocolPreparesBeforeOpenAndFinishesBeforeClose) {
  std::int16_t mode = -3;
  EXPECT_EQ(probe_run(ctx_, layout_, mode), "PTTF");
  EXPECT_EQ(read_file("OUTF21.DAT"), print_line({{2, "A"}}) + print_line({{2, "B"}}) + print_line({{2, "END"}}));
  EXPECT_EQ(diagnostics(), "");
}

TEST_F(FrameTest, ProtocolSkipsTheFirstItemWhenTheOpenFails) {
  fs::create_directory("OUTF21.DAT");
  std::int16_t mode = 0;
  EXPECT_EQ(probe_run(ctx_, layout_, mode), "P+TF");
  EXPECT_TRUE(ctx_.output_failed);
  EXPECT_EQ(console(), "");
  const std::string diag = diagnostics();
  EXPECT_EQ(std::count(diag.begin(), diag.end(), '\n'), 1) << diag;
}

}  // namespace
}  // namespace report
