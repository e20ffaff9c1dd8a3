// The SQLite extension against SQLite reading its own table: the same
// query over the same rows in one process, the two runs alternating, and
// the median of the paired ratios (extension / native).
//
//   sql_compare EXTENSION DIR RUNS
//
// DIR holds the store KEY and the stores C01 ... C20 (copies of KEY for
// the chain roll-up).  The native tables are made from the extension's own
// rows, so they hold the same values with the same types, in a database
// file DIR/native.db with an index on StockIndex (the store's index has
// one too); `keys` holds 2,000 StockIndex values of KEY for the lookups.
//
// Printed: each query's median milliseconds both ways and the median ratio,
// then the heap a statement's open store takes (allocated bytes while one
// statement holds KEY open, less before).
#include <malloc.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

sqlite3* db = nullptr;

void fail(const std::string& what) {
  std::fprintf(stderr, "sql_compare: %s: %s\n", what.c_str(), sqlite3_errmsg(db));
  std::exit(1);
}

void exec(const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::fprintf(stderr, "sql_compare: %s\n  %s\n", error ? error : "?", sql.c_str());
    std::exit(1);
  }
}

// Runs the query to its end, taking every value of every row as its type;
// returns milliseconds.  `check` sums what it read, so both sides can be
// compared.
double run(const std::string& sql, long double& check) {
  const auto start = std::chrono::steady_clock::now();
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) fail(sql);
  int rc;
  check = 0;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    for (int i = 0, n = sqlite3_column_count(stmt); i < n; ++i) {
      switch (sqlite3_column_type(stmt, i)) {
        case SQLITE_INTEGER: check += static_cast<long double>(sqlite3_column_int64(stmt, i)); break;
        case SQLITE_FLOAT: check += sqlite3_column_double(stmt, i); break;
        case SQLITE_TEXT:
        case SQLITE_BLOB:
          sqlite3_column_blob(stmt, i);
          check += sqlite3_column_bytes(stmt, i);
          break;
        default: break;
      }
    }
  }
  if (rc != SQLITE_DONE) fail(sql);
  sqlite3_finalize(stmt);
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

std::string grouping(const std::string& from) {
  return "SELECT CASE WHEN Cat <= 0 THEN 98 WHEN Cat > 98 THEN 99 ELSE Cat END AS c, count(*), sum(CycSalesAmt), "
         "sum(CycSold * UntCost), sum(YTDSalesAmt), sum(YTDSold * UntCost), sum(CycPurchAmt), sum(YTDPurchAmt), "
         "sum(CASE WHEN YTDSold <> 0 THEN YTDSalesAmt / 100.0 / YTDSold * QOH END), "
         "sum(CASE WHEN YTDPurchQty <> 0 THEN YTDPurchAmt * 1.0 / YTDPurchQty * QOH END), sum(QOH) FROM " +
         from + " GROUP BY c ORDER BY c";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: sql_compare EXTENSION DIR RUNS\n");
    return 2;
  }
  const std::string dir = argv[2];
  const int runs = std::max(1, std::atoi(argv[3]));
  std::remove((dir + "/native.db").c_str());
  if (sqlite3_open((dir + "/native.db").c_str(), &db) != SQLITE_OK) fail("open");
  sqlite3_enable_load_extension(db, 1);
  char* error = nullptr;
  if (sqlite3_load_extension(db, argv[1], nullptr, &error) != SQLITE_OK) {
    std::fprintf(stderr, "sql_compare: %s\n", error ? error : "cannot load the extension");
    return 1;
  }
  const std::string key = "invstore('" + dir + "/KEY')";
  exec("CREATE TABLE items AS SELECT * FROM " + key);
  exec("CREATE INDEX items_stock_index ON items(StockIndex)");
  exec("CREATE TABLE keys AS SELECT StockIndex AS s FROM items ORDER BY random() LIMIT 2000");
  exec("CREATE TABLE stores(path TEXT)");
  exec("CREATE TABLE chain AS SELECT * FROM items WHERE 0");
  for (int i = 1; i <= 20; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "/C%02d", i);
    exec("INSERT INTO stores VALUES ('" + dir + name + "')");
    exec("INSERT INTO chain SELECT * FROM items");
  }
  exec("ANALYZE");

  struct Query {
    const char* what;
    std::string extension, native;
  };
  const std::vector<Query> queries = {
      {"grouping, every item", grouping(key), grouping("items")},
      {"every column of every item", "SELECT * FROM " + key, "SELECT * FROM items"},
      {"2,000 lookups by StockIndex", "SELECT sum(i.QOH), count(*) FROM keys k, " + key + " i WHERE i.StockIndex = k.s",
       "SELECT sum(i.QOH), count(*) FROM keys k, items i WHERE i.StockIndex = k.s"},
      {"grouping over 20 stores", grouping("stores s, invstore(s.path)"), grouping("chain")},
  };
  std::printf("%-30s %10s %10s %8s\n", "query", "extension", "native", "ratio");
  for (const Query& q : queries) {
    long double a = 0, b = 0;
    run(q.extension, a);  // once untimed each: the files in the page cache
    run(q.native, b);
    if (a != b) std::printf("%s: the results differ (%.0Lf, %.0Lf)\n", q.what, a, b);
    std::vector<double> ext, nat, ratio;
    for (int r = 0; r < runs; ++r) {
      const double x = run(q.extension, a), y = run(q.native, b);
      ext.push_back(x);
      nat.push_back(y);
      ratio.push_back(x / y);
    }
    std::printf("%-30s %8.2fms %8.2fms %7.2fx\n", q.what, median(ext), median(nat), median(ratio));
  }

  // The heap one open store takes: a statement stopped on its first row.
  const std::size_t before = mallinfo2().uordblks;
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, ("SELECT LongName FROM " + key).c_str(), -1, &stmt, nullptr) != SQLITE_OK) fail("heap");
  if (sqlite3_step(stmt) != SQLITE_ROW) fail("heap");
  const std::size_t held = mallinfo2().uordblks;
  sqlite3_finalize(stmt);
  std::printf("heap of a statement holding one open store: %zu KiB\n", (held - before) / 1024);
  sqlite3_close(db);
  return 0;
}
