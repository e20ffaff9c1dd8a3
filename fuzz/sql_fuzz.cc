// Fuzzes the SQLite extension's read path with damaged stores.
//
// The input is a store as for index_fuzz: two bytes (little-endian) giving
// the length of the index file, the index file, and the record file as the
// rest.  Both are written to a private directory and read through SQL:
// every column of every item, key lookups, ranges and IN lists, the index's
// order, the headings, and a change that is rolled back.  Any crash,
// sanitizer report, hang or leak is a finding, and so is a walk giving more
// rows than a store can hold (a loop read as data).
#include <sqlite3.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int sqlite3_invsql_init(sqlite3* db, char** error, const sqlite3_api_routines* api);

namespace {

std::string work_dir;

void remove_work_dir() {
  if (work_dir.empty()) return;
  std::remove((work_dir + "/FZ.XXX").c_str());
  std::remove((work_dir + "/FZ").c_str());
  std::remove((work_dir + "/FZ.JNL").c_str());
  ::rmdir(work_dir.c_str());
}

void write_whole(const std::string& name, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) std::abort();
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);
}

// Steps the query to its end (or its first error), reading every value.
void run(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) std::abort();  // the SQL is ours
  long rows = 0;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
      sqlite3_column_blob(stmt, i);
      sqlite3_column_bytes(stmt, i);
    }
    if (++rows > 70000) std::abort();  // more rows than addresses: the walk loops
  }
  sqlite3_finalize(stmt);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* base = std::getenv("TMPDIR");
  work_dir = std::string(base ? base : "/tmp") + "/sql-fuzz-XXXXXX";
  if (!mkdtemp(work_dir.data())) std::abort();
  std::atexit(remove_work_dir);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t index_size = std::min<std::size_t>(data[0] | data[1] << 8, size - 2);
  const std::string store = work_dir + "/FZ";
  write_whole(store + ".XXX", data + 2, index_size);
  write_whole(store, data + 2 + index_size, size - 2 - index_size);
  std::remove((store + ".JNL").c_str());

  sqlite3* db = nullptr;
  if (sqlite3_open(":memory:", &db) != SQLITE_OK) std::abort();
  char* error = nullptr;
  if (sqlite3_invsql_init(db, &error, nullptr) != SQLITE_OK) std::abort();
  const std::string f = "invstore('" + store + "')";
  run(db, "SELECT * FROM " + f);
  run(db, "SELECT StockIndex, QOH FROM " + f + " WHERE StockIndex = '1'");
  run(db, "SELECT StockIndex FROM " + f + " WHERE StockIndex BETWEEN '0' AND '5' ORDER BY StockIndex, KeyRest");
  run(db, "SELECT LongName FROM " + f + " WHERE StockIndex IN ('', 'A', char(255), '10')");
  run(db, "SELECT count(*) FROM " + f + " a, " + f + " b WHERE a.StockIndex = b.StockIndex");
  run(db, "SELECT * FROM invstore_headings('" + store + "')");
  sqlite3_exec(db,
               ("CREATE VIRTUAL TABLE t USING invstore('" + store +
                "'); BEGIN; UPDATE t SET QOH = QOH + 1 WHERE StockIndex < '5'; "
                "INSERT INTO t (StockIndex) VALUES ('FUZZ'); DELETE FROM t WHERE StockIndex > 'Z'; ROLLBACK")
                   .c_str(),
               nullptr, nullptr, nullptr);
  sqlite3_close(db);
  return 0;
}
