#include "invdb/stat_dump.h"

#include <algorithm>
#include <cstdio>
#include <tuple>
#include <vector>

namespace invdb {

using files::FileImage;

namespace {

template <typename... Args>
void appendf(std::string& out, const char* format, Args... args) {
  char buffer[160];
  const int n = std::snprintf(buffer, sizeof buffer, format, args...);
  if (n > 0) out.append(buffer, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buffer - 1));
}

}  // namespace

StatReport stat_report(const FileImage& index, const FileImage& records) {
  return isam::audit::stat(index, records, "12");
}

std::string stat_text(const StatReport& r) {
  std::string out;
  appendf(out, "index %s: key length %d, %d entries a node, %d map blocks, %s\n", r.index.name.c_str(), r.key_length,
          r.entries_per_node, r.index.map_blocks, r.index.open ? "marked open" : "closed");
  if (r.index.damaged) {
    out += "  the header is damaged; run check\n";
    return out;
  }
  appendf(out, "  keys: %ld items, %ld other live keys, %ld deleted entries\n", r.counted, r.other_keys, r.deleted);
  appendf(out, "  depth: %zu levels\n", r.levels.size());
  for (std::size_t d = 0; d < r.levels.size(); ++d)
    appendf(out, "  level %zu: %ld nodes, %ld entries, %.0f%% full\n", d, r.levels[d].nodes, r.levels[d].entries,
            r.levels[d].fill_percent);
  appendf(out, "  nodes: %ld in use, %ld free\n", r.index.in_use, r.index.free);
  appendf(out, "records %s: %d map blocks, %s\n", r.records.name.c_str(), r.records.map_blocks,
          r.records.open ? "marked open" : "closed");
  if (r.records.damaged) {
    out += "  the header is damaged; run check\n";
    return out;
  }
  // The map covers the data blocks alone: together they are the room.
  appendf(out, "  blocks: %ld in use, %ld free, room for %ld records\n", r.records.in_use, r.records.free,
          r.records.in_use + r.records.free);
  return out;
}

std::string stat_text(const FileImage& index, const FileImage& records) {
  return stat_text(stat_report(index, records));
}

}  // namespace invdb
