// `stat` and `dump`: what the files hold, read straight from their bytes.
#pragma once

#include <string>

#include "invdb/db_files.h"

namespace invdb {

// The record blocks a record file holds for items and control records: every
// block its map covers past the header and the map blocks themselves.  (A
// capacity given at creation is rounded up to whole map blocks.)
long record_room(const files::FileImage& records);

// Keys, deleted entries, depth, nodes and fill per level, nodes and blocks
// used and free.  The tree is followed from the root down its leftmost
// entries and then along each level's next links.
std::string stat_text(const files::FileImage& index, const files::FileImage& records);

// Every node the map marks in use, in address order, in the node dump
// format: "\nNode: %4d", "\tlflag: %02x %6d %6d %6d" (flag, next, previous,
// count), then per entry "\n\t%6d%5d" (pointer as a signed number, type
// byte), a tab and the key's bytes; a line feed at the end.
std::string dump_text(const files::FileImage& index);

}  // namespace invdb
