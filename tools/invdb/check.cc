#include "invdb/check.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace invdb {

using files::FileImage;
using files::Node;
using files::printable_key;
namespace format = isam::format;

namespace {

std::string num(long v) { return std::to_string(v); }

// A node reached from its parent, with the key range its entries must keep.
struct Visit {
  std::uint16_t address;
  std::string lower;                 // the parent entry's key ("" at the root)
  std::optional<std::string> upper;  // the parent's next entry key, if any
};

class Checker {
 public:
  Checker(const FileImage& index, const FileImage& records) : index_(index), records_(records) {}

  CheckReport run() {
    if (check_index_header()) {
      tree_read_ = true;
      walk_tree();
      check_chains();
      check_node_map();
    }
    if (check_record_header()) check_records();
    return std::move(report_);
  }

 private:
  void index_finding(const std::string& text) { report_.findings.push_back(index_.name + ": " + text); }
  void record_finding(const std::string& text) { report_.findings.push_back(records_.name + ": " + text); }

  // Checks the fields every header shares; false when the map cannot be used.
  bool check_common_header(const FileImage& image, const files::Header& h, bool is_index) {
    auto finding = [&](const std::string& t) { report_.findings.push_back(image.name + ": " + t); };
    if (image.bytes.size() % files::kBlockSize != 0)
      finding("length " + num(static_cast<long>(image.bytes.size())) + " is not a whole number of blocks");
    if (h.open_mark != 0) {
      finding("marked open (open mark " + num(h.open_mark) + "): it was not closed after its last use");
      report_.open_marks.push_back(report_.findings.size() - 1);
    }
    const auto block = image.block(format::kHeaderAddress);
    if (std::any_of(block.begin() + format::kHeaderUsed, block.end(), [](auto b) { return b != 0; }))
      finding("header bytes 10-255 are not zero");
    if (!is_index &&
        std::any_of(block.begin(), block.begin() + format::kRecordHeaderZero, [](auto b) { return b != 0; }))
      finding("header bytes 0-5 are not zero");
    if (h.map_blocks < 1 || h.map_blocks > format::kMaxMapBlocks) {
      finding("header names " + num(h.map_blocks) + " map blocks (1 to 32 expected)");
      return false;
    }
    const std::uint32_t first = files::first_data_address(h.map_blocks);
    if (!image.has_block(first - 2)) {
      finding("the file ends before its " + num(h.map_blocks) + " map blocks");
      return false;
    }
    for (std::uint32_t a = 1; a < first; a += 2)
      if (!files::map_bit(image, h.map_blocks, a))
        finding("map bit of " + std::string(a == 1 ? "the header" : "map block " + num(a)) + " is clear");
    return true;
  }

  bool check_index_header() {
    ih_ = files::read_header(index_);
    if (ih_.key_length < 1 || ih_.key_length > isam::kMaxKeyLength) {
      index_finding("header key length " + num(ih_.key_length) + " is outside 1 to 32");
      return false;
    }
    capacity_ = format::node_capacity_for(ih_.key_length);
    if (ih_.node_capacity != capacity_)
      index_finding("header node capacity " + num(ih_.node_capacity) + ", expected " + num(capacity_) +
                    " for key length " + num(ih_.key_length));
    if (!check_common_header(index_, ih_, true)) return false;
    if (!valid_node_address(ih_.root)) {
      index_finding("root " + num(ih_.root) + " is not a node address inside the file");
      return false;
    }
    return true;
  }

  bool valid_node_address(std::uint32_t a) const {
    return a % 2 == 1 && a >= files::first_data_address(ih_.map_blocks) && index_.has_block(a);
  }

  void walk_tree() {
    std::vector<Visit> level{{ih_.root, std::string(), std::nullopt}};
    in_tree_.assign(files::kLastAddress + 1, false);
    in_tree_[ih_.root] = true;
    std::string previous_leaf_key;
    bool first_leaf = true;
    while (!level.empty()) {
      if (static_cast<int>(levels_.size()) == files::kMaxLevels) {
        index_finding("the tree is deeper than " + num(files::kMaxLevels) + " levels");
        return;
      }
      const int depth = static_cast<int>(levels_.size());
      levels_.emplace_back();
      std::vector<Visit> below;
      const bool leaf_level = Node(index_.block(level.front().address), ih_.key_length).is_leaf();
      for (const Visit& v : level) {
        levels_.back().push_back(v.address);
        ++report_.nodes;
        const Node node(index_.block(v.address), ih_.key_length);
        check_node(v, node, depth, leaf_level);
        if (leaf_level) {
          check_leaf_entries(v.address, node, previous_leaf_key, first_leaf);
          continue;
        }
        for (int i = 0; i < node.usable_count(); ++i) {
          const std::uint16_t child = node.pointer(i);
          const std::string where = "node " + num(v.address) + " entry " + num(i + 1);
          if (!valid_node_address(child)) {
            index_finding(where + " points at " + num(child) + ", not a node inside the file");
            continue;
          }
          if (in_tree_[child]) {
            index_finding(where + " points at node " + num(child) + ", which the tree already reaches");
            continue;
          }
          in_tree_[child] = true;
          std::optional<std::string> upper = v.upper;
          if (i + 1 < node.usable_count()) upper = std::string(node.key(i + 1));
          below.push_back({child, std::string(node.key(i)), upper});
        }
      }
      level = std::move(below);
    }
    report_.levels = static_cast<int>(levels_.size());
  }

  void check_node(const Visit& v, const Node& node, int depth, bool leaf_level) {
    const std::string at = "node " + num(v.address) + " (level " + num(depth) + "): ";
    if (node.flag() != format::kInternalFlag && node.flag() != format::kLeafFlag)
      index_finding(at + "flag " + num(node.flag()) + " is neither leaf (255) nor internal (0)");
    else if (node.is_leaf() != leaf_level)
      index_finding(at + (node.is_leaf() ? "a leaf among internal nodes" : "an internal node among leaves"));
    if (!files::map_bit(index_, ih_.map_blocks, v.address)) index_finding(at + "in the tree but free in the map");
    if (node.count() == 0 || node.count() > capacity_)
      index_finding(at + "entry count " + num(node.count()) + " (1 to " + num(capacity_) + " expected)");
    const auto bytes = node.bytes();
    const int used = format::kNodeEntries + node.usable_count() * node.entry_size();
    if (std::any_of(bytes.begin() + used, bytes.end(), [](auto b) { return b != 0; }))
      index_finding(at + "bytes after the last entry are not zero");
    if (node.usable_count() == 0) return;
    if (depth > 0 && node.key(0) != v.lower)
      index_finding(at + "first key " + printable_key(node.key(0)) + " differs from its parent entry " +
                    printable_key(v.lower));
    for (int i = 0; i < node.usable_count(); ++i) {
      if (i > 0 && files::compare_keys(node.key(i - 1), node.key(i)) >= 0)
        index_finding(at + "entries " + num(i) + " and " + num(i + 1) + " are out of order (" +
                      printable_key(node.key(i - 1)) + ", " + printable_key(node.key(i)) + ")");
      if (v.upper && files::compare_keys(node.key(i), *v.upper) >= 0)
        index_finding(at + "entry " + num(i + 1) + " " + printable_key(node.key(i)) +
                      " is not below the parent's next key " + printable_key(*v.upper));
      if (!node.is_leaf() && node.type(i) != 0)
        index_finding(at + "internal entry " + num(i + 1) + " has type byte " + num(node.type(i)));
    }
  }

  // Leaf entries in tree order: the sentinel first, keys ascending across
  // leaves; live keys are kept for the record file check.
  void check_leaf_entries(std::uint16_t address, const Node& node, std::string& previous, bool& first) {
    for (int i = 0; i < node.usable_count(); ++i) {
      const std::string key(node.key(i));
      if (first) {
        first = false;
        if (key.find_first_not_of('\0') != std::string::npos || node.type(i) != 0 || node.pointer(i) != 0)
          index_finding("node " + num(address) + ": the first entry is not the sentinel (zero key, type 0, pointer 0)");
        else {
          previous = key;
          continue;
        }
      } else if (i == 0 && files::compare_keys(previous, key) >= 0) {
        index_finding("node " + num(address) + ": first key " + printable_key(key) +
                      " is not above the previous leaf's last key " + printable_key(previous));
      }
      previous = key;
      if (node.type(i) == files::kDeleted) {
        ++report_.deleted;
        continue;
      }
      ++report_.live_keys;
      if (key.starts_with("12")) ++report_.items;
      live_.push_back({key, node.pointer(i)});
    }
  }

  void check_chains() {
    for (std::size_t depth = 0; depth < levels_.size(); ++depth) {
      const auto& nodes = levels_[depth];
      const std::string at = "level " + num(static_cast<long>(depth)) + ": node ";
      for (std::size_t i = 0; i < nodes.size(); ++i) {
        const Node node(index_.block(nodes[i]), ih_.key_length);
        const std::uint16_t want_next = i + 1 < nodes.size() ? nodes[i + 1] : 0;
        const std::uint16_t want_prev = i > 0 ? nodes[i - 1] : 0;
        if (node.next() != want_next)
          index_finding(at + num(nodes[i]) + " links to next " + num(node.next()) + ", expected " + num(want_next));
        if (node.previous() != want_prev)
          index_finding(at + num(nodes[i]) + " links to previous " + num(node.previous()) + ", expected " +
                        num(want_prev));
      }
    }
  }

  void check_node_map() {
    const std::uint32_t end = files::map_end(ih_.map_blocks);
    for (std::uint32_t a = files::first_data_address(ih_.map_blocks); a < end; a += 2) {
      if (!files::map_bit(index_, ih_.map_blocks, a) || in_tree_[a]) continue;
      index_finding("node " + num(a) +
                    (index_.has_block(a) ? " is marked in use but is not in the tree"
                                         : " is marked in use but lies past the end of the file"));
    }
  }

  bool check_record_header() {
    rh_ = files::read_header(records_);
    return check_common_header(records_, rh_, false);
  }

  void check_records() {
    const std::uint32_t first = files::first_data_address(rh_.map_blocks);
    std::vector<const std::string*> owner(files::kLastAddress + 1, nullptr);
    for (const auto& [key, address] : live_) {
      const std::string at = "key " + printable_key(key) + " points at block " + num(address);
      if (address % 2 == 0 || address < first || !records_.has_block(address)) {
        record_finding(at + ", not a data block inside the file");
        continue;
      }
      if (!files::map_bit(records_, rh_.map_blocks, address)) record_finding(at + ", which is free in the map");
      if (owner[address] != nullptr) {
        record_finding(at + ", which key " + printable_key(*owner[address]) + " points at too");
        continue;
      }
      owner[address] = &key;
      const auto block = records_.block(address);
      if (std::memcmp(key.data(), block.data(), key.size()) != 0)  // bytes, not signed chars
        record_finding(at + ", which holds the key " +
                       printable_key({reinterpret_cast<const char*>(block.data()), key.size()}));
    }
    const std::uint32_t end = files::map_end(rh_.map_blocks);
    for (std::uint32_t a = first; a < end; a += 2) {
      if (!files::map_bit(records_, rh_.map_blocks, a)) continue;
      ++report_.blocks_in_use;
      // Without the index's keys every block would look abandoned.
      if (owner[a] == nullptr && tree_read_)
        record_finding("block " + num(a) + " is marked in use but no key points at it" +
                       (records_.has_block(a) ? "" : " (past the end of the file)"));
    }
  }

  const FileImage& index_;
  const FileImage& records_;
  files::Header ih_, rh_;
  int capacity_ = 0;
  bool tree_read_ = false;
  CheckReport report_;
  std::vector<std::vector<std::uint16_t>> levels_;
  std::vector<bool> in_tree_;
  std::vector<std::pair<std::string, std::uint16_t>> live_;
};

}  // namespace

CheckReport check_database(const FileImage& index, const FileImage& records) { return Checker(index, records).run(); }

}  // namespace invdb
