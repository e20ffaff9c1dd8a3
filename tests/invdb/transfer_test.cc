// Headings, keys and export files as a store's keeper meets them, each run as
// a process: the exit status, the message and the files.
#include <sys/resource.h>

#include <algorithm>
#include <csignal>

#include <gtest/gtest.h>

#include "invdb/test_helpers.h"
#include "report_common/control_records.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
namespace control = report::control;
using invdb_test::both_files;
using invdb_test::live_blocks;
using test_support::read_file;
using test_support::run_invdb;
using test_support::run_invreport;
using test_support::TempDir;
using test_support::write_file;

const std::string kCafe = "CORNER CAF\xC3\x89 & GROCERY";  // UTF-8
std::string repeat(const std::string& s, int n) {
  std::string out;
  while (n-- > 0) out += s;
  return out;
}

std::string left_heading(const fs::path& dir, const std::string& name) {
  return live_blocks(dir, name).at(std::string(control::kLeftHeadingKey)).substr(control::kHeadingOffset, 24);
}

// The names in a directory, to show that nothing was left beside a file.
std::string listing(const fs::path& dir) {
  std::string names;
  for (const auto& e : fs::directory_iterator(dir)) names += e.path().filename().string() + " ";
  return names;
}

TEST(InvdbTransfer, HeadingTakesUtf8UnderTheImportTextRules) {
  TempDir dir;
  ASSERT_EQ(run_invdb({"create", "S"}, dir.path()).exit_code, 0);
  struct Case {
    std::string line;
    int status;
    std::string stored_or_message;  // the 24 bytes stored, or the message
  };
  const Case cases[] = {
      {kCafe, 0, "CORNER CAF\xC9 & GROCERY" + std::string(3, ' ')},
      {repeat("\xC3\x89", 17), 0, std::string(17, '\xC9') + std::string(7, ' ')},
      {repeat("\xC3\x89", 24), 0, std::string(24, '\xC9')},
      {repeat("\xC3\x89", 25), 2, "text of 25 characters is longer than 24"},
      {"A\tB", 2, "character 2 is the control character 0x09, which the reports cannot print"},
      {"EURO \xE2\x82\xAC", 2, "character 6 (U+20AC) does not fit one byte; the record holds U+0000 to U+00FF only"},
      {"CAF\xC9", 2, "character 4 is not UTF-8 text (byte 0xC9)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const std::string before = both_files(dir.path(), "S");
    const auto r = run_invdb({"heading", "S", "--left", c.line}, dir.path());
    EXPECT_EQ(r.exit_code, c.status) << r.err;
    if (c.status == 0) {
      EXPECT_EQ(left_heading(dir.path(), "S"), c.stored_or_message);
    } else {
      EXPECT_NE(r.err.find(c.stored_or_message), std::string::npos) << r.err;
      EXPECT_TRUE(both_files(dir.path(), "S") == before) << "the files changed";
    }
  }

  // Shown back as UTF-8, and printed one column per character.
  ASSERT_EQ(run_invdb({"heading", "S", "--left", kCafe, "--right", "STORE 7"}, dir.path()).exit_code, 0);
  const std::string before = both_files(dir.path(), "S");
  auto r = run_invdb({"heading", "S"}, dir.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "left 1: " + kCafe + "\nleft 2:\nleft 3:\nleft 4:\nleft 5:\nleft 6:\n" +
                       "right 1: STORE 7\nright 2:\nright 3:\nright 4:\nright 5:\nright 6:\n");
  r = run_invdb({"heading", "S", "--json"}, dir.path());
  EXPECT_EQ(r.out,
            "{\"left\": [\"CORNER CAF\\u00c9 & GROCERY\", \"\", \"\", \"\", \"\", \"\"], "
            "\"right\": [\"STORE 7\", \"\", \"\", \"\", \"\", \"\"]}\n");
  EXPECT_TRUE(both_files(dir.path(), "S") == before) << "showing changed the files";
  write_file(dir / "i.csv", "StockIndex\n100\n");
  ASSERT_EQ(run_invdb({"import", "S", "i.csv"}, dir.path()).exit_code, 0);
  ASSERT_EQ(run_invreport({"-RPT", "01", "-F", "S", "-DT", "120826"}, dir.path()).exit_code, 0);
  const std::string report = read_file(dir / "OUTF21.DAT");
  EXPECT_EQ(report.substr(0, 26), "1CORNER CAF\xC9 & GROCERY    ");
  EXPECT_EQ(report.substr(108, 26), "STORE 7                 \r\n");

  TempDir empty;
  ASSERT_EQ(run_invdb({"create", "E"}, empty.path()).exit_code, 0);
  EXPECT_EQ(run_invdb({"heading", "E", "--json"}, empty.path()).out, "{\"left\": null, \"right\": null}\n");
}

// Export, create, import: the reports of the new store are the old one's,
// page headers included, over a plain import and a restore alike.
TEST(InvdbTransfer, HeadingsTravelWithTheItems) {
  TempDir dir;
  ASSERT_EQ(run_invdb({"sample", "A", "--items", "300"}, dir.path()).exit_code, 0);
  ASSERT_EQ(
      run_invdb({"heading", "A", "--left", kCafe, "", "1200 MAIN ST, \"EAST\"", "--right", " STORE 7"}, dir.path())
          .exit_code,
      0);
  auto r = run_invdb({"export", "A", "a.csv"}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "exported 300 items and both page headings to a.csv\n");
  const std::string csv = read_file(dir / "a.csv");
  const std::string empty_cells(43, ',');
  EXPECT_NE(csv.find("\r\n(right heading 1),,\" STORE 7\"" + empty_cells + "\r\n(left heading 1),," + kCafe +
                     empty_cells + "\r\n(left heading 2),," + empty_cells +
                     "\r\n(left heading 3),,\"1200 MAIN ST, \"\"EAST\"\"\"" + empty_cells + "\r\n100003,"),
            std::string::npos)
      << csv.substr(0, 1200);
  EXPECT_EQ(run_invdb({"export", "A", "-"}, dir.path()).out, csv);

  const auto reports = [&](const std::string& name) {
    std::string all;
    for (const char* rpt : {"01", "09", "12"}) {
      EXPECT_EQ(run_invreport({"-RPT", rpt, "-F", name, "-DT", "120826"}, dir.path()).exit_code, 0);
      all += read_file(dir / "OUTF21.DAT");
    }
    return all;
  };
  const std::string expected = reports("A");
  for (const std::vector<std::string>& import : {std::vector<std::string>{"import", "B", "a.csv"},
                                                 std::vector<std::string>{"import", "B", "a.csv", "--restore"}}) {
    SCOPED_TRACE(import.back());
    fs::remove(dir / "B");
    fs::remove(dir / "B.XXX");
    ASSERT_EQ(run_invdb({"create", "B"}, dir.path()).exit_code, 0);
    r = run_invdb(import, dir.path());
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "imported 304 rows: 300 items added, 0 updated; both page headings set\n");
    EXPECT_TRUE(reports("B") == expected) << "the reports differ";
    EXPECT_EQ(run_invdb({"export", "B", "-"}, dir.path()).out, csv);
  }

  // A heading that another program wrote with a control character: noted on
  // export, refused by a plain import (nothing written), taken back by a restore.
  {
    test_support::DbBuilder db(dir.path(), "C");
    db.add(test_support::make_item("100"));
    db.add_headings(test_support::heading_text({"OK", "TAB\tHERE"}), test_support::heading_text({}));
  }
  r = run_invdb({"export", "C", "c.csv"}, dir.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err,
            "invdb: heading row (left heading 2): character 4 is the control character 0x09, which the reports "
            "cannot print; only import --restore takes it back\n");
  const std::string before = both_files(dir.path(), "B");
  r = run_invdb({"import", "B", "c.csv"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("c.csv: line 4, column 3 (LongName): (left heading 2): character 4 is the control character"),
            std::string::npos)
      << r.err;
  EXPECT_TRUE(both_files(dir.path(), "B") == before) << "the files changed";
  ASSERT_EQ(run_invdb({"import", "B", "c.csv", "--restore"}, dir.path()).exit_code, 0);
  EXPECT_EQ(live_blocks(dir.path(), "B").at(std::string(control::kLeftHeadingKey)).substr(22, 144),
            test_support::heading_text({"OK", "TAB\tHERE"}));

  // Heading rows a plain import refuses: each names its line and column.
  const std::pair<std::string, std::string> bad[] = {
      {"StockIndex,LongName,QOH\n(left heading 1),X,5\n", "line 2, column 3 (QOH): a heading row holds its text"},
      {"StockIndex,LongName\n(left heading 1),X\n(left heading 1),Y\n", "lines 2 and 3 give the same heading line"},
      {"StockIndex,LongName\n(left heading 1)," + repeat("\xC3\x89", 25) + "\n", "text of 25 characters is longer"},
      {"StockIndex,LongName\n(left heading 7),X\n", "(StockIndex): text of 16 characters is longer"},
  };
  for (const auto& [text, message] : bad) {
    write_file(dir / "h.csv", text);
    r = run_invdb({"import", "B", "h.csv"}, dir.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
  }
  EXPECT_TRUE(both_files(dir.path(), "B") != before);  // the restore above
}

// Blanks are ordinary key bytes, and a stock index may begin with "-".
TEST(InvdbTransfer, KeysWithBlanksAndDashes) {
  TempDir dir;
  ASSERT_EQ(run_invdb({"create", "S"}, dir.path()).exit_code, 0);
  write_file(dir / "k.csv",
             "StockIndex,KeyRest,LongName\n\"      123456\",,RIGHT-JUSTIFIED\nAB 12,,INSIDE\n900,\" A\",KEYREST\n"
             "-5001,,DASH\n-A7,,DASH LETTER\n90\xC3\xA9"
             "00,,ACCENT\n");
  auto r = run_invdb({"import", "S", "k.csv"}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const auto blocks = live_blocks(dir.path(), "S");
  const auto key = [](std::string stock_index, std::string rest) {
    stock_index.resize(12, ' ');
    rest.resize(8, ' ');
    return "12" + stock_index + rest;
  };
  for (const std::string& k : {key("      123456", ""), key("AB 12", ""), key("900", " A")})
    EXPECT_TRUE(blocks.contains(k)) << k;
  ASSERT_EQ(run_invreport({"-RPT", "01", "-F", "S"}, dir.path()).exit_code, 0);
  EXPECT_NE(read_file(dir / "OUTF21.DAT").find("      123456"), std::string::npos);

  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;  // on standard error, or (status 0) standard output
  };
  const Case cases[] = {
      {{"delete", "S", "-A7"}, 2, "a stock index that begins with \"-\" goes after \"--\": invdb delete NAME -- -5001"},
      {{"delete", "S", "AB 12", "-A7"}, 2, "goes after \"--\""},
      {{"delete", "S", "--", "-A7", "-NONE"}, 1, "no item with the stock index \"-NONE\"; nothing was deleted"},
      {{"delete", "S", "AB 12", "--", "-A7", "-5001"}, 0, "deleted 3 items"},
      {{"delete", "S", "--", "      123456"}, 0, "deleted 1 item"},
      {{"delete", "S",
        "90\xC3\xA9"
        "00"},
       0,
       "deleted 1 item"},  // UTF-8, as in the CSV
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    const std::string before = both_files(dir.path(), "S");
    r = run_invdb(c.args, dir.path());
    EXPECT_EQ(r.exit_code, c.status) << r.err;
    EXPECT_NE((c.status == 0 ? r.out : r.err).find(c.message), std::string::npos) << r.out << r.err;
    if (c.status != 0) { EXPECT_TRUE(both_files(dir.path(), "S") == before) << "the files changed"; }
  }
  EXPECT_EQ(live_blocks(dir.path(), "S").size(), 1u);
  EXPECT_NE(run_invdb({"help", "delete"}, dir.path()).out.find("after \"--\""), std::string::npos);
}

// Items that only a restore takes back: the first ten named, then a count.
TEST(InvdbTransfer, ExportNotesAreShort) {
  TempDir dir;
  {
    test_support::DbBuilder db(dir.path(), "S");
    for (int i = 0; i < 400; ++i) {
      report::ItemArea item = test_support::make_item(std::to_string(1000 + i));
      report::set_text(item, report::item::LongName, "TAB\tNAME");
      db.add(item);
    }
  }
  const auto lines = [](const std::string& text) { return std::count(text.begin(), text.end(), '\n'); };
  auto r = run_invdb({"export", "S", "x.csv"}, dir.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(lines(r.err), 11) << r.err;
  EXPECT_NE(r.err.find("invdb: item \"121009\": LongName character 4 is the control character 0x09"),
            std::string::npos);
  EXPECT_EQ(r.err.find("121010"), std::string::npos);
  EXPECT_NE(r.err.find("\ninvdb: and 390 more that only import --restore takes back (400 in all; --verbose names "
                       "every one)\n"),
            std::string::npos)
      << r.err;
  r = run_invdb({"export", "S", "--verbose"}, dir.path());
  EXPECT_EQ(lines(r.err), 400);
  EXPECT_NE(r.err.find("\"121399\""), std::string::npos);
}

// A full disk (files limited in size) halfway through an export: no file is
// left behind, an old one stays as it was.
TEST(InvdbTransfer, AFailedExportLeavesNoPartialFile) {
  TempDir dir;
  ASSERT_EQ(run_invdb({"sample", "S", "--items", "300"}, dir.path()).exit_code, 0);
  ASSERT_EQ(run_invdb({"export", "S", "old.csv"}, dir.path()).exit_code, 0);
  write_file(dir / "old.csv", "an older export\n");
  const std::string files = listing(dir.path()), db = both_files(dir.path(), "S");
  rlimit saved;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 20000;  // the export is some 90 KB
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const auto old_file = run_invdb({"export", "S", "old.csv"}, dir.path());
  const auto new_file = run_invdb({"export", "S", "new.csv"}, dir.path());
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  for (const auto& r : {old_file, new_file}) {
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find(".csv: cannot write: File too large; nothing was written\n"), std::string::npos) << r.err;
  }
  EXPECT_EQ(read_file(dir / "old.csv"), "an older export\n");
  EXPECT_EQ(listing(dir.path()), files) << "a file was left behind";
  EXPECT_TRUE(both_files(dir.path(), "S") == db);
  // Whole, it replaces the old file and keeps its permissions.
  fs::permissions(dir / "old.csv", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_EQ(run_invdb({"export", "S", "old.csv"}, dir.path()).exit_code, 0);
  EXPECT_EQ(read_file(dir / "old.csv"), run_invdb({"export", "S"}, dir.path()).out);
  EXPECT_EQ(fs::status(dir / "old.csv").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(run_invdb({"export", "S", "/dev/null"}, dir.path()).exit_code, 0) << "written in place";
}

}  // namespace
