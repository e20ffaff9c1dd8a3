// The consistency check of a database, made from the bytes of its two files
// alone by the library's audit layer (isam/audit.h has what it
// checks), with the findings as the tool prints them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "invdb/db_files.h"

namespace invdb {

struct CheckReport {
  std::vector<std::string> findings;
  // The kind of each finding (an open mark, damage of some kind).
  std::vector<isam::audit::Finding::Kind> kinds;
  int levels = 0;
  long nodes = 0;
  long live_keys = 0;  // the sentinel not counted
  long items = 0;      // live keys that begin with "12"
  long deleted = 0;
  long blocks_in_use = 0;
  bool clean() const { return findings.empty(); }
  bool is_open_mark(std::size_t finding) const {
    return finding < kinds.size() && kinds[finding] == isam::audit::Finding::Kind::kOpenMark;
  }
  // How many findings are an open mark left set (one per marked file).
  std::size_t open_marks() const {
    std::size_t n = 0;
    for (std::size_t i = 0; i < findings.size(); ++i) n += is_open_mark(i) ? 1 : 0;
    return n;
  }
  // Whether open marks are all that was found (a program stopped without
  // closing a database that is otherwise sound).
  bool only_open_marks() const { return !findings.empty() && open_marks() == findings.size(); }
};

CheckReport check_database(const files::FileImage& index, const files::FileImage& records);

}  // namespace invdb
