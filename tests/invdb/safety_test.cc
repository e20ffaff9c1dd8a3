// invdb never hurts the data it is given: each test tries one kind of plain
// mistake as a process and checks the exit status, the message, and that the
// database files are byte for byte as before where nothing should change.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "invdb/test_helpers.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using invdb_test::both_files;
using invdb_test::live_blocks;
using test_support::read_file;
using test_support::run_invdb;
using test_support::run_invreport;
using test_support::TempDir;
using test_support::write_file;

// A sample store S of 300 items in `dir`.
void sample(const TempDir& dir) {
  const auto r = run_invdb({"sample", "S", "--items", "300"}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
}

// Runs invdb and expects exit status 1, a message holding `message`, and
// the database S unchanged.
void expect_refusal(const TempDir& dir, const std::vector<std::string>& args, const std::string& message,
                    std::string_view input = {}) {
  SCOPED_TRACE(args.front() + " " + (args.size() > 2 ? args[2] : ""));
  const std::string before = both_files(dir.path(), "S");
  const auto r = run_invdb(args, dir.path(), input);
  EXPECT_EQ(r.exit_code, 1) << r.out;
  EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
  EXPECT_TRUE(both_files(dir.path(), "S") == before) << "the files changed";
}

TEST(InvdbSafety, ExportNeverWritesOverTheDatabase) {
  TempDir dir;
  sample(dir);
  fs::create_directory(dir / "sub");
  fs::create_hard_link(dir / "S", dir / "sub/copy.csv");
  fs::create_symlink(dir / "S.XXX", dir / "link.csv");
  write_file(dir / "S.JNL", "a journal left behind");
  for (const std::string out : {"S.XXX", "S", "./S.XXX", "sub/../S", "sub/copy.csv", "link.csv", "S.JNL"})
    expect_refusal(dir, {"export", "S", out}, out + " is the database file S");
}

TEST(InvdbSafety, AClosedPipeEndsTheExportWithTheFilesClosed) {
  TempDir dir;
  sample(dir);
  const std::string before = both_files(dir.path(), "S");
  const auto r = test_support::run_process(
      "/bin/bash", {"-c", std::string(INVDB_BIN) + " export S - | head -c 10 >/dev/null; exit ${PIPESTATUS[0]}"},
      dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("invdb: standard output: cannot write: Broken pipe"), std::string::npos) << r.err;
  EXPECT_TRUE(both_files(dir.path(), "S") == before) << "open marks left set or bytes changed";
}

TEST(InvdbSafety, CheckComparesKeyBytesAsUnsigned) {
  TempDir dir;
  {
    test_support::DbBuilder db(dir.path(), "S");
    for (int b = 0x20; b <= 0xFF; ++b) db.add(test_support::make_item(std::string(1, 'A') + static_cast<char>(b)));
  }
  auto r = run_invdb({"check", "S"}, dir.path());
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_NE(r.out.find("clean: 224 items"), std::string::npos) << r.out;
  write_file(dir / "k.csv",
             "StockIndex\n90\xC3\xA9"
             "00\n");  // 90é00, stored with the byte 0xE9
  ASSERT_EQ(run_invdb({"import", "S", "k.csv"}, dir.path()).exit_code, 0);
  r = run_invdb({"check", "S"}, dir.path());
  EXPECT_EQ(r.exit_code, 0) << r.out;
}

TEST(InvdbSafety, AWalkThatMeetsDamageSaysSo) {
  TempDir dir;
  sample(dir);
  fs::resize_file(dir / "S.XXX", fs::file_size(dir / "S.XXX") - 1);
  const auto report = run_invreport({"-RPT", "01", "-F", "S"}, dir.path());
  EXPECT_EQ(report.exit_code, 1);
  EXPECT_NE(report.err.find("invreport: the index could not be read past the key \"12"), std::string::npos)
      << report.err;
  auto r = run_invdb({"export", "S", "x.csv"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("S.XXX: the index could not be read past the key \"12"), std::string::npos) << r.err;
  EXPECT_GT(read_file(dir / "x.csv").size(), 1000u) << "the items before the damage are kept";

  // A root whose first entry leads back to itself: no item is reachable.
  TempDir loop;
  sample(loop);
  std::string index = read_file(loop / "S.XXX");
  const int root = static_cast<unsigned char>(index[0]) | static_cast<unsigned char>(index[1]) << 8;
  const std::size_t pointer = (root - 1) * 128 + 6 + 22 + 1;
  index[pointer] = index[0];
  index[pointer + 1] = index[1];
  write_file(loop / "S.XXX", index);
  r = run_invdb({"export", "S", "x.csv"}, loop.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("could not be read up to the first item; the export stops there, after 0 items"),
            std::string::npos)
      << r.err;
  const auto looped = run_invreport({"-RPT", "09", "-F", "S"}, loop.path());
  EXPECT_EQ(looped.exit_code, 1);
  EXPECT_NE(looped.err.find("could not be read up to the first item; the walk stopped there after 0 items"),
            std::string::npos)
      << looped.err;
}

TEST(InvdbSafety, ImportRefusesTheSameItemTwice) {
  TempDir dir;
  sample(dir);
  write_file(dir / "d.csv", "StockIndex,QOH\n900,1\n901,1\n900,2\n");
  expect_refusal(dir, {"import", "S", "d.csv"}, "d.csv: lines 2 and 4 name the same item");
}

TEST(InvdbSafety, ImportRefusesTextTheReportsCannotCarry) {
  TempDir dir;
  sample(dir);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"StockIndex,LongName\n900,\"TWO\r\nLINES\"\n", "t.csv: line 2, column 2 (LongName): character 4 is the control"},
      {"StockIndex,ShortName\n900,\"A,B\"\n",
       "(ShortName): holds a comma or double quote, which would split the "
       "records of the comma-separated report 2 (they print ShortName"},
      {"StockIndex,Vendor\n900,\"SAY \"\"HI\"\"\"\n", "comma-separated reports 2, 6 and 15"},
      {"StockIndex,LongName\n900,EURO \xE2\x82\xAC\n", "character 6 (U+20AC) does not fit one byte"},
      {"StockIndex,LongName\n900,CAF\xC9\n", "character 4 is not UTF-8 text (byte 0xC9)"},
      {"StockIndex\n\x01"
       "900\n",
       "line 2, column 1 (StockIndex): starts with the byte 0x01, below the blank"},
      {"StockIndex\n\x1F 9 00\n", "(StockIndex): starts with the byte 0x1F"},
      {"StockIndex,KeyRest\n900,\"\x02 A\"\n", "(KeyRest): starts with the byte 0x02"},
  };
  for (const auto& [text, message] : cases) {
    write_file(dir / "t.csv", text);
    expect_refusal(dir, {"import", "S", "t.csv"}, message);
  }
  // Latin-1 characters take one column each; export gives them back as UTF-8.
  write_file(dir / "t.csv", "StockIndex,LongName\n900,CAF\xC3\x89 \xC2\xA0\xC3\xBF\n");
  ASSERT_EQ(run_invdb({"import", "S", "t.csv"}, dir.path()).exit_code, 0);
  const std::string stored = live_blocks(dir.path(), "S").at("12900" + std::string(17, ' '));
  EXPECT_EQ(stored.substr(22, 24), "CAF\xC9 \xA0\xFF" + std::string(17, ' '));
  EXPECT_NE(run_invdb({"export", "S"}, dir.path()).out.find("\r\n900,,CAF\xC3\x89 \xC2\xA0\xC3\xBF,"),
            std::string::npos);
}

TEST(InvdbSafety, RestoreTakesBackExactlyWhatExportWrote) {
  TempDir dir;
  {
    test_support::DbBuilder db(dir.path(), "A");
    report::ItemArea odd = test_support::make_item("ODD");
    for (int b = 0; b < 24; ++b) odd[report::item::LongName.offset + b] = static_cast<std::uint8_t>(0x80 + b);
    report::set_text(odd, report::item::Vendor, "A,B\"\t");
    db.add(odd);
    db.add(test_support::make_item("1 2"));  // a blank inside the key
    db.add(test_support::make_item("\x01LOW"));
    db.add(test_support::make_item("PLAIN"));
  }
  auto r = run_invdb({"export", "A", "a.csv"}, dir.path());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.err.find("item \"12ODD\": LongName character 1 is the control character 0x80"), std::string::npos);
  EXPECT_EQ(r.err.find("121 2"), std::string::npos) << "a blank is an ordinary key byte";
  EXPECT_NE(r.err.find("item \"12\\x01LOW\": StockIndex starts with the byte 0x01"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("PLAIN"), std::string::npos);
  ASSERT_EQ(run_invdb({"create", "B"}, dir.path()).exit_code, 0);
  EXPECT_EQ(run_invdb({"import", "B", "a.csv"}, dir.path()).exit_code, 1);
  r = run_invdb({"import", "B", "a.csv", "--restore"}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  ASSERT_EQ(run_invdb({"export", "B", "b.csv"}, dir.path()).exit_code, 0);
  EXPECT_EQ(read_file(dir / "b.csv"), read_file(dir / "a.csv"));
  EXPECT_TRUE(live_blocks(dir.path(), "A") == live_blocks(dir.path(), "B"));
}

TEST(InvdbSafety, CreateStatesTheCapacityTheFilesHold) {
  TempDir dir;
  auto r = run_invdb({"create", "S", "--capacity", "100"}, dir.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("room for 2046 records"), std::string::npos) << r.out;
  EXPECT_NE(run_invdb({"--help"}, dir.path()).out.find("1 to 2047 give room for 2046"), std::string::npos);
  EXPECT_NE(run_invdb({"stat", "S"}, dir.path()).out.find("0 in use, 2046 free, room for 2046 records"),
            std::string::npos);
}

TEST(InvdbSafety, SampleKeepsAnExistingCategoryFileUnlessForced) {
  TempDir dir;
  write_file(dir / "StoreSales.csv", "DPT 07,Produce,\n");
  auto r = run_invdb({"sample", "S", "--items", "5"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("StoreSales.csv already exists"), std::string::npos) << r.err;
  EXPECT_EQ(read_file(dir / "StoreSales.csv"), "DPT 07,Produce,\n");
  EXPECT_FALSE(fs::exists(dir / "S.XXX"));
  r = run_invdb({"sample", "S", "--items", "5", "--force"}, dir.path());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(read_file(dir / "StoreSales.csv").find("DPT 81,Rentals"), std::string::npos);
}

TEST(InvdbSafety, NamesAreThoseTheReportProgramCanOpen) {
  TempDir dir;
  for (const std::string name : {"A+B", "A~B", "A{B", "A!B", "CAF\xC3\x89", "A.B", "NINECHARS"}) {
    const auto r = run_invdb({"sample", name, "--items", "5"}, dir.path());
    EXPECT_EQ(r.exit_code, 2) << name;  // a command line the tool cannot use
    EXPECT_NE(r.err.find("letters, digits and , - : ; < = > ? @ [ \\ ] ^ _ `"), std::string::npos) << r.err;
  }
  EXPECT_TRUE(fs::is_empty(dir.path()));
  fs::create_directory(dir / "my dir");
  ASSERT_EQ(run_invdb({"sample", "my dir/a-Z_9@", "--items", "5"}, dir.path()).exit_code, 0);
  EXPECT_EQ(run_invreport({"-RPT", "09", "-F", "a-Z_9@"}, dir / "my dir").exit_code, 0);
}

TEST(InvdbSafety, DeleteNamesEveryMissingIndexAndChangesNothing) {
  TempDir dir;
  sample(dir);
  expect_refusal(dir, {"delete", "S", "100123", "100006", "100456"},
                 "invdb: no item with the stock indexes \"100123\", \"100456\"; nothing was deleted\n");
}

TEST(InvdbSafety, OpenFailuresSayWhy) {
  TempDir dir;
  sample(dir);
  const std::string index = read_file(dir / "S.XXX");
  expect_refusal(dir, {"export", "NONE"}, "invdb: NONE.XXX: cannot open: no such file\n");
  std::string bad = index;
  bad[2] = 0;  // key length 0
  write_file(dir / "S.XXX", bad);
  expect_refusal(dir, {"export", "S"}, "S.XXX: cannot open: not an index file: the header's key length 0 is out of");
  write_file(dir / "S.XXX", index.substr(0, 100));
  expect_refusal(dir, {"stat", "S"}, "S.XXX: too short to hold a header (100 bytes)");
  expect_refusal(dir, {"heading", "S", "--left", "x"}, "S.XXX: cannot open: too short to hold a header (100 bytes)");
  write_file(dir / "S.XXX", index);
  if (::geteuid() != 0) {  // permissions do not bind the superuser
    fs::permissions(dir / "S", fs::perms::owner_read);
    // A writer refuses in words; a reader reads the store as it stands.
    expect_refusal(dir, {"heading", "S", "--left", "x"}, "invdb: S: cannot open: permission denied");
    const std::string before = both_files(dir.path(), "S");
    const auto r = run_invdb({"export", "S"}, dir.path());
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.err.find("S: cannot be opened for writing (permission denied)"), std::string::npos) << r.err;
    EXPECT_TRUE(both_files(dir.path(), "S") == before);
  }
  for (const auto& r : {run_invdb({"export", "S"}, dir.path()), run_invdb({"check", "NONE"}, dir.path())})
    EXPECT_EQ(r.err.find("opf"), std::string::npos) << "library routine tags: " << r.err;
}

}  // namespace
