// The command line a new user tries, run as a process: the help and version
// texts, and for every doubtful command line the words standard error gains
// while standard output and the exit status stay what they always were.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "driver/help.h"
#include "support/test_support.h"

namespace {

using test_support::run_invreport;

constexpr std::string_view kPrompt = " NNNNNNNN      INPUT   File name \n";
constexpr std::string_view kUnableToOpen = "\n\n Unable to open data base\n";
const std::string kSyntaxError = " Syntax error\n" + std::string(kUnableToOpen);

struct Row {
  std::vector<std::string> args;
  std::string input;  // standard input
  int exit_code;
  // Standard output exactly, or (when `same_as` is given) exactly what the
  // command line `same_as` prints, a run without anything to note.
  std::string out;
  std::vector<std::string> same_as;
  std::vector<std::string> err_words;  // each found on standard error
  std::string cwd = ".";               // under the test directory
};

TEST(InvreportCommandLine, EveryTriedCommandLine) {
  test_support::TempDir dir;
  std::filesystem::create_directory(dir / "demo");
  ASSERT_EQ(test_support::run_invdb({"sample", "STOCK", "--items", "40"}, dir / "demo").exit_code, 0);
  const std::string help = driver::help_text();
  const std::string version = driver::version_text();
  const Row rows[] = {
      // Help and version, alone on the command line.
      {{"--help"}, "", 0, help, {}, {}},
      {{"-h"}, "", 0, help, {}, {}},
      {{"--version"}, "", 0, version, {}, {}},
      // Anything else runs as before: the prompt, " Syntax error".
      {{}, "", 2, std::string(kPrompt) + kSyntaxError, {}, {"no -RPT option", "invreport --help lists them"}},
      {{"--help", "-F", "X"}, "", 2, kSyntaxError, {}, {"--help is taken only alone"}},
      // -RPT: two characters, names exact.
      {{"-RPT", "9", "-F", "STOCK"}, "", 2, kSyntaxError, {}, {"exactly two characters, as in 09"}},
      {{"-RPT", "007", "-F", "STOCK"}, "", 2, kSyntaxError, {}, {"exactly two characters; the reports are 01 to 15"}},
      {{"-RPT", "16", "-F", "STOCK"}, "", 2, kSyntaxError, {}, {"-RPT \"16\": no such report"}},
      {{"-RPT", "-F", "STOCK"}, "", 2, kSyntaxError, {}, {"-RPT has no value"}},
      {{"-rpt", "09", "-F", "STOCK"},
       "",
       2,
       kSyntaxError,
       {},
       {"\"-rpt\" is not an option: option names are exact, case included (-RPT)", "no -RPT option"}},
      {{"-RPT", "09", "-f", "STOCK", "-DT", "123108"},
       "STOCK\n",
       0,
       "",
       {"-RPT", "09", "-DT", "123108"},
       {"\"-f\" is not an option", "(-F)"},
       "demo"},
      // -DT: six digits and a real date, else said so.
      {{"-RPT", "09", "-F", "STOCK", "-DT", "1231"},
       "",
       0,
       "",
       {"-RPT", "09", "-F", "STOCK"},
       {"-DT \"1231\": the run date takes six digits, MMDDYY; today's date ", " is used instead"},
       "demo"},
      {{"-RPT", "09", "-F", "STOCK", "-DT", "133226"},
       "",
       0,
       "",
       {},
       {"-DT \"133226\": not a real date (there is no month 13); the page headers print it as 13-32-26, with the "
        "period \"JANUARY 26\""},
       "demo"},
      {{"-RPT", "09", "-F", "STOCK", "-DT", "023008"}, "", 0, "", {}, {"month 02 has no day 30"}, "demo"},
      {{"-RPT", "09", "-F", "STOCK", "-DT", "12ab08"}, "", 0, "", {}, {"it is not six digits"}, "demo"},
      // -F: 8 characters, no directory.
      {{"-RPT", "09", "-F", "demo/STOCK"},
       "",
       1,
       std::string(kUnableToOpen),
       {},
       {"a database name has at most 8 characters; the first 8, \"demo/STO\", are taken",
        "the name holds a directory, but invreport writes its report (and report 12 reads StoreSales.csv) in the "
        "directory it runs in; run it in the database's directory: change to \"demo\" and give -F \"STOCK\"",
        "cannot open the index file demo/STO.XXX"}},
      {{"-RPT", "09", "-F", "STOCK~"},
       "",
       0,
       "",
       {"-RPT", "09", "-F", "STOCK"},
       {"\"~\" cannot stand in a database name, so the name ends before it: \"STOCK\""},
       "demo"},
  };
  for (const Row& row : rows) {
    std::string shown;
    for (const std::string& a : row.args) shown += " " + a;
    SCOPED_TRACE("invreport" + shown);
    const std::filesystem::path cwd = dir / row.cwd;
    const auto r = run_invreport(row.args, cwd, row.input);
    EXPECT_EQ(r.exit_code, row.exit_code) << r.err;
    if (!row.same_as.empty()) {
      const auto plain = run_invreport(row.same_as, cwd, row.input);
      EXPECT_EQ(r.out, plain.out);
      EXPECT_EQ(plain.err, "");
    } else if (!row.out.empty()) {
      EXPECT_EQ(r.out, row.out);
    }
    for (const std::string& words : row.err_words) EXPECT_NE(r.err.find(words), std::string::npos) << r.err;
    if (row.err_words.empty()) { EXPECT_EQ(r.err, ""); }
  }
  // The date taken as it stands reaches the page header.
  ASSERT_EQ(run_invreport({"-RPT", "09", "-F", "STOCK", "-DT", "133226"}, dir / "demo").exit_code, 0);
  const std::string report = test_support::read_file(dir / "demo" / "OUTF21.DAT");
  ASSERT_GT(report.size(), 3 * 134u);
  EXPECT_EQ(report.substr(2 * 134 + 61, 12), "JANUARY   26");
  EXPECT_EQ(report.substr(4 * 134 + 100, 12), "Run 13-32-26");
}

TEST(InvreportCommandLine, HelpListsEveryReportWithItsTitle) {
  const std::string help = driver::help_text();
  for (const std::string_view line : {"  05  Below Minimum Stock Status    below minimum",
                                      "  14  Sales & VALUE by Vendor       sales and value by vendor",
                                      "  15  export file KOROt15.csv       item export file", "--dept N",
                                      "--from INDEX", "  2  a command line it cannot use"})
    EXPECT_NE(help.find(line), std::string::npos) << line;
}

}  // namespace
