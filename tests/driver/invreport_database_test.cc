// The program run as a process over a database built through the library.
#include <filesystem>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::run_invreport;

constexpr std::string_view kCompletionTitle = "1      Korvane   INVENTORY REPORTS        COMPLETION\n";

// A database of control records only: the report is never called, so the
// console shows the driver's own lines alone.
void build_empty(const fs::path& dir, std::string_view name) {
  test_support::DbBuilder db(dir, name);
  db.add_headings(test_support::heading_text({"L"}), test_support::heading_text({"R"}));
}

TEST(InvreportDatabase, CompletionShowsTheNamePaddedToEightAndABlankExtension) {
  test_support::TempDir dir;
  build_empty(dir.path(), "STOCK");
  const auto r = run_invreport({"-RPT", "01", "-F", "STOCK"}, dir.path());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, std::string(kCompletionTitle) + " STOCK      \n");
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(fs::exists(dir / "OUTF21.DAT")) << "a report never called leaves no file";
}

TEST(InvreportDatabase, TheNameFromThePrompt) {
  test_support::TempDir dir;
  build_empty(dir.path(), "SHOP");
  const auto r = run_invreport({"-RPT", "09"}, dir.path(), "SHOP\n");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, " NNNNNNNN      INPUT   File name \n" + std::string(kCompletionTitle) + " SHOP       \n");
}

TEST(InvreportDatabase, TheFileNamesEndAtTheFirstBlankOrReplacedCharacter) {
  test_support::TempDir dir;
  build_empty(dir.path(), "STO");
  auto r = run_invreport({"-RPT", "01", "-F", "STO CK"}, dir.path());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, std::string(kCompletionTitle) + " STO CK     \n");
  r = run_invreport({"-RPT", "01", "-F", "STO+CKS9LONGER"}, dir.path());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, std::string(kCompletionTitle) + " STO CKS9   \n");
}

// Bytes 8-9 of a database file's header: 1 while open, 0 after a close.
int open_mark(const fs::path& file) {
  const std::string bytes = test_support::read_file(file);
  if (bytes.size() < 10) return -1;
  return static_cast<unsigned char>(bytes[8]) | static_cast<unsigned char>(bytes[9]) << 8;
}

TEST(InvreportDatabase, BothFilesAreClosedAfterTheRun) {
  test_support::TempDir dir;
  {
    test_support::DbBuilder db(dir.path(), "STOCK");
    db.add(test_support::make_item("A"));
  }
  const auto r = run_invreport({"-RPT", "01", "-F", "STOCK"}, dir.path());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(open_mark(dir / "STOCK.XXX"), 0);
  EXPECT_EQ(open_mark(dir / "STOCK"), 0);
}

TEST(InvreportDatabase, MissingRecordFileGivesTheCompletionLinesAndFails) {
  test_support::TempDir dir;
  build_empty(dir.path(), "STOCK");
  fs::remove(dir / "STOCK");
  const auto r = run_invreport({"-RPT", "01", "-F", "STOCK"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, std::string(kCompletionTitle) + " STOCK      \n");
  EXPECT_NE(r.err.find("STOCK"), std::string::npos);
  EXPECT_EQ(open_mark(dir / "STOCK.XXX"), 0) << "the index file is closed all the same";
}

}  // namespace
