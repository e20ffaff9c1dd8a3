// The loadable SQLite extension: `.load invsql` in the sqlite3 shell,
// con.load_extension("invsql") in Python, sqlite3_load_extension() in C.
#include <utility>

#include "invsql/sqlite.h"
#include "invsql/stores.h"

SQLITE_EXTENSION_INIT1

namespace invsql {

void release_connection(void* connection) {
  auto* c = static_cast<Connection*>(connection);
  if (--c->modules == 0) delete c;
}

std::string module_argument(std::string_view arg) {
  while (!arg.empty() && arg.front() == ' ') arg.remove_prefix(1);
  while (!arg.empty() && arg.back() == ' ') arg.remove_suffix(1);
  if (arg.size() < 2 || (arg.front() != '\'' && arg.front() != '"') || arg.back() != arg.front())
    return std::string(arg);
  const char quote = arg.front();
  std::string out;
  for (std::size_t i = 1; i + 1 < arg.size(); ++i) {
    out += arg[i];
    if (arg[i] == quote && i + 2 < arg.size() && arg[i + 1] == quote) ++i;
  }
  return out;
}

int set_error(sqlite3_vtab* vtab, int rc, const std::string& message) {
  sqlite3_free(vtab->zErrMsg);
  vtab->zErrMsg = sqlite3_mprintf("%s", message.c_str());
  return rc;
}

}  // namespace invsql

extern "C" __attribute__((visibility("default"))) int sqlite3_invsql_init(sqlite3* db, char** error,
                                                                          const sqlite3_api_routines* api) {
  SQLITE_EXTENSION_INIT2(api);
  auto* connection = new invsql::Connection();
  // Each module holds the state until SQLite drops it; the first failing
  // registration has dropped its own hold already.
  int rc = SQLITE_OK;
  for (const auto& [name, module] :
       {std::pair{"invstore", &invsql::kItemModule}, std::pair{"invstore_headings", &invsql::kHeadingModule}}) {
    if (rc != SQLITE_OK) break;
    ++connection->modules;
    rc = sqlite3_create_module_v2(db, name, module, connection, invsql::release_connection);
  }
  if (rc != SQLITE_OK) *error = sqlite3_mprintf("invsql: the modules could not be registered");
  return rc;
}
