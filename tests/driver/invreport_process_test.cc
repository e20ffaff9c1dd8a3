// The program run as a process: console text and exit status of its exits.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "support/test_support.h"

namespace {

using test_support::run_invreport;

constexpr std::string_view kPrompt = " NNNNNNNN      INPUT   File name \n";
constexpr std::string_view kUnableToOpen = "\n\n Unable to open data base\n";

std::string syntax_error() { return " Syntax error\n" + std::string(kUnableToOpen); }

TEST(InvreportProcess, ReportNumberOutOfRangeIsASyntaxError) {
  test_support::TempDir dir;
  for (const std::vector<std::string>& args : {std::vector<std::string>{"-RPT", "16", "-F", "X"},
                                               {"-RPT", "00", "-F", "X"},
                                               {"-RPT", "ab", "-F", "X"},
                                               {"-RPT", "7", "-F", "X"},
                                               {"-RPT", "007", "-F", "X"},
                                               {"-F", "X"},
                                               {"-F", "X", "-RPT"},
                                               {"-RPT", "-F", "X"},
                                               {"-rpt", "07", "-F", "X"}}) {
    const auto r = run_invreport(args, dir.path());
    EXPECT_EQ(r.out, syntax_error()) << args[0] << " " << args[1];
    EXPECT_EQ(r.exit_code, 2) << args[0] << " " << args[1];
    EXPECT_NE(r.err, "");
  }
}

TEST(InvreportProcess, MissingDatabaseCannotBeOpened) {
  test_support::TempDir dir;
  for (const std::vector<std::string>& args : {std::vector<std::string>{"-RPT", "07", "-F", "NOSUCH"},
                                               {"-RPT", "7x", "-F", "NOSUCH"},
                                               {"-RPT", "15", "-F", "NOSUCH", "-DT", "123108"}}) {
    const auto r = run_invreport(args, dir.path());
    EXPECT_EQ(r.out, kUnableToOpen);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("NOSUCH.XXX"), std::string::npos) << r.err;
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "nothing is created";
}

TEST(InvreportProcess, PromptsForTheNameBeforeCheckingTheReportNumber) {
  test_support::TempDir dir;
  auto r = run_invreport({"-RPT", "01"}, dir.path(), "NOSUCH\n");
  EXPECT_EQ(r.out, std::string(kPrompt) + std::string(kUnableToOpen));
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("NOSUCH.XXX"), std::string::npos) << r.err;

  r = run_invreport({"-RPT", "16"}, dir.path(), "NOSUCH\n");
  EXPECT_EQ(r.out, std::string(kPrompt) + syntax_error());
  EXPECT_EQ(r.exit_code, 2);
}

TEST(InvreportProcess, InputEndingAtThePromptIsAnEmptyName) {
  test_support::TempDir dir;
  const auto r = run_invreport({"-RPT", "01"}, dir.path());
  EXPECT_EQ(r.out, std::string(kPrompt) + std::string(kUnableToOpen));
  EXPECT_EQ(r.exit_code, 1);
}

TEST(InvreportProcess, AConsoleThatCannotBeWrittenFailsTheRun) {
  test_support::TempDir dir;
  { test_support::DbBuilder db(dir.path(), "DB"); }
  // Standard output on a full device: the completion lines cannot go out.
  const auto run = [&](const std::string& args) {
    return test_support::run_process("/bin/sh", {"-c", "exec \"$0\" " + args + " >/dev/full", INVREPORT_BIN},
                                     dir.path());
  };
  auto r = run("-RPT 01 -F DB");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "invreport: cannot write to standard output: No space left on device\n");
  r = run("-RPT 99 -F DB");
  EXPECT_EQ(r.exit_code, 2) << "a syntax error stays one";
}

}  // namespace

// The work file is written beside the old one and renamed into place: a run
// whose write fails midway leaves the old file whole, and a database left
// marked open is read with one warning.
TEST(InvreportProcess, FailedWriteKeepsTheOldWorkFile) {
  test_support::TempDir dir;
  ASSERT_EQ(test_support::run_invdb({"sample", "DB", "--items", "300"}, dir.path()).exit_code, 0);
  ASSERT_EQ(run_invreport({"-RPT", "01", "-F", "DB", "-DT", "120826"}, dir.path()).exit_code, 0);
  const std::string old = test_support::read_file(dir.path() / "OUTF21.DAT");
  // Files may grow to a quarter of the old report: the new one is cut short.
  rlimit saved;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = old.size() / 4;
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const auto r = run_invreport({"-RPT", "09", "-F", "DB", "-DT", "120826"}, dir.path());
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("cannot write OUTF21.DAT"), std::string::npos) << r.err;
  EXPECT_EQ(test_support::read_file(dir.path() / "OUTF21.DAT"), old);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "OUTF21.DAT.tmp"));

  std::string index = test_support::read_file(dir.path() / "DB.XXX");
  index[8] = 1;
  test_support::write_file(dir.path() / "DB.XXX", index);
  const auto marked = run_invreport({"-RPT", "01", "-F", "DB", "-DT", "120826"}, dir.path());
  EXPECT_EQ(marked.exit_code, 0);
  EXPECT_EQ(test_support::read_file(dir.path() / "OUTF21.DAT"), old);
  EXPECT_NE(marked.err.find("open mark is set"), std::string::npos) << marked.err;
  EXPECT_EQ(test_support::read_file(dir.path() / "DB.XXX"), index);  // the mark is left as found
}
