// The stores one database connection has open, shared by every table and
// table-valued function of the extension on that connection.
//
// A statement's read cursors open a store for reading at their first row
// and close it when the last of them closes, at the end of the statement,
// so an idle connection never holds a store.  The first change a
// transaction makes to a store opens it for writing; from then on every
// read of that store on this connection goes through the writer (the
// readers' cursors are moved onto it and find their place again by key),
// and the writer holds the store until the transaction commits or rolls
// back.  Page headings changed in the transaction are kept here and written
// at the commit, right side first, as `invdb heading` writes them.
//
// A change that fails part way through a transaction cannot be taken out
// alone (the library's change is one whole), so it gives up the store's
// whole change at once: the files are rolled back, and every later change
// and the commit fail with the reason until the transaction ends.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "isam/store.h"

namespace invsql {

// The SQLite result code of a library failure.
int result_code(const isam::Status& status);

// A read cursor with library cursors on a store; told before the store it
// reads is closed or replaced, so that it drops them.
class StoreReader {
 public:
  virtual void store_closing() = 0;
  // Another reader took a Store::view of the store (the bytes this one was
  // shown may be gone).
  virtual void view_lost() {}

 protected:
  ~StoreReader() = default;
};

struct OpenStore {
  std::string path;                    // as first named
  std::unique_ptr<isam::Store> store;  // null while closed
  bool writing = false;
  std::vector<StoreReader*> readers;
  std::uint64_t generation = 0;                                      // changes whenever `store` is replaced
  StoreReader* viewer = nullptr;                                     // whose Store::view is the latest
  long changes = 0;                                                  // made by the transaction
  std::string given_up;                                              // why the transaction's change was given up
  std::map<int, long> savepoints;                                    // changes made before each savepoint
  std::optional<std::array<char, isam::kHeadingBytes>> headings[2];  // by HeadingSide
};

class Stores {
 public:
  Stores() = default;
  Stores(const Stores&) = delete;
  Stores& operator=(const Stores&) = delete;
  ~Stores();

  // The store at `path` for `reader`, opened for reading unless it is open.
  // Null on failure, with the message and the result code.
  OpenStore* attach(std::string_view path, StoreReader* reader, std::string& error, int& rc);
  void detach(OpenStore* open, StoreReader* reader);
  // Makes sure `open` has a store to read (after a commit closed it).
  bool reopen(OpenStore& open, std::string& error, int& rc);

  // The store at `path` opened for writing (once per transaction).
  OpenStore* writer(std::string_view path, std::string& error, int& rc);
  // The headings, then the commit; the store is closed either way.
  int commit(OpenStore& open, std::string& error);
  void rollback(OpenStore& open);
  // Rolls the change back now; later changes and the commit fail.
  void give_up(OpenStore& open, std::string why);

  // Savepoints of the SQL transaction, for the stores it writes.
  void savepoint(int level);
  void release(int level);
  // Gives up every change made since the savepoint.
  void rollback_to(int level);

 private:
  OpenStore& entry(std::string_view path);
  void close_store(OpenStore& open);
  void end_transaction(OpenStore& open);
  int open_store(OpenStore& open, isam::StoreOptions::Access access, std::string& error);
  std::map<std::string, std::unique_ptr<OpenStore>, std::less<>> open_;  // by the path as named
};

// The state of one connection: the stores, shared by both modules.
struct Connection {
  Stores stores;
  int modules = 0;  // registered modules still holding it
};

}  // namespace invsql
