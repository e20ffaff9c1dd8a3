// Programs meeting on one database: two imports started together both take
// effect, one after the other (or one is refused and changes nothing); a
// report run during an import equals the report before it or after it; a
// mark left by a program that did not close keeps writers out until it is
// cleared after a clean check.
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace invdb_test {
namespace {

namespace fs = std::filesystem;
using test_support::run_invdb;
using test_support::run_invreport;

class TwoPrograms : public ::testing::Test {
 protected:
  // A store of 400 items in `dir`/work, and two import files made from other
  // stores (their stock indexes partly meet the store's).
  TwoPrograms() {
    for (const char* sub : {"work", "a", "b"}) fs::create_directory(dir_.path() / sub);
    EXPECT_EQ(run_invdb({"sample", "DB", "--items", "400", "--seed", "1"}, work()).exit_code, 0);
    for (const auto& [sub, seed] : {std::pair{"a", "2"}, {"b", "3"}}) {
      const fs::path d = dir_.path() / sub;
      EXPECT_EQ(run_invdb({"sample", "SRC", "--items", "600", "--seed", seed}, d).exit_code, 0);
      EXPECT_EQ(run_invdb({"export", "SRC", (d / "rows.csv").string()}, d).exit_code, 0);
    }
  }
  fs::path work() const { return dir_.path() / "work"; }
  std::string rows(const char* sub) const { return (dir_.path() / sub / "rows.csv").string(); }
  std::string export_of(const fs::path& d) const { return run_invdb({"export", "DB"}, d).out; }
  // The store after the imports `first` and `second` (empty: none) run one
  // after the other, in a copy.
  std::string serial(const std::string& first, const std::string& second) {
    const fs::path copy = dir_.path() / "copy";
    fs::remove_all(copy);
    fs::create_directory(copy);
    for (const char* f : {"DB", "DB.XXX"}) fs::copy_file(work() / f, copy / f);
    for (const std::string& csv : {first, second})
      if (!csv.empty()) { EXPECT_EQ(run_invdb({"import", "DB", csv}, copy).exit_code, 0); }
    return export_of(copy);
  }

  test_support::TempDir dir_;
};

TEST_F(TwoPrograms, ImportsTakeEffectOneAfterTheOther) {
  const std::string ab = serial(rows("a"), rows("b")), ba = serial(rows("b"), rows("a"));
  const std::string only_a = serial(rows("a"), ""), only_b = serial(rows("b"), "");
  test_support::ProcessResult ra, rb;
  std::thread ta([&] { ra = run_invdb({"import", "DB", rows("a")}, work()); });
  std::thread tb([&] { rb = run_invdb({"import", "DB", rows("b")}, work()); });
  ta.join();
  tb.join();
  const std::string now = export_of(work());
  if (ra.exit_code == 0 && rb.exit_code == 0) {
    EXPECT_TRUE(now == ab || now == ba);
  } else {
    // Refused: it waited its time, said so and changed nothing.
    const auto& refused = ra.exit_code == 0 ? rb : ra;
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_NE(refused.err.find("in use by another program"), std::string::npos) << refused.err;
    EXPECT_TRUE(now == (ra.exit_code == 0 ? only_a : only_b));
  }
  EXPECT_EQ(run_invdb({"check", "DB"}, work()).exit_code, 0);
}

TEST_F(TwoPrograms, ReportDuringAnImportSeesBeforeOrAfter) {
  const std::vector<std::string> report = {"-RPT", "09", "-F", "DB", "-DT", "120826"};
  ASSERT_EQ(run_invreport(report, work()).exit_code, 0);
  const std::string before = test_support::read_file(work() / "OUTF21.DAT");
  test_support::ProcessResult import, during;
  std::thread writer([&] { import = run_invdb({"import", "DB", rows("a")}, work()); });
  during = run_invreport(report, work());
  writer.join();
  ASSERT_EQ(import.exit_code, 0) << import.err;
  EXPECT_EQ(during.exit_code, 0) << during.err;
  const std::string seen = test_support::read_file(work() / "OUTF21.DAT");
  ASSERT_EQ(run_invreport(report, work()).exit_code, 0);
  const std::string after = test_support::read_file(work() / "OUTF21.DAT");
  EXPECT_NE(before, after);
  EXPECT_TRUE(seen == before || seen == after);
}

}  // namespace
}  // namespace invdb_test

namespace invdb_test {
namespace {

// A mark left set by a program that did not close the database: a writer
// that finds nothing else wrong clears it with one notice and goes on; one
// that finds damage too refuses, names it and changes nothing, and so does
// clear-mark.
TEST(OpenMark, WritersClearADeadProgramsMarksOnlyAfterACleanCheck) {
  test_support::TempDir dir;
  ASSERT_EQ(run_invdb({"sample", "DB", "--items", "100"}, dir.path()).exit_code, 0);
  const std::string clean = test_support::read_file(dir.path() / "DB");
  std::string records = clean;
  records[8] = 1;
  std::string damaged = records;
  damaged[11] = 7;  // header bytes 10-255 must be zero
  test_support::write_file(dir.path() / "DB", damaged);
  const auto refused = run_invdb({"heading", "DB", "--left", "X"}, dir.path());
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_NE(refused.err.find("DB is marked open and its check finds 1 other problem (DB: header bytes 10-255 are "
                             "not zero); run \"invdb check DB\"; nothing was changed"),
            std::string::npos)
      << refused.err;
  EXPECT_EQ(test_support::read_file(dir.path() / "DB"), damaged);
  EXPECT_EQ(run_invdb({"clear-mark", "DB"}, dir.path()).exit_code, 1);
  EXPECT_EQ(test_support::read_file(dir.path() / "DB"), damaged);

  test_support::write_file(dir.path() / "DB", records);
  const auto cleared = run_invdb({"heading", "DB", "--left", "X"}, dir.path());
  EXPECT_EQ(cleared.exit_code, 0) << cleared.err;
  EXPECT_EQ(cleared.err,
            "invdb: DB was marked open by a program that stopped without closing it; the files check clean "
            "otherwise, so the marks were cleared\n");
  EXPECT_EQ(run_invdb({"check", "DB"}, dir.path()).exit_code, 0);
  test_support::write_file(dir.path() / "DB", records);
  EXPECT_EQ(run_invdb({"clear-mark", "DB"}, dir.path()).exit_code, 0);
  EXPECT_EQ(test_support::read_file(dir.path() / "DB"), clean);
}

}  // namespace
}  // namespace invdb_test
