#include "invdb/stat_dump.h"

#include <algorithm>
#include <cstdio>
#include <tuple>
#include <vector>

namespace invdb {

using files::FileImage;
using files::Node;

namespace {

template <typename... Args>
void appendf(std::string& out, const char* format, Args... args) {
  char buffer[160];
  const int n = std::snprintf(buffer, sizeof buffer, format, args...);
  if (n > 0) out.append(buffer, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buffer - 1));
}

bool valid_node(const FileImage& index, const files::Header& h, std::uint32_t a) {
  return a % 2 == 1 && a >= files::first_data_address(h.map_blocks) && index.has_block(a);
}

// In use and free among the addresses a map covers past its own blocks.
std::pair<long, long> map_usage(const FileImage& image, std::uint16_t map_blocks) {
  long used = 0, free = 0;
  for (std::uint32_t a = files::first_data_address(map_blocks); a < files::map_end(map_blocks); a += 2)
    (files::map_bit(image, map_blocks, a) ? used : free)++;
  return {used, free};
}

}  // namespace

long record_room(const FileImage& records) {
  const std::uint16_t nb = files::read_header(records).map_blocks;
  return static_cast<long>(isam::format::map_end(nb) - isam::format::data_start_for(nb) + 1) / 2;
}

StatReport stat_report(const FileImage& index, const FileImage& records) {
  const files::Header ih = files::read_header(index);
  const files::Header rh = files::read_header(records);
  StatReport r;
  r.index = {index.name, ih.map_blocks, ih.open_mark != 0};
  r.records = {records.name, rh.map_blocks, rh.open_mark != 0};
  r.key_length = ih.key_length;
  r.entries_per_node = ih.node_capacity;
  r.index.damaged = ih.key_length < 1 || ih.key_length > 32 || ih.map_blocks < 1 || ih.map_blocks > 32;
  r.records.damaged = rh.map_blocks < 1 || rh.map_blocks > 32;
  if (!r.index.damaged) {
    std::vector<bool> seen(files::kLastAddress + 1, false);
    std::uint32_t first = ih.root;
    while (valid_node(index, ih, first) && r.levels.size() < files::kMaxLevels) {
      StatReport::Level level;
      const Node head(index.block(first), ih.key_length);
      for (std::uint32_t a = first; valid_node(index, ih, a) && !seen[a];) {
        seen[a] = true;
        const Node node(index.block(a), ih.key_length);
        ++level.nodes;
        level.entries += node.usable_count();
        for (int i = 0; head.is_leaf() && i < node.usable_count(); ++i) {
          if (node.type(i) == files::kDeleted)
            ++r.deleted;
          else if (node.key(i).starts_with("12"))
            ++r.items;
          else if (node.key(i).find_first_not_of('\0') != std::string_view::npos)
            ++r.other_keys;
        }
        a = node.next();
      }
      const double capacity = static_cast<double>(level.nodes) * std::max<int>(ih.node_capacity, 1);
      level.fill_percent = 100.0 * static_cast<double>(level.entries) / capacity;
      r.levels.push_back(level);
      if (head.is_leaf() || head.usable_count() == 0) break;
      first = head.pointer(0);
    }
    std::tie(r.index.in_use, r.index.free) = map_usage(index, ih.map_blocks);
  }
  if (!r.records.damaged) std::tie(r.records.in_use, r.records.free) = map_usage(records, rh.map_blocks);
  return r;
}

std::string stat_text(const StatReport& r) {
  std::string out;
  appendf(out, "index %s: key length %d, %d entries a node, %d map blocks, %s\n", r.index.name.c_str(), r.key_length,
          r.entries_per_node, r.index.map_blocks, r.index.open ? "marked open" : "closed");
  if (r.index.damaged) {
    out += "  the header is damaged; run check\n";
    return out;
  }
  appendf(out, "  keys: %ld items, %ld other live keys, %ld deleted entries\n", r.items, r.other_keys, r.deleted);
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

std::string dump_text(const FileImage& index) {
  const files::Header ih = files::read_header(index);
  std::string out;
  if (ih.key_length < 1 || ih.key_length > 32 || ih.map_blocks < 1 || ih.map_blocks > 32) return out;
  for (std::uint32_t a = files::first_data_address(ih.map_blocks); a < files::map_end(ih.map_blocks); a += 2) {
    if (!files::map_bit(index, ih.map_blocks, a) || !index.has_block(a)) continue;
    const Node node(index.block(a), ih.key_length);
    appendf(out, "\nNode: %4d", static_cast<int>(a));
    appendf(out, "\tlflag: %02x %6d %6d %6d", node.flag(), node.next(), node.previous(), node.count());
    for (int i = 0; i < node.usable_count(); ++i) {
      appendf(out, "\n\t%6d%5d", static_cast<int>(static_cast<std::int16_t>(node.pointer(i))), node.type(i));
      out += '\t';
      out += node.key(i);
    }
  }
  out += '\n';
  return out;
}

}  // namespace invdb
