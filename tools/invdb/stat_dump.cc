#include "invdb/stat_dump.h"

#include <cstdio>
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

struct LevelStats {
  long nodes = 0, entries = 0;
};

}  // namespace

long record_room(const FileImage& records) {
  const std::uint16_t nb = files::read_header(records).map_blocks;
  return static_cast<long>(isam::format::map_end(nb) - isam::format::data_start_for(nb) + 1) / 2;
}

std::string stat_text(const FileImage& index, const FileImage& records) {
  const files::Header ih = files::read_header(index);
  const files::Header rh = files::read_header(records);
  std::string out;
  appendf(out, "index %s: key length %d, %d entries a node, %d map blocks, %s\n", index.name.c_str(), ih.key_length,
          ih.node_capacity, ih.map_blocks, ih.open_mark ? "marked open" : "closed");
  if (ih.key_length < 1 || ih.key_length > 32 || ih.map_blocks < 1 || ih.map_blocks > 32) {
    out += "  the header is damaged; run check\n";
    return out;
  }
  std::vector<LevelStats> levels;
  long items = 0, other = 0, deleted = 0;
  std::vector<bool> seen(files::kLastAddress + 1, false);
  std::uint32_t first = ih.root;
  while (valid_node(index, ih, first) && levels.size() < files::kMaxLevels) {
    LevelStats level;
    const Node head(index.block(first), ih.key_length);
    for (std::uint32_t a = first; valid_node(index, ih, a) && !seen[a];) {
      seen[a] = true;
      const Node node(index.block(a), ih.key_length);
      ++level.nodes;
      level.entries += node.usable_count();
      for (int i = 0; head.is_leaf() && i < node.usable_count(); ++i) {
        if (node.type(i) == files::kDeleted)
          ++deleted;
        else if (node.key(i).starts_with("12"))
          ++items;
        else if (node.key(i).find_first_not_of('\0') != std::string_view::npos)
          ++other;
      }
      a = node.next();
    }
    levels.push_back(level);
    if (head.is_leaf() || head.usable_count() == 0) break;
    first = head.pointer(0);
  }
  appendf(out, "  keys: %ld items, %ld other live keys, %ld deleted entries\n", items, other, deleted);
  appendf(out, "  depth: %zu levels\n", levels.size());
  for (std::size_t d = 0; d < levels.size(); ++d) {
    const double capacity = static_cast<double>(levels[d].nodes) * std::max<int>(ih.node_capacity, 1);
    appendf(out, "  level %zu: %ld nodes, %ld entries, %.0f%% full\n", d, levels[d].nodes, levels[d].entries,
            100.0 * static_cast<double>(levels[d].entries) / capacity);
  }
  const auto [nodes_used, nodes_free] = map_usage(index, ih.map_blocks);
  appendf(out, "  nodes: %ld in use, %ld free\n", nodes_used, nodes_free);
  appendf(out, "records %s: %d map blocks, %s\n", records.name.c_str(), rh.map_blocks,
          rh.open_mark ? "marked open" : "closed");
  if (rh.map_blocks < 1 || rh.map_blocks > 32) {
    out += "  the header is damaged; run check\n";
    return out;
  }
  const auto [blocks_used, blocks_free] = map_usage(records, rh.map_blocks);
  appendf(out, "  blocks: %ld in use, %ld free, room for %ld records\n", blocks_used, blocks_free,
          record_room(records));
  return out;
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
