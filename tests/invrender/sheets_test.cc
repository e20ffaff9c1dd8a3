// invrender's spreadsheets, read back with openpyxl (check_sheet.py beside
// this file holds the comparison with the report file's records), and the
// outputs every format shares: UTF-8 text, empty reports, a refused report
// number, charts without sales, and failures named with their cause.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::read_file;
using test_support::run_process;
using test_support::TempDir;
using test_support::write_file;

// openpyxl is a Debian package for the system's Python, not the one a
// version manager may put first on PATH.
constexpr const char* kPython = "/usr/bin/python3";

test_support::ProcessResult invrender(const std::vector<std::string>& args, const fs::path& cwd) {
  return run_process(INVRENDER_BIN, args, cwd);
}

// Every cell's value of every sheet, one per line, and each chart's title.
std::string sheet_text(const fs::path& xlsx, const fs::path& dir) {
  return run_process(kPython,
                     {"-c",
                      "import sys, openpyxl\n"
                      "b = openpyxl.load_workbook(sys.argv[1])\n"
                      "for s in b.worksheets:\n"
                      "  for r in s.iter_rows(values_only=True):\n"
                      "    print(*[v for v in r if v is not None])\n"
                      "for s in b.chartsheets:\n"
                      "  for c in s._charts:\n"
                      "    print('chart:', ''.join(r.t for p in c.title.tx.rich.p for r in (p.r or [])))\n",
                      xlsx.string()},
                     dir)
      .out;
}

std::string pdf_text(const fs::path& pdf, const fs::path& dir) {
  return run_process("/usr/bin/pdftotext", {"-layout", pdf.string(), "-"}, dir).out;
}

class Sheets : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    ASSERT_EQ(test_support::run_invdb({"sample", "STOCK", "--items", "2000"}, dir_->path()).exit_code, 0);
    for (int n = 1; n <= 15; ++n) {
      const std::string number = (n < 10 ? "0" : "") + std::to_string(n);
      ASSERT_EQ(test_support::run_invreport({"-RPT", number, "-F", "STOCK", "-DT", "123108"}, dir_->path()).exit_code,
                0);
      fs::rename(*dir_ / (n == 15 ? "KOROt15.csv" : "OUTF21.DAT"), *dir_ / ("r" + number + ".dat"));
    }
  }
  static void TearDownTestSuite() { delete dir_; }
  static fs::path report(const std::string& number) { return *dir_ / ("r" + number + ".dat"); }
  static TempDir* dir_;
};
TempDir* Sheets::dir_ = nullptr;

// Every report of the sample store, and kept outputs with figures too wide
// for their columns (asterisks, lost leading digits): each printed figure is
// a number cell equal to it, row for row and column for column; the grouped
// reports have their chart; the exports' typed columns equal their values.
TEST_F(Sheets, EveryPrintedFigureIsItsNumberCell) {
  if (!fs::exists(kPython)) GTEST_SKIP() << "the system's python3 with openpyxl is needed";
  std::vector<fs::path> files;
  for (int n = 1; n <= 15; ++n) files.push_back(report((n < 10 ? "0" : "") + std::to_string(n)));
  for (const char* kept : {"rpt01_edge_cases.txt", "rpt12_categories.txt", "rpt14_overflow_first_and_last_page.txt"}) {
    files.push_back(test_support::data_path(std::string("reports/golden/") + kept));
  }
  const std::string checker = test_support::data_path("invrender/check_sheet.py").string();
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.filename().string());
    const fs::path xlsx = *dir_ / "out.xlsx";
    const auto made = invrender({file.string(), "-o", xlsx.string()}, dir_->path());
    ASSERT_EQ(made.exit_code, 0) << made.err;
    const std::string head = read_file(file).substr(134 + 49, 37);
    std::vector<std::string> args = {checker, file.string(), xlsx.string()};
    if (head.find("Sales & VALUE") != std::string::npos && head.find(" by ") != std::string::npos) {
      args.push_back("--chart");
    }
    const auto checked = run_process(kPython, args, dir_->path());
    EXPECT_EQ(checked.exit_code, 0) << checked.out << checked.err;
    EXPECT_TRUE(checked.out.starts_with("ok ") && checked.out.size() > 3 && checked.out[3] != '0') << checked.out;
  }
}

// A report that selected nothing is still that report, in every format,
// when something tells which it is; a file that tells nothing fails.
TEST_F(Sheets, EmptyReportsInEveryFormat) {
  const std::string header_only = read_file(report("05")).substr(0, 134 * 8);
  const std::string heading_only = read_file(report("02")).substr(0, 128);
  struct Case {
    std::string name, file, bytes;
    std::vector<std::string> extra;
    std::string shows;  // besides "no items were selected"; empty: refused
  };
  const std::vector<Case> cases = {
      {"0 bytes named by --report", "OUTF21.DAT", "", {"--report", "05"}, "below minimum"},
      {"0 bytes named by the file", "KOROt15.csv", "", {}, "item export"},
      {"0 bytes of a grouped report", "OUTF21.DAT", "", {"--report", "13"}, "department"},
      {"page header only", "OUTF21.DAT", header_only, {}, "Below Minimum Stock Status"},
      {"heading line only", "OUTF21.DAT", heading_only, {}, "StockIndex"},
      {"0 bytes, nothing tells", "OUTF21.DAT", "", {}, ""},
  };
  for (const Case& c : cases) {
    for (const std::string format : {"txt", "html", "pdf", "xlsx"}) {
      SCOPED_TRACE(c.name + " to " + format);
      TempDir dir;
      write_file(dir / c.file, c.bytes);
      std::vector<std::string> args = {c.file, "-o", "out." + format};
      args.insert(args.end(), c.extra.begin(), c.extra.end());
      const auto result = invrender(args, dir.path());
      if (c.shows.empty()) {
        EXPECT_EQ(result.exit_code, 1);
        EXPECT_NE(result.err.find("--report"), std::string::npos) << result.err;
        EXPECT_FALSE(fs::exists(dir / ("out." + format)));
        continue;
      }
      ASSERT_EQ(result.exit_code, 0) << result.err;
      if (format == "xlsx" && !fs::exists(kPython)) continue;
      const std::string shown = format == "pdf"    ? pdf_text(dir / "out.pdf", dir.path())
                                : format == "xlsx" ? sheet_text(dir / "out.xlsx", dir.path())
                                                   : read_file(dir / ("out." + format));
      EXPECT_NE(shown.find("no items were selected"), std::string::npos) << shown;
      EXPECT_NE(shown.find(c.shows), std::string::npos) << shown;
    }
  }
}

// Text is UTF-8 unless --encoding latin1 asks for the bytes as stored.
TEST_F(Sheets, TextIsUtf8OrTheStoredBytes) {
  TempDir dir;
  std::string bytes = read_file(report("01")).substr(0, 134 * 12);
  bytes.replace(1, 10, "CAF\xC9 \xD1O\xF1O ");  // Latin-1 É, Ñ, ñ in the store's heading
  write_file(dir / "r01.dat", bytes);
  std::string stored;
  for (std::size_t at = 0; at < bytes.size(); at += 134) {
    std::string line = bytes.substr(at, 132);
    if (at == 0) line[0] = ' ';
    stored += line.erase(line.find_last_not_of(' ') + 1) + "\n";
  }
  std::string utf8 = stored;
  utf8.replace(utf8.find("CAF\xC9"), 10, "CAF\xC3\x89 \xC3\x91O\xC3\xB1O ");
  const auto text = invrender({"r01.dat"}, dir.path());
  EXPECT_EQ(text.out, utf8);
  EXPECT_EQ(invrender({"r01.dat", "--encoding", "latin1"}, dir.path()).out, stored);
  EXPECT_EQ(invrender({"r01.dat", "--encoding", "ebcdic"}, dir.path()).exit_code, 2);
}

// Refusals and failures: what was asked, what the file shows or what went
// wrong, in words, and no output left behind.
TEST_F(Sheets, RefusalsNameBothSidesAndFailuresTheirCause) {
  TempDir dir;
  fs::copy_file(report("01"), dir / "r01.dat");
  fs::copy_file(report("15"), dir / "KOROt15.csv");
  struct Case {
    std::string name, command;
    std::vector<std::string> says;
  };
  const std::string bin = INVRENDER_BIN;
  const std::vector<Case> cases = {
      {"another report named",
       bin + " r01.dat --report 12 -o out.xlsx",
       {"--report 12", "report 12 (sales", "report 01 ("}},
      {"export named otherwise", bin + " KOROt15.csv --report 6 -o out.pdf", {"report 06 (", "shows report 15 ("}},
      {"a full disk", bin + " r01.dat > /dev/full", {"standard output", "the disk is full"}},
      {"no such directory", bin + " r01.dat -o gone/out.xlsx", {"gone/out.xlsx", "no such file or directory"}},
      {"a full device", bin + " r01.dat -o /dev/full --format pdf", {"/dev/full", "the disk is full"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto result = run_process("/bin/sh", {"-c", c.command}, dir.path());
    EXPECT_EQ(result.exit_code, 1);
    for (const std::string& words : c.says) EXPECT_NE(result.err.find(words), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(dir / "out.xlsx") || fs::exists(dir / "out.pdf"));
  }
  // A device is written into, never replaced.
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
  const auto piped =
      run_process("/bin/sh", {"-c", bin + " r01.dat -o /dev/stdout --format pdf | head -c 5"}, dir.path());
  EXPECT_EQ(piped.out, "%PDF-");
}

// A grouped report without sales: the chart says so in every format that
// has one, instead of empty axes.
TEST_F(Sheets, ChartWithoutSalesSaysSo) {
  TempDir dir;
  std::string bytes = read_file(report("12"));
  for (std::size_t at = 134 * 8; at < bytes.size(); at += 134) {
    for (std::size_t c = 19; c < 132; ++c) {
      if (bytes[at + c] != '-') bytes[at + c] = ' ';
    }
  }
  write_file(dir / "r12.dat", bytes);
  for (const std::string format : {"html", "pdf", "xlsx"}) {
    SCOPED_TRACE(format);
    ASSERT_EQ(invrender({"r12.dat", "-o", "out." + format}, dir.path()).exit_code, 0);
    if (format == "xlsx" && !fs::exists(kPython)) continue;
    const std::string shown = format == "pdf"    ? pdf_text(dir / "out.pdf", dir.path())
                              : format == "xlsx" ? sheet_text(dir / "out.xlsx", dir.path())
                                                 : read_file(dir / "out.html");
    EXPECT_NE(shown.find("no sales this cycle"), std::string::npos) << shown.substr(0, 2000);
    EXPECT_EQ(shown.find("data-value"), std::string::npos);
  }
}

}  // namespace
