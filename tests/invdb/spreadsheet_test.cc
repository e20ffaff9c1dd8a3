// An export edited in a spreadsheet and imported again, run as a process:
// what the import says about each slip, what --dry-run lists (changing no
// byte of the store), and show.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "invdb/test_helpers.h"
#include "support/test_support.h"

namespace {

using invdb_test::both_files;
using test_support::run_invdb;
using test_support::TempDir;
using test_support::write_file;

constexpr std::string_view kStore =
    "StockIndex,LongName,PLU,Alternate,Price\n"
    "100003,PAINT TRAY,015013,015013983578,4990\n"
    "100004,LAG SCREW,000123,001234567890,1250\n"
    "100005,NIGHT LIGHT,777777,777777777777,990\n";

std::string rows_of(int count, std::string_view cell) {
  std::string text = "StockIndex,QOH\n";
  for (int i = 0; i < count; ++i) text += std::to_string(900000 + i) + "," + std::string(cell) + "\n";
  return text;
}

struct Row {
  std::string what;
  std::vector<std::string> args;  // after "DB"; the file is e.csv
  std::string csv;
  int exit_code;
  std::vector<std::string> out_words;
  std::vector<std::string> err_words;
  bool changes_store;
  std::vector<std::string> show_words = {};  // in `show DB 100003` afterwards
};

TEST(InvdbSpreadsheet, EveryTriedImportAndShow) {
  const Row rows[] = {
      {"a price with a decimal point",
       {"import"},
       "StockIndex,Price\n100003,5.49\n",
       1,
       {},
       {"invdb: e.csv: line 2, column 2 (Price): Price is in thousandths: 5.49 is 5490 (--decimal-money takes "
        "currency units)"},
       false},
      {"--decimal-money, dry run",
       {"import", "--dry-run", "--decimal-money"},
       "StockIndex,Price,UntCost,CycSalesAmt\n100003,5.49,3,12.5\n",
       0,
       {"dry run: nothing was changed; importing e.csv into DB would\n  add 0 items, update 1, leave 0 unchanged (1 "
        "rows)",
        "  100003: Price 4990 -> 5490; UntCost 0 -> 3000; CycSalesAmt 0 -> 1250\n"},
       {},
       false},
      {"--decimal-money",
       {"import", "--decimal-money"},
       "StockIndex,Price\n100003,5.49\n",
       0,
       {"imported 1 rows: 0 items added, 1 updated"},
       {},
       true,
       {"Price        5490\n"}},
      {"more decimals than the unit",
       {"import", "--decimal-money"},
       "StockIndex,CycSalesAmt\n100003,1.234\n",
       1,
       {},
       {"(CycSalesAmt): \"1.234\" has more decimals than hundredths hold"},
       false},
      {"40 bad rows",
       {"import"},
       rows_of(40, "x"),
       1,
       {},
       {"line 2, column 2 (QOH): \"x\" is not a whole number", "line 41, column 2 (QOH)",
        "e.csv: 40 problems in all; nothing was imported"},
       false},
      {"60 bad rows",
       {"import", "--dry-run"},
       rows_of(60, "1.5"),
       1,
       {},
       {"line 51, column 2 (QOH)", "e.csv: and 10 more problems\n", "e.csv: 60 problems in all"},
       false},
      {"an extra column",
       {"import"},
       "StockIndex,Notes\n100003,call back\n",
       1,
       {},
       {"line 1, column 2 (Notes): unknown column; the columns are StockIndex, KeyRest, LongName,",
        "QtyPkg and RenterPhone (--ignore-unknown skips the others)"},
       false},
      {"an extra column skipped, a header in lower case",
       {"import", "--ignore-unknown", "--dry-run"},
       "Notes,stockindex,longname\ncall back,100003,PAINT TRAY\n",
       0,
       {"leave 1 unchanged (1 rows)"},
       {"e.csv: column 1 (Notes) is no item field; it is skipped"},
       false},
      {"a skipped column does not shift the place named",
       {"import", "--ignore-unknown"},
       "Notes,StockIndex,QOH\nx,100003,y\n",
       1,
       {},
       {"line 2, column 3 (QOH): \"y\" is not a whole number"},
       false},
      {"leading zeros lost, dry run",
       {"import", "--dry-run"},
       "StockIndex,PLU,Alternate\n100003,15013,15013983578\n100004,123,1234567890\n100005,777777,777777777777\n",
       0,
       {"add 0 items, update 2, leave 1 unchanged (3 rows)",
        "  100003: PLU 015013 -> 15013; Alternate 015013983578 -> 15013983578\n",
        "changes per column: Alternate 2, PLU 2\n"},
       {"e.csv: warning: PLU: 2 items would lose the leading zeros of a digit-only text (015013 would become 15013)",
        "warning: Alternate: 2 items would lose"},
       false},
      {"leading zeros lost",
       {"import"},
       "StockIndex,PLU\n100003,15013\n",
       0,
       {"imported 1 rows: 0 items added, 1 updated"},
       {"warning: PLU: 1 item lost the leading zeros of a digit-only text (015013 became 15013)"},
       true,
       {"PLU          15013\n"}},
      {"dry run as JSON",
       {"import", "--dry-run", "--json"},
       "StockIndex,Price\n100009,100\n100003,5000\n",
       0,
       {"{\"dry_run\": true, \"rows\": 2, \"added\": 1, \"updated\": 1, \"unchanged\": 0, \"added_items\": "
        "[\"100009\"], \"updated_items\": [{\"item\": \"100003\", \"changes\": [{\"column\": \"Price\", \"old\": "
        "\"4990\", \"new\": \"5000\"}]}], \"changes_per_column\": {\"Price\": 1}, \"leading_zeros_lost\": {}, "
        "\"heading_changes\": [], \"room\": true}\n"},
       {},
       false},
      {"a page heading, dry run",
       {"import", "--dry-run"},
       "StockIndex,LongName\n(left heading 1),NEW STORE\n100003,PAINT TRAY\n",
       0,
       {"leave 1 unchanged (1 rows)\npage headings:\n  left heading 1: \"\" -> \"NEW STORE\"\n"},
       {},
       false},
      {"--json without --dry-run", {"import", "--json"}, "StockIndex\n100003\n", 2, {}, {"usage: invdb import"}, false},
      {"show", {"show", "100003"}, "", 0, {"StockIndex   100003\nKeyRest\nLongName     PAINT TRAY\n"}, {}, false},
      {"show as JSON",
       {"show", "100004", "--json"},
       "",
       0,
       {"[{\"StockIndex\": \"100004\", \"KeyRest\": \"\", \"LongName\": \"LAG SCREW\"", "\"Price\": 1250,"},
       {},
       false},
      {"show, an index without an item",
       {"show", "100003", "NOPE"},
       "",
       1,
       {"StockIndex   100003\n"},
       {"invdb: no item has the stock index \"NOPE\""},
       false},
      {"sample over a store",
       {"sample"},
       "",
       1,
       {},
       {"invdb: DB.XXX already exists; sample never replaces a store, --force or not (--force covers only "
        "StoreSales.csv)"},
       false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir dir;
    ASSERT_EQ(run_invdb({"create", "DB", "--capacity", "500"}, dir.path()).exit_code, 0);
    write_file(dir / "s.csv", kStore);
    ASSERT_EQ(run_invdb({"import", "DB", "s.csv"}, dir.path()).exit_code, 0);
    const std::string before = both_files(dir.path(), "DB");
    std::vector<std::string> args{row.args[0], "DB"};
    if (row.args[0] == "import") args.push_back("e.csv");
    args.insert(args.end(), row.args.begin() + 1, row.args.end());
    write_file(dir / "e.csv", row.csv);
    const auto r = run_invdb(args, dir.path());
    EXPECT_EQ(r.exit_code, row.exit_code) << r.err;
    for (const std::string& w : row.out_words) EXPECT_NE(r.out.find(w), std::string::npos) << r.out;
    for (const std::string& w : row.err_words) EXPECT_NE(r.err.find(w), std::string::npos) << r.err;
    if (row.err_words.empty()) { EXPECT_EQ(r.err, ""); }
    EXPECT_EQ(both_files(dir.path(), "DB") != before, row.changes_store);
    if (!row.show_words.empty()) {
      const auto shown = run_invdb({"show", "DB", "100003"}, dir.path());
      for (const std::string& w : row.show_words) EXPECT_NE(shown.out.find(w), std::string::npos) << shown.out;
    }
  }
}

}  // namespace
