// `stat` and `dump`: what the files hold, read straight from their bytes.
#pragma once

#include <string>
#include <vector>

#include "invdb/db_files.h"

namespace invdb {

// The record blocks a record file holds for items and control records (a
// capacity given at creation is rounded up to whole map blocks).
using isam::audit::record_room;

// What `stat` reports.  The tree is followed from the root down its leftmost
// entries and then along each level's next links.  A file whose header is
// damaged has only its header fields.
// `counted`: the item keys ("12...").
using StatReport = isam::audit::Stat;
StatReport stat_report(const files::FileImage& index, const files::FileImage& records);

// Keys, deleted entries, depth, nodes and fill per level, nodes and blocks
// used and free, as lines of text.
std::string stat_text(const StatReport& report);
std::string stat_text(const files::FileImage& index, const files::FileImage& records);

// Every node the map marks in use, in address order, in the node dump format.
using isam::audit::dump_text;

}  // namespace invdb
