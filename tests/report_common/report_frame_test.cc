#include "report_common/report_frame.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace report {
namespace {

namespace fs = std::filesystem;
using test_support::read_file;

constexpr RunDate kRunDate{'1', '2', '-', '3', '1', '-', '0', '8'};
constexpr int kRecord = 134;

// A 132-column line written out by hand: each text at its 1-based column,
// blanks elsewhere, CR LF after it.
std::string line(const std::vector<std::pair<int, std::string>>& fields) {
  std::string s(132, ' ');
  for (const auto& [column, text] : fields) s.replace(column - 1, text.size(), text);
  return s + "\r\n";
}

std::string text_of(FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string s;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) s.append(buf, n);
  return s;
}

// A run context in a fresh directory, with console and diagnostics captured.
class FrameTest : public ::testing::Test {
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

  // Items 1..n as detail lines: the item number in cols 2-7 and col 132, so
  // that a line cut short shows.  Returns false at the first failed write.
  static bool write_items(ReportFrame& frame, int n) {
    for (int i = 1; i <= n; ++i) {
      frame.clear_line();
      frame.put_integer(2, 6, i);
      frame.put_text(132, "#");
      if (!frame.start_page_if_due() || !frame.write_detail()) return false;
    }
    return true;
  }
  // A whole report of n items; returns the frame's final page number.
  int run_report(int n) {
    ReportFrame frame(ctx_, layout_);
    EXPECT_TRUE(frame.open(kRunDate));
    EXPECT_TRUE(write_items(frame, n));
    frame.close();
    return frame.page_number();
  }
  // Record n (1-based) of the output file.
  std::string record(int n, int length = kRecord) const {
    return read_file("OUTF21.DAT").substr(static_cast<std::size_t>(n - 1) * length, length);
  }
  std::string console() { return text_of(ctx_.console); }
  std::string diagnostics() { return text_of(ctx_.diagnostics); }

  test_support::TempDir dir_;
  fs::path previous_;
  RunContext ctx_;
  FrameLayout layout_{.title = "------ Current Inventory Status -----",
                      .heading1 = "  First heading line",
                      .heading2 = "Second heading line, from column 1"};
};

TEST_F(FrameTest, PageHeaderByteForByte) {
  const std::string left = test_support::heading_text({"LEFT ONE", "LEFT TWO", "LEFT THREE",
                                                       "LEFT FOUR 456789012345678", "LEFT FIVE", "LEFT SIX"});
  const std::string right = test_support::heading_text({"RIGHT ONE", "RIGHT TWO", "RIGHT THREE",
                                                        "RIGHT FOUR", "RIGHT FIVE", "RIGHT SIX"});
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
      line({{1, "1"}, {2, "LEFT ONE"}, {50, "K O R V A N E     I N V E N T O R Y"}, {109, "RIGHT ONE"}}) +
      line({{2, "LEFT TWO"}, {50, "------ Current Inventory Status -----"}, {109, "RIGHT TWO"}}) +
      line({{2, "LEFT THREE"}, {62, "DECEMBER  08"}, {109, "RIGHT THREE"}}) +
      line({{2, "LEFT FOUR 45678901234567"}, {109, "RIGHT FOUR"}}) +
      line({{81, "Page   1"}, {92, "OUTF21.D"}, {101, "Run 12-31-08"}}) +
      line({{3, "First heading line"}}) +
      line({{1, "Second heading line, from column 1"}}) +
      line({{2, std::string(131, '-')}}) +
      line({{2, "     1"}, {132, "#"}});
  EXPECT_EQ(read_file("OUTF21.DAT"), expected);
  EXPECT_EQ(console(), "");
  EXPECT_EQ(diagnostics(), "");
}

TEST_F(FrameTest, SecondPageStartsAtItem55) {
  run_report(55);

  ASSERT_EQ(read_file("OUTF21.DAT").size(), 71u * kRecord);
  EXPECT_EQ(record(62), line({{2, "    54"}, {132, "#"}}));
  EXPECT_EQ(record(63).substr(0, 49), "1" + std::string(48, ' '));
  EXPECT_EQ(record(67).substr(80, 8), "Page   2");
  EXPECT_EQ(record(70), line({{2, std::string(131, '-')}}));
  EXPECT_EQ(record(71), line({{2, "    55"}, {132, "#"}}));
}

TEST_F(FrameTest, ExactlyOnePageHasNoSecondHeader) {
  EXPECT_EQ(run_report(54), 1);
  EXPECT_EQ(read_file("OUTF21.DAT").size(), 62u * kRecord);
}

TEST_F(FrameTest, PageNumberBeyondFourDigitsShowsAsterisks) {
  ReportFrame frame(ctx_, layout_);
  ASSERT_TRUE(frame.open(kRunDate));
  for (int page = 1; page < 9999; ++page) ASSERT_TRUE(frame.write_page_header());
  ASSERT_TRUE(frame.write_page_header());
  ASSERT_TRUE(frame.write_page_header());
  frame.close();
  EXPECT_EQ(record(9998 * 8 + 5).substr(80, 8), "Page9999");
  EXPECT_EQ(record(9999 * 8 + 5).substr(80, 8), "Page****");
}

// Records 1-8 are the header (record 1 is never echoed); item lines land on
// 9, 10, 11, ... and 11, 21, 31 are echoed with all 132 columns.
TEST_F(FrameTest, EchoesRecordsLeavingRemainderOne) {
  run_report(23);
  const std::string echoed = record(11).substr(0, 132) + "\n" + record(21).substr(0, 132) + "\n" +
                             record(31).substr(0, 132) + "\n";
  EXPECT_EQ(console(), echoed);
  EXPECT_EQ(record(11), line({{2, "     3"}, {132, "#"}}));
}

TEST_F(FrameTest, CommaSeparatedRecords) {
  layout_.comma_separated = true;
  ReportFrame frame(ctx_, layout_);
  ASSERT_TRUE(frame.open(kRunDate));
  frame.clear_line_blank();
  frame.put_text(1, "Head");
  ASSERT_TRUE(frame.write_record());
  frame.clear_line();
  frame.put_number(3, 4, -12);
  ASSERT_TRUE(frame.write_record());
  frame.close();

  ASSERT_EQ(read_file("OUTF21.DAT").size(), 2u * 128);
  EXPECT_EQ(record(1, 128), "Head" + std::string(122, ' ') + "\r\n");
  EXPECT_EQ(record(2, 128), ",, -12" + std::string(120, ',') + "\r\n");
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

// Every write to /dev/full fails: the first echo due (record 11) must not
// appear, since its record never reached the file.
TEST_F(FrameTest, WriteFailureStopsRecordsAndEcho) {
  fs::create_symlink("/dev/full", "OUTF21.DAT");
  ReportFrame frame(ctx_, layout_);
  ASSERT_TRUE(frame.open(kRunDate));
  EXPECT_FALSE(write_items(frame, 30));
  EXPECT_FALSE(frame.is_open());
  EXPECT_FALSE(frame.write_record());
  frame.close();
  EXPECT_EQ(console(), "");
  const std::string diag = diagnostics();
  EXPECT_EQ(std::count(diag.begin(), diag.end(), '\n'), 1) << diag;
  EXPECT_NE(diag.find("OUTF21.DAT"), std::string::npos) << diag;
  EXPECT_TRUE(ctx_.output_failed);
}

}  // namespace
}  // namespace report
