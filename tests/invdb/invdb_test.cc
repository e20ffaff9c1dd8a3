// Every sub-command of invdb, run as a process.
#include <gtest/gtest.h>

#include "invdb/test_helpers.h"
#include "report_common/control_records.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using invdb_test::both_files;
using invdb_test::live_blocks;
using test_support::read_file;
using test_support::run_invdb;
using test_support::TempDir;
using test_support::write_file;
namespace control = report::control;

std::string key_of(const std::string& stock_index) {
  std::string k = "12" + stock_index;
  k.resize(22, ' ');
  return k;
}

void create(const TempDir& dir, const std::string& name = "DB") {
  const auto r = run_invdb({"create", name, "--capacity", "500"}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
}

TEST(Invdb, HelpAndBadCommandLines) {
  TempDir dir;
  auto r = run_invdb({"--help"}, dir.path());
  EXPECT_EQ(r.exit_code, 0);
  for (const char* c : {"create", "import", "export", "heading", "delete", "check", "stat", "dump", "sample"})
    EXPECT_NE(r.out.find(std::string("  ") + c + " NAME"), std::string::npos) << c;
  EXPECT_EQ(run_invdb({}, dir.path()).exit_code, 2);
  r = run_invdb({"frobnicate", "DB"}, dir.path());
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.err, "invdb: unknown command \"frobnicate\"\n(invdb help lists every command)\n");
  EXPECT_EQ(run_invdb({"create"}, dir.path()).exit_code, 2);
  EXPECT_EQ(run_invdb({"create", "DB", "--capacity", "40000"}, dir.path()).exit_code, 2);
  EXPECT_EQ(run_invdb({"sample", "DB", "--items", "x"}, dir.path()).exit_code, 2);
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(Invdb, CreateMakesEmptyCleanFilesAndNeverOverwrites) {
  TempDir dir;
  fs::create_directory(dir / "sub");
  auto r = run_invdb({"create", "sub/DB"}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(fs::exists(dir / "sub/DB.XXX"));
  // The default capacity of 32767 needs 16 map blocks: header, maps, root.
  EXPECT_EQ(fs::file_size(dir / "sub/DB.XXX"), 18u * 256);
  r = run_invdb({"check", "sub/DB"}, dir.path());
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_NE(r.out.find("clean: 0 items"), std::string::npos);

  const std::string before = both_files(dir / "sub", "DB");
  r = run_invdb({"create", "DB"}, dir / "sub");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "invdb: DB.XXX already exists; nothing was created\n");
  EXPECT_TRUE(both_files(dir / "sub", "DB") == before) << "the files changed";
  // Only the record file there: the index file is not created either.
  write_file(dir / "R", "keep");
  EXPECT_EQ(run_invdb({"create", "R"}, dir.path()).exit_code, 1);
  EXPECT_FALSE(fs::exists(dir / "R.XXX"));
  EXPECT_EQ(read_file(dir / "R"), "keep");
  r = run_invdb({"create", "TOOLONGNAME"}, dir.path());
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("1 to 8 characters"), std::string::npos);
  EXPECT_EQ(run_invdb({"create", "nodir/DB"}, dir.path()).exit_code, 1);
}

TEST(Invdb, ImportAddsAndUpdatesInFileOrder) {
  TempDir dir;
  create(dir);
  write_file(dir / "a.csv",
             "StockIndex,LongName,Price,QOH,Cat\r\n"
             "200,\"Hammer claw\",12990,5,2\r\n"
             "100,Nails,250,1000,90\r\n");
  auto r = run_invdb({"import", "DB", "a.csv"}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "imported 2 rows: 2 items added, 0 updated\n");
  write_file(dir / "a2.csv", "StockIndex,LongName,Price,QOH,Cat\r\n200,,,7,\r\n");  // an update of one item
  r = run_invdb({"import", "DB", "a2.csv"}, dir.path());
  EXPECT_EQ(r.out, "imported 1 rows: 0 items added, 1 updated\n");
  r = run_invdb({"export", "DB"}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("\r\n100,,Nails,"), std::string::npos) << r.out;
  const std::size_t hammer = r.out.find("\r\n200,,Hammer claw,");
  ASSERT_NE(hammer, std::string::npos);
  EXPECT_LT(r.out.find("\r\n100,"), hammer);  // key order
  const auto blocks = live_blocks(dir.path(), "DB");
  ASSERT_EQ(blocks.size(), 2u);
  report::ItemArea item;
  std::copy_n(blocks.at(key_of("200")).begin(), 256, item.begin());
  EXPECT_EQ(report::i32(item, report::item::QOH), 7);
  EXPECT_EQ(report::i32(item, report::item::Price), 12990);
  EXPECT_EQ(report::i16(item, report::item::Cat), 2);

  // A second import updates in place: no new block, no new key.
  write_file(dir / "b.csv", "StockIndex,QOH\n100,999\n");
  ASSERT_EQ(run_invdb({"import", "DB", "b.csv"}, dir.path()).exit_code, 0);
  const auto after = live_blocks(dir.path(), "DB");
  ASSERT_EQ(after.size(), 2u);
  EXPECT_EQ(report::i32(*reinterpret_cast<const report::ItemArea*>(after.at(key_of("100")).data()), report::item::QOH),
            999);
  EXPECT_EQ(run_invdb({"check", "DB"}, dir.path()).exit_code, 0);
  // "-" reads standard input.
  r = run_invdb({"import", "DB", "-"}, dir.path(), "StockIndex\n300\n");
  EXPECT_EQ(r.out, "imported 1 rows: 1 items added, 0 updated\n") << r.err;
}

TEST(Invdb, BadImportsWriteNothingAndNameLineAndColumn) {
  TempDir dir;
  create(dir);
  write_file(dir / "seed.csv", "StockIndex,QOH\n1,1\n");
  ASSERT_EQ(run_invdb({"import", "DB", "seed.csv"}, dir.path()).exit_code, 0);
  const std::string before = both_files(dir.path(), "DB");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"StockIndex,QOH\n2,1\n3,\"4\n", "bad.csv: line 3, column 2: quoted field is never closed"},
      {"StockIndex,QOH\n2,1\n3,4\"\n", "bad.csv: line 3, column 2: quote inside an unquoted field"},
      {"StockIndex,Weight\n2,1\n", "bad.csv: line 1, column 2 (Weight): unknown column"},
      {"StockIndex,Tx\n2,1\n3,40000\n",
       "bad.csv: line 3, column 2 (Tx): 40000 does not fit the field (-32768 to 32767)"},
      {"StockIndex,ShortName\n2,x\n3,THIRTEEN CHRS\n", "bad.csv: line 3, column 2 (ShortName): text of 13 characters"},
      {"QOH,StockIndex\n1,2\n1,\n", "bad.csv: line 3, column 2 (StockIndex): StockIndex is empty"},
  };
  for (const auto& [text, message] : cases) {
    SCOPED_TRACE(text);
    write_file(dir / "bad.csv", text);
    const auto r = run_invdb({"import", "DB", "bad.csv"}, dir.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err.rfind("invdb: " + message, 0), 0u) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(both_files(dir.path(), "DB") == before) << "the files changed";
  }
  auto r = run_invdb({"import", "DB", "none.csv"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("none.csv: cannot open"), std::string::npos);
  r = run_invdb({"import", "MISSING", "seed.csv"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "invdb: MISSING.XXX: cannot open: no such file\n");
  EXPECT_FALSE(fs::exists(dir / "MISSING.XXX"));
  EXPECT_FALSE(fs::exists(dir / "MISSING"));
}

TEST(Invdb, ImportRefusesMoreNewItemsThanFreeBlocks) {
  TempDir dir;
  // Capacity 10 still gives one map block: 2046 data blocks.
  ASSERT_EQ(run_invdb({"create", "DB", "--capacity", "10"}, dir.path()).exit_code, 0);
  std::string text = "StockIndex\n";
  for (int i = 0; i < 2047; ++i) text += std::to_string(10000 + i) + "\n";
  write_file(dir / "big.csv", text);
  const std::string before = both_files(dir.path(), "DB");
  const auto r = run_invdb({"import", "DB", "big.csv"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("2047 new items, but only 2046 free blocks"), std::string::npos) << r.err;
  EXPECT_TRUE(both_files(dir.path(), "DB") == before) << "the files changed";
}

TEST(Invdb, ExportImportRoundTripOverTheSampleStore) {
  TempDir dir;
  ASSERT_EQ(run_invdb({"sample", "A", "--items", "700", "--seed", "9"}, dir.path()).exit_code, 0);
  auto r = run_invdb({"export", "A", "a.csv"}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "exported 700 items and both page headings to a.csv\n");
  create(dir, "B");
  r = run_invdb({"import", "B", "a.csv"}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "imported 707 rows: 700 items added, 0 updated; both page headings set\n");
  ASSERT_EQ(run_invdb({"export", "B", "b.csv"}, dir.path()).exit_code, 0);
  EXPECT_EQ(read_file(dir / "b.csv"), read_file(dir / "a.csv"));
  auto a = live_blocks(dir.path(), "A"), b = live_blocks(dir.path(), "B");
  std::erase_if(a, [](const auto& kv) { return !kv.first.starts_with("12"); });  // the headings
  std::erase_if(b, [](const auto& kv) { return !kv.first.starts_with("12"); });
  ASSERT_EQ(a.size(), 700u);
  EXPECT_EQ(run_invdb({"heading", "B"}, dir.path()).out, run_invdb({"heading", "A"}, dir.path()).out);
  EXPECT_TRUE(a == b);
  EXPECT_EQ(run_invdb({"check", "B"}, dir.path()).exit_code, 0);
}

TEST(Invdb, HeadingWritesBothControlRecordsAndRewritesThemInPlace) {
  TempDir dir;
  create(dir);
  auto r = run_invdb({"heading", "DB", "--left", "MY STORE", "MAIN ST", "--right", "STORE 7"}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  auto blocks = live_blocks(dir.path(), "DB");
  ASSERT_EQ(blocks.size(), 2u);
  const std::string right_key(control::kRightHeadingKey), left_key(control::kLeftHeadingKey);
  const auto text_of = [&](const std::string& key) {
    return blocks.at(key).substr(control::kHeadingOffset, control::kHeadingLength);
  };
  EXPECT_EQ(text_of(left_key), test_support::heading_text({"MY STORE", "MAIN ST"}));
  EXPECT_EQ(text_of(right_key), test_support::heading_text({"STORE 7"}));
  ASSERT_EQ(run_invdb({"heading", "DB", "--right", "STORE 8", "", "PHONE"}, dir.path()).exit_code, 0);
  blocks = live_blocks(dir.path(), "DB");
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_EQ(text_of(right_key), test_support::heading_text({"STORE 8", "", "PHONE"}));
  EXPECT_EQ(text_of(left_key), test_support::heading_text({"MY STORE", "MAIN ST"}));

  const std::string before = both_files(dir.path(), "DB");
  r = run_invdb({"heading", "DB", "--left", std::string(25, 'X')}, dir.path());
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("longer than 24"), std::string::npos);
  EXPECT_EQ(run_invdb({"heading", "DB", "--left", "1", "2", "3", "4", "5", "6", "7"}, dir.path()).exit_code, 2);
  r = run_invdb({"heading", "DB"}, dir.path());  // shows them
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("left 1: MY STORE\nleft 2: MAIN ST\nleft 3:\n"), std::string::npos) << r.out;
  EXPECT_TRUE(both_files(dir.path(), "DB") == before) << "the files changed";
  EXPECT_EQ(run_invdb({"heading", "NONE", "--left", "x"}, dir.path()).exit_code, 1);
}

TEST(Invdb, DeleteRemovesKeysAndFreesBlocksOrNothingAtAll) {
  TempDir dir;
  create(dir);
  write_file(dir / "a.csv", "StockIndex,KeyRest\n100,\n200,\n200,B\n300,\n");
  ASSERT_EQ(run_invdb({"import", "DB", "a.csv"}, dir.path()).exit_code, 0);
  const std::string before = both_files(dir.path(), "DB");
  auto r = run_invdb({"delete", "DB", "100", "999"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "invdb: no item with the stock index \"999\"; nothing was deleted\n");
  EXPECT_TRUE(both_files(dir.path(), "DB") == before) << "the files changed";

  r = run_invdb({"delete", "DB", "200", "100"}, dir.path());  // 200 is two items
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "deleted 3 items\n");
  const auto blocks = live_blocks(dir.path(), "DB");
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks.begin()->first, key_of("300"));
  r = run_invdb({"check", "DB"}, dir.path());
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_NE(r.out.find("clean: 1 items, 0 other keys, 3 deleted entries"), std::string::npos) << r.out;
  // A deleted item can come back; it takes a freed block again.
  ASSERT_EQ(run_invdb({"import", "DB", "a.csv"}, dir.path()).exit_code, 0);
  r = run_invdb({"check", "DB"}, dir.path());
  EXPECT_NE(r.out.find("clean: 4 items, 0 other keys, 0 deleted entries"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("4 blocks in use"), std::string::npos);
}

TEST(Invdb, SampleStoreIsDeterministicAndRealistic) {
  TempDir dir;
  fs::create_directory(dir / "one");
  fs::create_directory(dir / "two");
  auto r = run_invdb({"sample", "one/S", "--items", "1500", "--seed", "3"}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "sample store one/S: 1500 items, category names in one/StoreSales.csv\n");
  ASSERT_EQ(run_invdb({"sample", "S", "--items", "1500", "--seed", "3"}, dir / "two").exit_code, 0);
  EXPECT_TRUE(both_files(dir / "one", "S") == both_files(dir / "two", "S"));
  r = run_invdb({"sample", "one/S", "--force"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);  // never over an existing store, even when forced
  EXPECT_NE(r.err.find("one/S.XXX already exists"), std::string::npos) << r.err;
  r = run_invdb({"check", "S"}, dir / "one");
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_NE(r.out.find("clean: 1500 items, 2 other keys, 7 deleted entries"), std::string::npos) << r.out;

  const std::string names = read_file(dir / "one/StoreSales.csv");
  EXPECT_NE(names.find("DPT 81,Rentals,9\r\n"), std::string::npos);
  EXPECT_NE(names.find("DPT 01,Fasteners,1\r\n"), std::string::npos);
  int rentals = 0, out_on_rent = 0, no_cost = 0, returns = 0, bulk = 0;
  for (const auto& [key, text] : live_blocks(dir / "one", "S")) {
    if (!key.starts_with("12")) {
      EXPECT_EQ(text.substr(control::kHeadingOffset, 18),
                key == control::kLeftHeadingKey ? "HILLCREST HARDWARE" : "STORE 001         ");
      continue;
    }
    const auto& item = *reinterpret_cast<const report::ItemArea*>(text.data());
    namespace f = report::item;
    if (report::i16(item, f::Cat) == f::kRentalCategory) {
      ++rentals;
      out_on_rent += report::text(item, f::OutDate) != "      ";
    }
    no_cost += report::i32(item, f::UntCost) == 0;
    returns += report::i32(item, f::CycSold) < 0;
    bulk += report::i16(item, f::UnitType) == 2;
  }
  EXPECT_GT(rentals, 30);
  EXPECT_GT(out_on_rent, 5);
  EXPECT_LT(out_on_rent, rentals);
  EXPECT_GT(no_cost, 10);
  EXPECT_GT(returns, 10);
  EXPECT_GT(bulk, 100);
}

TEST(Invdb, StatAndDumpDescribeTheIndex) {
  TempDir dir;
  create(dir);
  auto r = run_invdb({"dump", "DB"}, dir.path());
  ASSERT_EQ(r.exit_code, 0);
  // A new index: the root leaf at address 5 holding the sentinel alone.
  EXPECT_EQ(r.out, "\nNode:    5\tlflag: ff      0      0      1\n\t     0    0\t" + std::string(22, '\0') + "\n");
  write_file(dir / "a.csv", "StockIndex\n1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n");
  ASSERT_EQ(run_invdb({"import", "DB", "a.csv"}, dir.path()).exit_code, 0);
  r = run_invdb({"stat", "DB"}, dir.path());
  ASSERT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("keys: 10 items, 0 other live keys, 0 deleted entries"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("depth: 2 levels"), std::string::npos);
  EXPECT_NE(r.out.find("level 1: 2 nodes, 11 entries, 55% full"), std::string::npos);
  EXPECT_NE(r.out.find("blocks: 10 in use"), std::string::npos);
  r = run_invdb({"dump", "DB"}, dir.path());
  EXPECT_NE(r.out.find("\tlflag: 00      0      0      2"), std::string::npos) << r.out;
  EXPECT_EQ(run_invdb({"stat", "NONE"}, dir.path()).exit_code, 1);
  EXPECT_EQ(run_invdb({"dump", "NONE"}, dir.path()).exit_code, 1);
}

}  // namespace
