// What the extension's two modules share: a table over one store of the
// connection, and the transaction methods that tie the store's change to
// the SQL transaction.
//
// A table's change goes to its store through the connection's writer
// (Stores::writer), which `written` then names.  xSync commits it (the
// headings, then the files: a failure there fails the SQL commit), xCommit
// ends the transaction after that, xRollback gives the change up, and
// SQLite's savepoints are kept for every store of the connection, so that a
// statement that fails after changing a store gives up the store's whole
// change (stores.h).  Disconnecting a table in the middle of a change rolls
// it back.
#pragma once

#include <string>

#include "invsql/sqlite.h"
#include "invsql/stores.h"

namespace invsql {

struct StoreTable : sqlite3_vtab {
  Connection* connection = nullptr;
  sqlite3* db = nullptr;
  std::string path;              // the table's store; empty for the function
  OpenStore* written = nullptr;  // the store this transaction writes through the table

  bool function() const { return path.empty(); }
  Stores& stores() { return connection->stores; }
  int fail(int rc, const std::string& message) { return set_error(this, rc, message); }
  // The table's store opened for writing (once per transaction), kept as
  // `written`; null with the error set and `rc` its code when it cannot be.
  OpenStore* writer(int& rc) {
    std::string error;
    OpenStore* open = stores().writer(path, error, rc);
    if (open == nullptr) {
      fail(rc, error);
      return nullptr;
    }
    written = open;
    return open;
  }
  // Takes xConnect's connection and, for a table (CREATE VIRTUAL TABLE t
  // USING MODULE('DIR/NAME')), the store's path; false with `error` set when
  // that path is empty.
  bool connect(sqlite3* to, void* aux, int argc, const char* const* argv, const char* module, char** error) {
    connection = static_cast<Connection*>(aux);
    db = to;
    if (argc < 4) return true;
    path = module_argument(argv[3]);
    if (!path.empty()) return true;
    *error = sqlite3_mprintf("%s: the store's path is empty", module);
    return false;
  }
};

// The module of a table type T derived from StoreTable, whose cursors are
// of type C (made by xOpen, deleted by xClose), is its row methods and the
// transaction's methods, which call T's `void transaction_begun()` and
// `void transaction_ended()` for its own state; xDisconnect and xDestroy
// delete the T.
struct RowMethods {
  decltype(sqlite3_module::xConnect) connect;  // also xCreate
  decltype(sqlite3_module::xBestIndex) best_index;
  decltype(sqlite3_module::xFilter) filter;
  decltype(sqlite3_module::xNext) next;
  decltype(sqlite3_module::xEof) eof;
  decltype(sqlite3_module::xColumn) column;
  decltype(sqlite3_module::xRowid) rowid;
  decltype(sqlite3_module::xUpdate) update;
};

template <class T>
struct TransactionMethods {
  static T* table(sqlite3_vtab* vtab) { return static_cast<T*>(vtab); }
  static void end(T* t) {
    t->written = nullptr;
    t->transaction_ended();
  }
  static int begin(sqlite3_vtab* vtab) {
    table(vtab)->transaction_begun();
    return SQLITE_OK;
  }
  static int sync(sqlite3_vtab* vtab) {
    T* t = table(vtab);
    if (t->written == nullptr) return SQLITE_OK;
    std::string error;
    const int rc = t->stores().commit(*t->written, error);
    return rc == SQLITE_OK ? rc : t->fail(rc, error);
  }
  static int commit(sqlite3_vtab* vtab) {
    const int rc = sync(vtab);
    end(table(vtab));
    return rc;
  }
  static int rollback(sqlite3_vtab* vtab) {
    T* t = table(vtab);
    if (t->written != nullptr) t->stores().rollback(*t->written);
    end(t);
    return SQLITE_OK;
  }
  static int savepoint(sqlite3_vtab* vtab, int level) {
    table(vtab)->stores().savepoint(level);
    return SQLITE_OK;
  }
  static int release(sqlite3_vtab* vtab, int level) {
    table(vtab)->stores().release(level);
    return SQLITE_OK;
  }
  static int rollback_to(sqlite3_vtab* vtab, int level) {
    table(vtab)->stores().rollback_to(level);
    return SQLITE_OK;
  }
  static int rename(sqlite3_vtab*, const char*) { return SQLITE_OK; }
  static int disconnect(sqlite3_vtab* vtab) {
    T* t = table(vtab);
    if (t->written != nullptr) t->stores().rollback(*t->written);
    sqlite3_free(t->zErrMsg);
    delete t;
    return SQLITE_OK;
  }
};

template <class T, class C>
sqlite3_module store_module(const RowMethods& rows) {
  using M = TransactionMethods<T>;
  const auto open = [](sqlite3_vtab*, sqlite3_vtab_cursor** out) {
    *out = new C();
    return SQLITE_OK;
  };
  const auto close = [](sqlite3_vtab_cursor* cursor) {
    delete static_cast<C*>(cursor);
    return SQLITE_OK;
  };
  return {.iVersion = 2,
          .xCreate = rows.connect,
          .xConnect = rows.connect,
          .xBestIndex = rows.best_index,
          .xDisconnect = M::disconnect,
          .xDestroy = M::disconnect,
          .xOpen = open,
          .xClose = close,
          .xFilter = rows.filter,
          .xNext = rows.next,
          .xEof = rows.eof,
          .xColumn = rows.column,
          .xRowid = rows.rowid,
          .xUpdate = rows.update,
          .xBegin = M::begin,
          .xSync = M::sync,
          .xCommit = M::commit,
          .xRollback = M::rollback,
          .xFindFunction = nullptr,
          .xRename = M::rename,
          .xSavepoint = M::savepoint,
          .xRelease = M::release,
          .xRollbackTo = M::rollback_to,
          .xShadowName = nullptr};
}

}  // namespace invsql
