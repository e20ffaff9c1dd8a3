// The SQLite interface as a loadable extension reaches it: every call goes
// through the table of routines the loading program hands to the entry
// point (invsql.cc keeps it).
#pragma once

#include <sqlite3ext.h>

#include <string>
#include <string_view>

SQLITE_EXTENSION_INIT3

namespace invsql {

struct Connection;

// The modules invstore (item_table.cc) and invstore_headings
// (heading_table.cc).  Each module registered holds the connection's state
// until SQLite drops it.
extern const sqlite3_module kItemModule;
extern const sqlite3_module kHeadingModule;
void release_connection(void* connection);

// The text of a module argument: 'x', "x" or x as written.
std::string module_argument(std::string_view arg);

// Sets the table's error message; returns rc.
int set_error(sqlite3_vtab* vtab, int rc, const std::string& message);

}  // namespace invsql
