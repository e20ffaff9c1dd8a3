// The SQLite extension, loaded into SQLite through its C interface: what it
// reads is what `invdb export` writes, its key constraints select what a
// full scan filtered would, its changes leave the files as invdb's do, and
// damage, locks and kills end in errors or whole states, never in a crash.
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "invdb/csv.h"
#include "invdb/headings.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::read_file;
using test_support::run_invdb;
using test_support::run_process;
using test_support::TempDir;
using test_support::write_file;

using Row = std::vector<std::string>;

std::string hex(const void* data, int size) {
  std::string out;
  for (int i = 0; i < size; ++i) {
    const auto c = static_cast<const unsigned char*>(data)[i];
    out += "0123456789abcdef"[c >> 4];
    out += "0123456789abcdef"[c & 15];
  }
  return out;
}

// One connection with the extension loaded.
class Sql {
 public:
  Sql() {
    EXPECT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
    sqlite3_enable_load_extension(db_, 1);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_load_extension(db_, INVSQL_SO, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
  }
  ~Sql() { sqlite3_close(db_); }
  sqlite3* db() { return db_; }

  // Runs statements; the error message, or "" on success.
  std::string exec(const std::string& sql) {
    char* error = nullptr;
    const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error);
    std::string message = rc == SQLITE_OK ? "" : (error ? error : "error " + std::to_string(rc));
    sqlite3_free(error);
    return message;
  }
  // The rows of one query, each value as text: a number in decimal, a blob
  // in hexadecimal, NULL as "NULL"; with `types`, each value's type letter
  // (i, t, b, n) is put before it.
  std::vector<Row> rows(const std::string& sql, std::string* error = nullptr, bool types = false) {
    std::vector<Row> out;
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr);
    while (rc == SQLITE_OK || rc == SQLITE_ROW) {
      if ((rc = sqlite3_step(stmt)) != SQLITE_ROW) break;
      Row row;
      for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
        std::string cell, type;
        switch (sqlite3_column_type(stmt, i)) {
          case SQLITE_INTEGER: cell = std::to_string(sqlite3_column_int64(stmt, i)), type = "i"; break;
          case SQLITE_FLOAT: cell = std::to_string(sqlite3_column_double(stmt, i)), type = "f"; break;
          case SQLITE_BLOB: cell = hex(sqlite3_column_blob(stmt, i), sqlite3_column_bytes(stmt, i)), type = "b"; break;
          case SQLITE_NULL: cell = "NULL", type = "n"; break;
          default:
            cell.assign(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)), sqlite3_column_bytes(stmt, i));
            type = "t";
        }
        row.push_back(types ? type + cell : cell);
      }
      out.push_back(row);
    }
    const std::string message = rc == SQLITE_DONE ? "" : sqlite3_errmsg(db_);
    sqlite3_finalize(stmt);
    if (error != nullptr)
      *error = message;
    else
      EXPECT_EQ(message, "") << sql;
    return out;
  }

 private:
  sqlite3* db_ = nullptr;
};

std::string quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("''") : std::string(1, c);
  return q + "'";
}

// The rows of a CSV text (header first).
std::vector<Row> csv_rows(const std::string& text) {
  std::vector<Row> out;
  invdb::csv::Reader reader(text);
  invdb::csv::RecordView record;
  while (reader.next(record)) out.emplace_back(record.fields.begin(), record.fields.end());
  return out;
}

std::string both_files(const fs::path& store) { return read_file(store.string() + ".XXX") + "|" + read_file(store); }

void sample(const TempDir& dir, const std::string& name, int items = 300) {
  const auto r = run_invdb({"sample", name, "--items", std::to_string(items)}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
}

// A store whose keys sit at the edges: one character and twelve, the same
// StockIndex with several KeyRests, Latin-1 bytes, a byte below the blank
// (taken back by a restore only), prefixes of one another.
void edge_store(const TempDir& dir, const std::string& name) {
  ASSERT_EQ(run_invdb({"create", name, "--capacity", "200"}, dir.path()).exit_code, 0);
  write_file(dir / "edge.csv",
             "StockIndex,KeyRest,LongName,Price,QOH,Cat,Opaque64\n"
             "A,,ONE LETTER,1,2,3,00ff\n"
             "AB,,TWO,-5,0,81,\n"
             "AB,X,TWO WITH REST,7,1,1,01\n"
             "AB,\xC3\xA9t\xC3\xA9,LATIN REST,0,0,0,\n"
             "AB\x01,,BELOW THE BLANK,0,0,0,\n"
             "ABC,,THREE,2147483647,-2147483648,-32768,\n"
             "ZZZZZZZZZZZZ,ZZZZZZZZ,TWELVE,0,0,32767,ffffffffffff\n"
             "CAF\xC3\x89,,CAF\xC3\x89 NOIR,0,0,0,\n"
             "\xC3\xBF\xC3\xBF,,Y UMLAUT,0,0,0,\n"
             "0,,,0,0,0,\n00,,,0,0,0,\n1,,,0,0,0,\n10,,,0,0,0,\n100,,,0,0,0,\n1000,,,0,0,0,\n99,,,0,0,0,\n"
             "a b,,INNER BLANK,0,0,0,\n");
  const auto r = run_invdb({"import", name, "edge.csv", "--restore"}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
}

TEST(Invsql, EveryColumnOfEveryItemIsExportsCell) {
  TempDir dir;
  sample(dir, "S");
  edge_store(dir, "E");
  Sql sql;
  for (const std::string name : {"S", "E"}) {
    SCOPED_TRACE(name);
    const auto r = run_invdb({"export", name}, dir.path());
    std::vector<Row> csv = csv_rows(r.out);
    // The heading lines' rows are not items: invstore_headings has them.
    std::erase_if(csv, [](const Row& row) {
      invdb::headings::Heading side;
      int line = 0;
      return invdb::headings::parse_row_name(row[0], side, line);
    });
    ASSERT_GT(csv.size(), 10u);
    std::string error;
    const std::string path = (dir / name).string();
    const std::vector<Row> rows = sql.rows("SELECT * FROM invstore(" + quoted(path) + ")", &error, true);
    ASSERT_EQ(error, "");
    ASSERT_EQ(rows.size() + 1, csv.size());
    // The column names and types: export's header; INTEGER, TEXT or BLOB.
    const std::vector<Row> columns = sql.rows("SELECT name, type FROM pragma_table_xinfo('invstore') WHERE hidden = 0");
    ASSERT_EQ(columns.size(), csv[0].size());
    for (std::size_t c = 0; c < columns.size(); ++c) EXPECT_EQ(columns[c][0], csv[0][c]);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      for (std::size_t c = 0; c < columns.size(); ++c) {
        const std::string& type = columns[c][1];
        const std::string want = (type == "INTEGER" ? "i" : type == "BLOB" ? "b" : "t") + csv[i + 1][c];
        EXPECT_EQ(rows[i][c], want) << "item " << i << " column " << csv[0][c];
      }
    }
  }
}

TEST(Invsql, KeyConstraintsSelectWhatAFilteredScanWould) {
  TempDir dir;
  edge_store(dir, "E");
  sample(dir, "S", 400);
  Sql sql;
  const std::vector<std::string> values = {"''",
                                           "'A'",
                                           "'AB'",
                                           "'AB' || char(1)",
                                           "'ABC'",
                                           "'AB '",
                                           "'CAF' || char(201)",
                                           "char(255, 255)",
                                           "char(255)",
                                           "'€'",
                                           "'ZZZZZZZZZZZZ'",
                                           "'ZZZZZZZZZZZZZ'",
                                           "'1'",
                                           "'10'",
                                           "'100'",
                                           "'a'",
                                           "'a b'",
                                           "NULL",
                                           "100",
                                           "x'41'"};
  std::vector<std::string> where;
  for (const std::string op : {"=", "<", "<=", ">", ">="})
    for (const std::string& v : values) where.push_back("StockIndex " + op + " " + v);
  for (std::size_t i = 0; i + 3 < values.size(); i += 3) {
    where.push_back("StockIndex BETWEEN " + values[i] + " AND " + values[i + 3]);
    where.push_back("StockIndex IN (" + values[i] + ", " + values[i + 1] + ", " + values[i + 3] + ")");
    where.push_back("StockIndex > " + values[i] + " AND StockIndex < " + values[i + 3] + " AND KeyRest = ''");
  }
  where.push_back("StockIndex IN (SELECT StockIndex FROM native WHERE QOH > 0)");
  where.push_back("StockIndex IN ('1', '10') AND StockIndex IN ('10', 'A')");
  where.push_back("StockIndex >= 'A' AND StockIndex >= 'AB' AND StockIndex <= 'ABC' AND StockIndex < 'B'");
  for (const std::string name : {"E", "S"}) {
    const std::string store = "invstore(" + quoted((dir / name).string()) + ")";
    ASSERT_EQ(sql.exec("DROP TABLE IF EXISTS native; CREATE TABLE native AS SELECT * FROM " + store), "");
    if (name == "S") {  // keys of the sample as values too
      for (const Row& r : sql.rows("SELECT StockIndex FROM native WHERE rowid % 97 = 1")) {
        where.push_back("StockIndex = " + quoted(r[0]));
        where.push_back("StockIndex >= " + quoted(r[0]) + " AND StockIndex < " + quoted(r[0] + "5"));
      }
    }
    for (const std::string& w : where) {
      SCOPED_TRACE(name + ": " + w);
      const std::string columns = "SELECT StockIndex, KeyRest, LongName FROM ";
      std::vector<Row> got = sql.rows(columns + store + " WHERE " + w);
      std::vector<Row> want = sql.rows(columns + "native WHERE " + w);
      std::sort(got.begin(), got.end());
      std::sort(want.begin(), want.end());
      EXPECT_EQ(got, want);
    }
    // The walk's order is SQL's, or the query says it cannot keep it.
    std::string error;
    const auto ordered = sql.rows("SELECT StockIndex, KeyRest FROM " + store + " ORDER BY StockIndex, KeyRest", &error);
    if (name == "S")
      EXPECT_EQ(ordered, sql.rows("SELECT StockIndex, KeyRest FROM native ORDER BY StockIndex, KeyRest"));
    else
      EXPECT_NE(error.find("holds a byte below the blank"), std::string::npos) << error;
  }
}

// A change made through SQL and the same change made through invdb, on two
// copies of one store.
struct ChangeCase {
  std::string what;
  std::string sql;                                        // on the table `stock` (and `headings`)
  std::vector<std::vector<std::string>> invdb;            // invdb commands, NAME first after the command
  std::function<void(const TempDir&)> prepare = nullptr;  // files the commands read
};

TEST(Invsql, ChangesLeaveTheFilesAsInvdbLeavesThem) {
  TempDir dir;
  sample(dir, "S", 300);
  Sql probe;
  const std::string sample_path = (dir / "S").string();
  const std::vector<Row> some =
      probe.rows("SELECT StockIndex, KeyRest, QOH FROM invstore(" + quoted(sample_path) + ") WHERE rowid % 50 = 3");
  ASSERT_GE(some.size(), 3u);
  const std::vector<Row> left = probe.rows("SELECT text FROM invstore_headings(" + quoted(sample_path) + ") LIMIT 6");
  ASSERT_EQ(left.size(), 6u);
  const auto& [a, a_rest, a_qoh] = std::tie(some[0][0], some[0][1], some[0][2]);
  const std::string b = some[1][0], c = some[2][0];
  const std::string full_row = run_invdb({"export", "S"}, dir.path()).out;
  const std::vector<Row> exported = csv_rows(full_row);
  const auto row_of = [&](const std::string& stock_index) {
    for (const Row& r : exported)
      if (r[0] == stock_index) return r;
    return Row{};
  };
  const auto csv_line = [](Row r) {
    std::string line;
    invdb::csv::append_record(line, std::vector<std::string>(r.begin(), r.end()));
    return line;
  };
  std::string header = csv_line(exported[0]);
  const std::vector<Row> types = probe.rows("SELECT type FROM pragma_table_xinfo('invstore') WHERE hidden = 0");
  Row moved = row_of(b);
  moved[0] = "MOVED";

  const std::vector<ChangeCase> cases = {
      {"insert",
       "INSERT INTO stock (StockIndex, LongName, Price, QOH, Opaque64) VALUES "
       "('N1', 'NEW ONE', 1500, 3, x'0102'), ('N0', 'CAF\xC3\x89', NULL, -4, NULL)",
       {{"import", "S", "new.csv"}},
       [](const TempDir& d) {
         write_file(d / "new.csv",
                    "StockIndex,LongName,Price,QOH,Opaque64\nN1,NEW ONE,1500,3,0102\nN0,CAF\xC3\x89,,-4,\n");
       }},
      {"update",
       "UPDATE stock SET QOH = QOH + 7, Vendor = 'V9' WHERE StockIndex = " + quoted(a) +
           " AND KeyRest = " + quoted(a_rest),
       {{"import", "S", "up.csv"}},
       [&](const TempDir& d) {
         write_file(d / "up.csv", "StockIndex,KeyRest,QOH,Vendor\n" + a + "," + a_rest + "," +
                                      std::to_string(std::stoi(a_qoh) + 7) + ",V9\n");
       }},
      {"insert or replace",
       "INSERT OR REPLACE INTO stock (StockIndex, QOH) VALUES (" + quoted(c) + ", 11)",
       {{"import", "S", "rep.csv"}},
       [&](const TempDir& d) {
         // INSERT gives every column: those it does not name are blank.
         std::string line = c;
         for (std::size_t i = 1; i < types.size(); ++i)
           line += exported[0][i] == "QOH" ? ",11"
                   : types[i][0] == "TEXT" ? ", "
                   : types[i][0] == "BLOB" ? ",00"
                                           : ",0";
         write_file(d / "rep.csv", header + line + "\n");
       }},
      {"delete",
       "DELETE FROM stock WHERE StockIndex IN (" + quoted(a) + ", " + quoted(c) + ")",
       {{"delete", "S", a, c}}},
      {"new key",
       "UPDATE stock SET StockIndex = 'MOVED' WHERE StockIndex = " + quoted(b),
       {{"delete", "S", b}, {"import", "S", "moved.csv"}},
       [&](const TempDir& d) { write_file(d / "moved.csv", header + csv_line(moved)); }},
      {"heading",
       "UPDATE headings SET text = 'SECOND LINE' WHERE side = 'left' AND line = 2",
       {{"heading", "S", "--left", left[0][0], "SECOND LINE", left[2][0], left[3][0], left[4][0], left[5][0]}}},
  };
  for (const ChangeCase& k : cases) {
    SCOPED_TRACE(k.what);
    TempDir one, two;
    for (const char* file : {"S", "S.XXX"}) {
      fs::copy_file(dir / file, one / file);
      fs::copy_file(dir / file, two / file);
    }
    Sql sql;
    ASSERT_EQ(
        sql.exec("CREATE VIRTUAL TABLE stock USING invstore(" + quoted((one / "S").string()) +
                 "); CREATE VIRTUAL TABLE headings USING invstore_headings(" + quoted((one / "S").string()) + ")"),
        "");
    const std::string before = both_files(one / "S");
    ASSERT_EQ(sql.exec(k.sql), "");
    EXPECT_NE(both_files(one / "S"), before) << "nothing changed";
    if (k.prepare) k.prepare(two);
    for (const auto& command : k.invdb) {
      const auto r = run_invdb(command, two.path());
      ASSERT_EQ(r.exit_code, 0) << r.err;
    }
    EXPECT_TRUE(both_files(one / "S") == both_files(two / "S")) << "the files differ from invdb's";
    EXPECT_EQ(run_invdb({"check", "S"}, one.path()).exit_code, 0);
  }
}

TEST(Invsql, RolledBackAndFailedChangesLeaveEveryByte) {
  TempDir dir;
  sample(dir, "S", 200);
  const std::string path = quoted((dir / "S").string());
  const std::string before = both_files(dir / "S");
  const std::string some = Sql().rows("SELECT StockIndex FROM invstore(" + path + ") LIMIT 1")[0][0];
  struct Case {
    std::string sql;
    std::string message;  // of the failing statement, or "" when it ends well
  };
  const std::vector<Case> cases = {
      {"BEGIN; INSERT INTO stock (StockIndex) VALUES ('R1'); DELETE FROM stock WHERE StockIndex = " + quoted(some) +
           "; UPDATE headings SET text = 'X' WHERE rowid = 1; ROLLBACK",
       ""},
      {"INSERT INTO stock (StockIndex, Price) VALUES ('R1', 5), ('R2', 'abc')",
       "S: column 13 (Price): \"abc\" is not a whole number"},
      {"INSERT INTO stock (StockIndex, LongName) VALUES ('R1', 'OK'), ('R2', 'A' || char(10))",
       "(LongName): character 2 is the control character 0x0A"},
      {"INSERT INTO stock (StockIndex) VALUES ('R1'), (" + quoted(some) + ")", "is already there"},
      {"INSERT INTO stock (StockIndex) VALUES ('')", "StockIndex is empty"},
      {"UPDATE stock SET StockIndex = 'TOOLONGNAMEXX' WHERE StockIndex = " + quoted(some), "longer than the field"},
      {"UPDATE stock SET LongName = '€' WHERE StockIndex = " + quoted(some), "(U+20AC) does not fit one byte"},
      {"UPDATE headings SET text = 'TWENTY FIVE CHARACTERS XX' WHERE rowid = 3",
       "longer than 24, the width of a heading line"},
      {"BEGIN; INSERT INTO stock (StockIndex) VALUES ('R1'); INSERT INTO stock (StockIndex, QOH) VALUES ('R2', 1), "
       "('R3', 'x'); COMMIT",
       "(QOH): \"x\" is not a whole number"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.sql);
    Sql sql;
    ASSERT_EQ(sql.exec("CREATE VIRTUAL TABLE stock USING invstore(" + path +
                       "); CREATE VIRTUAL TABLE headings USING invstore_headings(" + path + ")"),
              "");
    const std::string message = sql.exec(k.sql);
    if (k.message.empty()) {
      EXPECT_EQ(message, "");
    } else {
      EXPECT_NE(message.find(k.message), std::string::npos) << message;
    }
    // A transaction left open by the failure: its COMMIT must not write half.
    if (!sqlite3_get_autocommit(sql.db())) {
      sql.exec("COMMIT");
      sql.exec("ROLLBACK");
    }
    EXPECT_TRUE(both_files(dir / "S") == before) << "bytes changed";
  }
  // Inside a transaction, a statement that fails at its only row takes
  // nothing from the statements before it.
  TempDir copy;
  fs::copy_file(dir / "S", copy / "S");
  fs::copy_file(dir / "S.XXX", copy / "S.XXX");
  write_file(copy / "r1.csv", "StockIndex\nR1\n");
  ASSERT_EQ(run_invdb({"import", "S", "r1.csv"}, copy.path()).exit_code, 0);
  Sql sql;
  ASSERT_EQ(sql.exec("CREATE VIRTUAL TABLE stock USING invstore(" + path +
                     "); BEGIN; INSERT INTO stock (StockIndex) VALUES ('R1')"),
            "");
  EXPECT_NE(sql.exec("INSERT INTO stock (StockIndex, Price) VALUES ('R2', 'x')"), "");
  EXPECT_EQ(sql.exec("COMMIT"), "");
  EXPECT_TRUE(both_files(dir / "S") == both_files(copy / "S")) << "not the first statement's change alone";
}

TEST(Invsql, AKilledTransactionLeavesTheStoreAsBefore) {
  TempDir dir;
  sample(dir, "S", 200);
  const std::string before = run_invdb({"export", "S"}, dir.path()).out;
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  if (child == 0) {
    Sql sql;
    std::string batch = "CREATE VIRTUAL TABLE stock USING invstore(" + quoted((dir / "S").string()) + "); BEGIN;";
    for (int i = 0; i < 300; ++i)
      batch += "INSERT INTO stock (StockIndex, QOH) VALUES ('K" + std::to_string(i) + "', " + std::to_string(i) + ");";
    batch += "UPDATE stock SET QOH = 1;";
    const bool ok = sql.exec(batch).empty();
    (void)!write(ready[1], ok ? "y" : "n", 1);
    pause();
    _exit(0);
  }
  char answer = 0;
  ASSERT_EQ(read(ready[0], &answer, 1), 1);
  EXPECT_EQ(answer, 'y');
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  close(ready[0]);
  close(ready[1]);
  const auto check = run_invdb({"check", "S"}, dir.path());
  EXPECT_EQ(check.exit_code, 0) << check.out << check.err;
  EXPECT_EQ(run_invdb({"export", "S"}, dir.path()).out, before);
  Sql sql;
  EXPECT_EQ(sql.rows("SELECT count(*) FROM invstore(" + quoted((dir / "S").string()) + ") WHERE StockIndex = 'K1'"),
            std::vector<Row>{{"0"}});
}

// Two cursors of one statement on one store, each taking its views while
// the other reads its own row: outside a transaction (the files' mapping)
// and inside one, through the writer (the store's own block buffer).
TEST(Invsql, CursorsOnOneStoreKeepTheirOwnRows) {
  TempDir dir;
  sample(dir, "S", 60);
  Sql sql;
  ASSERT_EQ(sql.exec("CREATE VIRTUAL TABLE t USING invstore(" + quoted((dir / "S").string()) + ")"), "");
  const std::vector<Row> items = sql.rows("SELECT StockIndex, KeyRest, QOH, Price, LongName FROM t");
  std::vector<Row> pairs;
  for (const Row& a : items)
    for (const Row& b : items) {
      pairs.push_back(a);
      pairs.back().insert(pairs.back().end(), b.begin(), b.end());
    }
  std::sort(pairs.begin(), pairs.end());
  for (const bool writing : {false, true}) {
    SCOPED_TRACE(writing ? "through the writer" : "reading");
    if (writing) { ASSERT_EQ(sql.exec("BEGIN; DELETE FROM t WHERE StockIndex = 'NO SUCH ITEM'"), ""); }
    std::vector<Row> got = sql.rows(
        "SELECT a.StockIndex, a.KeyRest, a.QOH, a.Price, a.LongName, b.StockIndex, b.KeyRest, b.QOH, b.Price, "
        "b.LongName FROM t a CROSS JOIN t b");
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, pairs);
  }
  EXPECT_EQ(sql.exec("ROLLBACK"), "");
}

TEST(Invsql, ThreeStoresInOneQuery) {
  TempDir dirs[3];
  Sql sql;
  ASSERT_EQ(sql.exec("CREATE TABLE stores(path TEXT)"), "");
  long items = 0;
  for (int i = 0; i < 3; ++i) {
    const int n = std::vector<int>{100, 250, 40}[i];
    sample(dirs[i], "S", n);
    ASSERT_EQ(sql.exec("INSERT INTO stores VALUES (" + quoted((dirs[i] / "S").string()) + ")"), "");
    items += n;
  }
  const auto each = sql.rows(
      "SELECT count(*), sum(i.QOH), sum(i.Price * i.QOH) FROM stores s, invstore(s.path) i GROUP BY s.path ORDER BY 1");
  ASSERT_EQ(each.size(), 3u);
  EXPECT_EQ(each[0][0], "40");
  EXPECT_EQ(each[2][0], "250");
  for (const Row& r : sql.rows("SELECT path FROM stores")) {
    const auto alone = sql.rows("SELECT count(*), sum(QOH), sum(Price * QOH) FROM invstore(" + quoted(r[0]) + ")");
    EXPECT_NE(std::find(each.begin(), each.end(), alone[0]), each.end()) << r[0];
  }
  EXPECT_EQ(sql.rows("SELECT count(*) FROM stores s JOIN invstore(s.path) i")[0][0], std::to_string(items));
}

TEST(Invsql, AChangeToAStoreLeftMarkedOpenDoesWhatInvdbDoes) {
  // Open marks a dead program left: a change clears them when the files
  // check clean otherwise (the files then as invdb's import leaves them),
  // and is refused in words, changing nothing, when they do not.
  const auto poke = [](const fs::path& file, std::size_t at, std::string bytes) {
    std::string all = read_file(file);
    all.replace(at, bytes.size(), bytes);
    write_file(file, all);
  };
  const std::string mark("\x01\x00", 2);
  struct Case {
    std::string what;
    std::function<void(const fs::path&)> damage;
    std::string message;  // of the refusal, or "" when the change goes ahead
  };
  const std::vector<Case> cases = {
      {"both marked",
       [&](const fs::path& s) {
         poke(s.string() + ".XXX", 8, mark);
         poke(s, 8, mark);
       },
       ""},
      {"index marked", [&](const fs::path& s) { poke(s.string() + ".XXX", 8, mark); }, ""},
      {"records marked", [&](const fs::path& s) { poke(s, 8, mark); }, ""},
      {"marked and a map bit wrong",
       [&](const fs::path& s) {
         poke(s, 8, mark);
         poke(s, 256 + 200, "\xFF");
       },
       "is marked open and its check finds 8 other problems ("},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    TempDir one, two;
    sample(one, "S", 200);
    k.damage(one / "S");
    fs::copy_file(one / "S", two / "S");
    fs::copy_file(one / "S.XXX", two / "S.XXX");
    const std::string before = both_files(one / "S");
    write_file(two / "new.csv", "StockIndex,QOH\nNEW,7\n");
    const auto r = run_invdb({"import", "S", "new.csv"}, two.path());
    Sql sql;
    const std::string message = sql.exec("CREATE VIRTUAL TABLE stock USING invstore(" + quoted((one / "S").string()) +
                                         "); INSERT INTO stock (StockIndex, QOH) VALUES ('NEW', 7)");
    if (k.message.empty()) {
      EXPECT_EQ(message, "");
      EXPECT_EQ(r.exit_code, 0) << r.err;
      EXPECT_NE(r.err.find("so the marks were cleared"), std::string::npos) << r.err;
      EXPECT_TRUE(both_files(one / "S") == both_files(two / "S")) << "not the bytes of invdb's import";
      EXPECT_EQ(run_invdb({"check", "S"}, one.path()).exit_code, 0);
    } else {
      EXPECT_NE(message.find(k.message), std::string::npos) << message;
      EXPECT_NE(message.find("nothing was changed"), std::string::npos) << message;
      EXPECT_NE(r.exit_code, 0);
      EXPECT_TRUE(both_files(one / "S") == before) << "bytes changed";
    }
  }
}

TEST(Invsql, DamageAndLocksAreErrorsNamingTheFile) {
  TempDir dir;
  struct Case {
    std::string what;
    std::function<void(const fs::path&)> damage;
    std::string message;
  };
  const auto poke = [](const fs::path& file, std::size_t at, std::string bytes) {
    std::string all = read_file(file);
    all.replace(at, bytes.size(), bytes);
    write_file(file, all);
  };
  const std::vector<Case> cases = {
      {"missing", [](const fs::path& s) { fs::remove(s.string() + ".XXX"); }, "S.XXX"},
      {"header", [&](const fs::path& s) { poke(s.string() + ".XXX", 2, std::string("\x07\x01", 2)); }, "S.XXX"},
      {"cut short",
       [](const fs::path& s) { fs::resize_file(s.string() + ".XXX", fs::file_size(s.string() + ".XXX") - 200); },
       "S.XXX"},
      {"record file cut short", [](const fs::path& s) { fs::resize_file(s, 2000); }, "S"},
      {"node cycle",
       [&](const fs::path& s) {
         std::string index = read_file(s.string() + ".XXX");
         const int root = static_cast<unsigned char>(index[0]) | static_cast<unsigned char>(index[1]) << 8;
         poke(s.string() + ".XXX", static_cast<std::size_t>(root - 1) * 128 + 6 + 22 + 1, index.substr(0, 2));
       },
       "S.XXX"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    TempDir d;
    sample(d, "S", 300);
    k.damage(d / "S");
    Sql sql;
    std::string error;
    sql.rows("SELECT count(*), sum(QOH) FROM invstore(" + quoted((d / "S").string()) + ")", &error);
    EXPECT_NE(error.find(k.message), std::string::npos) << error;
    EXPECT_NE(error, "") << "damage read as data";
  }

  // A writer holds the store: a reader on another connection waits, then
  // is told; an idle connection holds nothing.
  sample(dir, "S", 100);
  const std::string path = quoted((dir / "S").string());
  Sql writer, reader;
  ASSERT_EQ(writer.exec("CREATE VIRTUAL TABLE stock USING invstore(" + path + "); BEGIN; UPDATE stock SET QOH = 5"),
            "");
  const auto start = std::chrono::steady_clock::now();
  std::string error;
  reader.rows("SELECT count(*) FROM invstore(" + path + ")", &error);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  EXPECT_NE(error.find("S"), std::string::npos) << error;
  EXPECT_EQ(sqlite3_errcode(reader.db()), SQLITE_BUSY);
  ASSERT_EQ(writer.exec("COMMIT"), "");
  // A finished statement (not yet finalized) leaves the store to writers.
  sqlite3_stmt* stmt = nullptr;
  ASSERT_EQ(
      sqlite3_prepare_v2(reader.db(), ("SELECT sum(QOH) FROM invstore(" + path + ")").c_str(), -1, &stmt, nullptr),
      SQLITE_OK);
  ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(stmt, 0), 500);
  ASSERT_EQ(sqlite3_step(stmt), SQLITE_DONE);
  write_file(dir / "q.csv", "StockIndex,QOH\nNEW,1\n");
  const auto t0 = std::chrono::steady_clock::now();
  const auto r = run_invdb({"import", "S", "q.csv"}, dir.path());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(900));
  sqlite3_finalize(stmt);
}

// The sqlite3 shell and Python load the same file.
TEST(Invsql, TheShellAndPythonLoadIt) {
  if (INV_SANITIZED) GTEST_SKIP() << "a sanitized extension loads only into a sanitized program";
  TempDir dir;
  sample(dir, "S", 120);
  const std::string so = fs::path(INVSQL_SO).replace_extension("").string();
  auto r = run_process("/usr/bin/sqlite3",
                       {":memory:", "-cmd", ".load " + so, "SELECT count(*), min(StockIndex) > '' FROM invstore('S')"},
                       dir.path());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "120|1\n");
  if (!fs::exists("/usr/bin/python3")) GTEST_SKIP() << "no /usr/bin/python3";
  r = run_process(
      "/usr/bin/python3",
      {"-c",
       "import sqlite3, sys\n"
       "con = sqlite3.connect(':memory:')\n"
       "con.enable_load_extension(True)\n"
       "con.load_extension(sys.argv[1])\n"
       "con.execute(\"CREATE VIRTUAL TABLE stock USING invstore('S')\")\n"
       "with con:\n"
       "    con.execute(\"INSERT INTO stock (StockIndex, QOH) VALUES ('PY1', 42)\")\n"
       "print(con.execute(\"SELECT QOH, typeof(Opaque64) FROM stock WHERE StockIndex = 'PY1'\").fetchall())\n",
       so},
      dir.path());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "[(42, 'blob')]\n");
  EXPECT_EQ(run_invdb({"check", "S"}, dir.path()).exit_code, 0);
}

}  // namespace
