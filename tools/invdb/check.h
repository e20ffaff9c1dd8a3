// The consistency check of a database, made from the bytes of its two files
// alone (it does not go through the library, so it sees what is on disk).
//
// Index file: the header's fields and reserved bytes; the map bits of the
// header and map blocks; from the root down, every node's flag, entry count,
// unused bytes, key order and key range; each internal entry's key against
// its child's first key; leaves all on one level, at most nine levels; the
// sentinel entry first; each level's next and previous links against the
// left-to-right order of the tree; map bits against the nodes of the tree.
// Record file: the header, the map bits of the header and map blocks; every
// live key's record address (a data block inside the file, in use in the
// map, not shared with another key, starting with the key itself); blocks
// marked in use that no key points at.  Open marks left set are findings too.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "invdb/db_files.h"

namespace invdb {

struct CheckReport {
  std::vector<std::string> findings;
  int levels = 0;
  long nodes = 0;
  long live_keys = 0;  // the sentinel not counted
  long items = 0;      // live keys that begin with "12"
  long deleted = 0;
  long blocks_in_use = 0;
  // The places in `findings` of those that are an open mark left set (one
  // per marked file): a program stopped without closing the database.
  std::vector<std::size_t> open_marks;
  bool clean() const { return findings.empty(); }
  bool is_open_mark(std::size_t finding) const {
    return std::find(open_marks.begin(), open_marks.end(), finding) != open_marks.end();
  }
  // Whether the open marks are all that was found (and there is one).
  bool only_open_marks() const { return !open_marks.empty() && findings.size() == open_marks.size(); }
};

CheckReport check_database(const files::FileImage& index, const files::FileImage& records);

}  // namespace invdb
