// `stat` and `dump`: what the files hold, read straight from their bytes.
#pragma once

#include <string>
#include <vector>

#include "invdb/db_files.h"

namespace invdb {

// The record blocks a record file holds for items and control records (a
// capacity given at creation is rounded up to whole map blocks).
using isam::inspect::record_room;

// What `stat` reports.  The tree is followed from the root down its leftmost
// entries and then along each level's next links.  A file whose header is
// damaged has only its header fields.
struct StatReport {
  struct Level {
    long nodes = 0, entries = 0;
    double fill_percent = 0;  // entries against the levels' node capacity
  };
  struct File {
    std::string name;
    int map_blocks = 0;
    bool open = false;          // the open mark is set
    bool damaged = false;       // header fields out of range
    long in_use = 0, free = 0;  // nodes or blocks, by the map
  };
  File index, records;
  int key_length = 0, entries_per_node = 0;
  long items = 0, other_keys = 0, deleted = 0;
  std::vector<Level> levels;
};
StatReport stat_report(const files::FileImage& index, const files::FileImage& records);

// Keys, deleted entries, depth, nodes and fill per level, nodes and blocks
// used and free, as lines of text.
std::string stat_text(const StatReport& report);
std::string stat_text(const files::FileImage& index, const files::FileImage& records);

// Every node the map marks in use, in address order, in the node dump format.
using isam::inspect::dump_text;

}  // namespace invdb
