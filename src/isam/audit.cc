// The audit layer: check, stat and dump over the bytes of the files,
// and the reading of the files under the store's lock.
#include "isam/audit.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <tuple>

#include "isam/record_file.h"

namespace isam::audit {
namespace {

std::string num(long v) { return std::to_string(v); }

using Node = format::NodeView;

// An index header whose key length or map size stat and dump cannot use.
bool damaged_index(const FileImage& index) {
  const format::HeaderFault fault = format::header_fault(index.block(format::kHeaderAddress), format::FileKind::kIndex);
  return fault == format::HeaderFault::kMapBlocks || fault == format::HeaderFault::kKeyLength;
}

template <typename... Args>
void appendf(std::string& out, const char* format, Args... args) {
  char buffer[160];
  const int n = std::snprintf(buffer, sizeof buffer, format, args...);
  if (n > 0) out.append(buffer, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buffer - 1));
}

// A node reached from its parent, with the key range its entries must keep.
struct Visit {
  std::uint16_t address;
  std::string lower;                 // the parent entry's key ("" at the root)
  std::optional<std::string> upper;  // the parent's next entry key, if any
};

class Checker {
 public:
  Checker(const FileImage& index, const FileImage& records, std::string_view counted)
      : index_(index), records_(records), counted_(counted) {}

  Check run() {
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
  void index_finding(Finding::Kind kind, const std::string& text) {
    report_.findings.push_back({kind, index_.name + ": " + text});
  }
  void record_finding(Finding::Kind kind, const std::string& text) {
    report_.findings.push_back({kind, records_.name + ": " + text});
  }

  // Checks the fields every header shares; false when the map cannot be used.
  bool check_common_header(const FileImage& image, const Header& h, bool is_index) {
    auto finding = [&](Finding::Kind kind, const std::string& t) {
      report_.findings.push_back({kind, image.name + ": " + t});
    };
    if (image.bytes.size() % kBlockSize != 0)
      finding(Finding::Kind::kLength,
              "length " + num(static_cast<long>(image.bytes.size())) + " is not a whole number of blocks");
    if (h.open_mark != 0)
      finding(Finding::Kind::kOpenMark,
              "marked open (open mark " + num(h.open_mark) + "): it was not closed after its last use");
    const auto block = image.block(format::kHeaderAddress);
    if (std::any_of(block.begin() + format::kHeaderUsed, block.end(), [](auto b) { return b != 0; }))
      finding(Finding::Kind::kHeader, "header bytes 10-255 are not zero");
    if (!is_index &&
        std::any_of(block.begin(), block.begin() + format::kRecordHeaderZero, [](auto b) { return b != 0; }))
      finding(Finding::Kind::kHeader, "header bytes 0-5 are not zero");
    if (h.map_blocks < 1 || h.map_blocks > format::kMaxMapBlocks) {
      finding(Finding::Kind::kHeader, "header names " + num(h.map_blocks) + " map blocks (1 to 32 expected)");
      return false;
    }
    const std::uint32_t first = format::data_start_for(h.map_blocks);
    if (!image.has_block(first - 2)) {
      finding(Finding::Kind::kHeader, "the file ends before its " + num(h.map_blocks) + " map blocks");
      return false;
    }
    for (std::uint32_t a = 1; a < first; a += 2)
      if (!image.map_bit(a))
        finding(Finding::Kind::kMap,
                "map bit of " + std::string(a == 1 ? "the header" : "map block " + num(a)) + " is clear");
    return true;
  }

  bool check_index_header() {
    ih_ = read_header(index_);
    if (ih_.key_length < 1 || ih_.key_length > isam::kMaxKeyLength) {
      index_finding(Finding::Kind::kHeader, "header key length " + num(ih_.key_length) + " is outside 1 to 32");
      return false;
    }
    capacity_ = format::node_capacity_for(ih_.key_length);
    if (ih_.node_capacity != capacity_)
      index_finding(Finding::Kind::kHeader, "header node capacity " + num(ih_.node_capacity) + ", expected " +
                                                num(capacity_) + " for key length " + num(ih_.key_length));
    if (!check_common_header(index_, ih_, true)) return false;
    if (!valid_node_address(ih_.root)) {
      index_finding(Finding::Kind::kHeader, "root " + num(ih_.root) + " is not a node address inside the file");
      return false;
    }
    return true;
  }

  bool valid_node_address(std::uint32_t a) const {
    return a % 2 == 1 && a >= format::data_start_for(ih_.map_blocks) && index_.has_block(a);
  }

  void walk_tree() {
    std::vector<Visit> level{{ih_.root, std::string(), std::nullopt}};
    in_tree_.assign(format::kLastAddress + 1, false);
    in_tree_[ih_.root] = true;
    std::string previous_leaf_key;
    bool first_leaf = true;
    while (!level.empty()) {
      if (static_cast<int>(levels_.size()) == format::kMaxLevels) {
        index_finding(Finding::Kind::kTree, "the tree is deeper than " + num(format::kMaxLevels) + " levels");
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
            index_finding(Finding::Kind::kTree, where + " points at " + num(child) + ", not a node inside the file");
            continue;
          }
          if (in_tree_[child]) {
            index_finding(Finding::Kind::kTree,
                          where + " points at node " + num(child) + ", which the tree already reaches");
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
      index_finding(Finding::Kind::kTree, at + "flag " + num(node.flag()) + " is neither leaf (255) nor internal (0)");
    else if (node.is_leaf() != leaf_level)
      index_finding(Finding::Kind::kMap,
                    at + (node.is_leaf() ? "a leaf among internal nodes" : "an internal node among leaves"));
    if (!index_.map_bit(v.address)) index_finding(Finding::Kind::kMap, at + "in the tree but free in the map");
    if (node.count() == 0 || node.count() > capacity_)
      index_finding(Finding::Kind::kTree,
                    at + "entry count " + num(node.count()) + " (1 to " + num(capacity_) + " expected)");
    const auto bytes = node.bytes();
    const int used = node.entry_offset(node.usable_count());
    if (std::any_of(bytes.begin() + used, bytes.end(), [](auto b) { return b != 0; }))
      index_finding(Finding::Kind::kTree, at + "bytes after the last entry are not zero");
    if (node.usable_count() == 0) return;
    if (depth > 0 && node.key(0) != v.lower)
      index_finding(Finding::Kind::kTree, at + "first key " + printable_key(node.key(0)) +
                                              " differs from its parent entry " + printable_key(v.lower));
    for (int i = 0; i < node.usable_count(); ++i) {
      if (i > 0 && compare_keys(node.key(i - 1), node.key(i)) >= 0)
        index_finding(Finding::Kind::kTree, at + "entries " + num(i) + " and " + num(i + 1) + " are out of order (" +
                                                printable_key(node.key(i - 1)) + ", " + printable_key(node.key(i)) +
                                                ")");
      if (v.upper && compare_keys(node.key(i), *v.upper) >= 0)
        index_finding(Finding::Kind::kTree, at + "entry " + num(i + 1) + " " + printable_key(node.key(i)) +
                                                " is not below the parent's next key " + printable_key(*v.upper));
      if (!node.is_leaf() && node.type(i) != 0)
        index_finding(Finding::Kind::kTree,
                      at + "internal entry " + num(i + 1) + " has type byte " + num(node.type(i)));
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
          index_finding(Finding::Kind::kTree,
                        "node " + num(address) + ": the first entry is not the sentinel (zero key, type 0, pointer 0)");
        else {
          previous = key;
          continue;
        }
      } else if (i == 0 && compare_keys(previous, key) >= 0) {
        index_finding(Finding::Kind::kTree, "node " + num(address) + ": first key " + printable_key(key) +
                                                " is not above the previous leaf's last key " +
                                                printable_key(previous));
      }
      previous = key;
      if (node.type(i) == format::kDeleted) {
        ++report_.deleted;
        continue;
      }
      ++report_.live_keys;
      if (!counted_.empty() && key.starts_with(counted_)) ++report_.counted;
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
          index_finding(Finding::Kind::kTree,
                        at + num(nodes[i]) + " links to next " + num(node.next()) + ", expected " + num(want_next));
        if (node.previous() != want_prev)
          index_finding(Finding::Kind::kTree, at + num(nodes[i]) + " links to previous " + num(node.previous()) +
                                                  ", expected " + num(want_prev));
      }
    }
  }

  void check_node_map() {
    const std::uint32_t end = format::map_end(ih_.map_blocks);
    for (std::uint32_t a = format::data_start_for(ih_.map_blocks); a < end; a += 2) {
      if (!index_.map_bit(a) || in_tree_[a]) continue;
      index_finding(Finding::Kind::kMap,
                    "node " + num(a) +
                        (index_.has_block(a) ? " is marked in use but is not in the tree"
                                             : " is marked in use but lies past the end of the file"));
    }
  }

  bool check_record_header() {
    rh_ = read_header(records_);
    return check_common_header(records_, rh_, false);
  }

  void check_records() {
    const std::uint32_t first = format::data_start_for(rh_.map_blocks);
    std::vector<const std::string*> owner(format::kLastAddress + 1, nullptr);
    for (const auto& [key, address] : live_) {
      const std::string at = "key " + printable_key(key) + " points at block " + num(address);
      if (address % 2 == 0 || address < first || !records_.has_block(address)) {
        record_finding(Finding::Kind::kRecord, at + ", not a data block inside the file");
        continue;
      }
      if (!records_.map_bit(address)) record_finding(Finding::Kind::kRecord, at + ", which is free in the map");
      if (owner[address] != nullptr) {
        record_finding(Finding::Kind::kRecord, at + ", which key " + printable_key(*owner[address]) + " points at too");
        continue;
      }
      owner[address] = &key;
      const auto block = records_.block(address);
      if (std::memcmp(key.data(), block.data(), key.size()) != 0)  // bytes, not signed chars
        record_finding(
            Finding::Kind::kRecord,
            at + ", which holds the key " + printable_key({reinterpret_cast<const char*>(block.data()), key.size()}));
    }
    const std::uint32_t end = format::map_end(rh_.map_blocks);
    for (std::uint32_t a = first; a < end; a += 2) {
      if (!records_.map_bit(a)) continue;
      ++report_.blocks_in_use;
      // Without the index's keys every block would look abandoned.
      if (owner[a] == nullptr && tree_read_)
        record_finding(Finding::Kind::kMap, "block " + num(a) + " is marked in use but no key points at it" +
                                                (records_.has_block(a) ? "" : " (past the end of the file)"));
    }
  }

  const FileImage& index_;
  const FileImage& records_;
  std::string_view counted_;
  Header ih_, rh_;
  int capacity_ = 0;
  bool tree_read_ = false;
  Check report_;
  std::vector<std::vector<std::uint16_t>> levels_;
  std::vector<bool> in_tree_;
  std::vector<std::pair<std::string, std::uint16_t>> live_;
};

}  // namespace

Header read_header(const FileImage& image) {
  const format::HeaderView h = image.header();
  return {h.root(), h.key_length(), h.node_capacity(), h.map_blocks(), h.open_mark()};
}

bool FileImage::map_bit(std::uint32_t address) const {
  const std::uint16_t map_blocks = header().map_blocks();
  if (address == 0 || address >= format::map_end(map_blocks)) return false;
  const std::uint32_t map_address = format::map_block_of(address);
  if (!has_block(map_address)) return false;
  return format::map_bit_set(block(map_address), format::map_bit_of(address));
}

bool Check::only_open_marks() const {
  return !findings.empty() && std::all_of(findings.begin(), findings.end(),
                                          [](const Finding& f) { return f.kind == Finding::Kind::kOpenMark; });
}

Check check(const FileImage& index, const FileImage& records, std::string_view counted_prefix) {
  return Checker(index, records, counted_prefix).run();
}

int compare_keys(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  const int c = n == 0 ? 0 : std::memcmp(a.data(), b.data(), n);
  if (c != 0) return c;
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

std::string printable_key(std::string_view key) {
  while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
  std::string out = "\"";
  for (unsigned char c : key) {
    if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out + "\"";
}

Status load(std::string_view store_path, format::FileKind kind, const StoreOptions& options, FileImage& image) {
  const std::string path = kind == format::FileKind::kIndex ? index_name_of(store_path) : std::string(store_path);
  image.name = path;
  image.bytes.clear();
  image.lock.reset();
  // A journal beside the files means a writer stopped before it committed:
  // a reader's open of the store puts it back (and says so).
  struct Held {
    core::Core core;
    int fd = -1;
    ~Held() {
      if (fd >= 0) core.env->close(fd);
    }
  };
  auto held = std::make_shared<Held>();
  core::Core& core = held->core;
  if (options.env) core.env = options.env;
  core.lock_wait_ms = std::max(options.lock_wait_ms, 0);
  core.on_wait = options.on_wait;
  core.stop = options.stop;
  Env& env = *core.env;
  const std::string journal = journal_name_of(store_path);
  if (const int probe = env.open(journal.c_str(), O_RDONLY, 0); probe >= 0) {
    env.close(probe);
    StoreOptions reader = options;
    reader.access = StoreOptions::Access::kRead;
    std::unique_ptr<Store> store;
    if (Store::open(store_path, reader, store)) store->commit();
  }
  held->fd = env.open(path.c_str(), O_RDONLY, 0);
  if (held->fd < 0) {
    const int e = errno;
    return Status::error(e == ENOENT ? Status::Kind::kNotFound : Status::Kind::kIo, path, e,
                         std::string("cannot open: ") + std::strerror(e));
  }
  // The library's own kind of lock, so that its writers and this reader
  // keep out of each other's way.
  if (!core::wait_for_lock(core, held->fd, Env::kShared)) {
    const int e = core.system_error;
    if (e == EWOULDBLOCK) return Status::error(Status::Kind::kBusy, path, e, "in use by another program");
    if (e == EINTR) return Status::error(Status::Kind::kInterrupted, path, e, "stopped before it could be read");
    return Status::error(Status::Kind::kIo, path, e, std::string("cannot lock: ") + std::strerror(e));
  }
  const off_t size = env.file_size(held->fd);
  if (size < 0)
    return Status::error(Status::Kind::kIo, path, errno, std::string("cannot open: ") + std::strerror(errno));
  image.bytes.resize(static_cast<std::size_t>(size));
  std::size_t got = 0;
  while (got < image.bytes.size()) {
    const ssize_t n = env.pread(held->fd, image.bytes.data() + got, image.bytes.size() - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int e = errno;
      return Status::error(Status::Kind::kIo, path, e,
                           "read error: " + std::string(e == EIO ? "the device failed (" : "") + std::strerror(e) +
                               (e == EIO ? ")" : ""));
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  image.bytes.resize(got);
  if (image.bytes.size() < kBlockSize)
    return Status::error(Status::Kind::kDamaged, path, 0,
                         "too short to hold a header (" + std::to_string(image.bytes.size()) + " bytes)");
  image.lock = std::move(held);
  return Status::ok();
}

namespace {

bool valid_node(const FileImage& index, const Header& h, std::uint32_t a) {
  return a % 2 == 1 && a >= format::data_start_for(h.map_blocks) && index.has_block(a);
}

// In use and free among the addresses a map covers past its own blocks.
std::pair<long, long> map_usage(const FileImage& image, std::uint16_t map_blocks) {
  long used = 0, free = 0;
  for (std::uint32_t a = format::data_start_for(map_blocks); a < format::map_end(map_blocks); a += 2)
    (image.map_bit(a) ? used : free)++;
  return {used, free};
}

}  // namespace

long record_room(const FileImage& records) {
  const std::uint16_t nb = read_header(records).map_blocks;
  return static_cast<long>(format::map_end(nb) - format::data_start_for(nb) + 1) / 2;
}

Stat stat(const FileImage& index, const FileImage& records, std::string_view counted_prefix) {
  const Header ih = read_header(index);
  const Header rh = read_header(records);
  Stat r;
  r.index = {index.name, ih.map_blocks, ih.open_mark != 0};
  r.records = {records.name, rh.map_blocks, rh.open_mark != 0};
  r.key_length = ih.key_length;
  r.entries_per_node = ih.node_capacity;
  r.index.damaged = damaged_index(index);
  r.records.damaged = format::header_fault(records.block(format::kHeaderAddress), format::FileKind::kRecords) !=
                      format::HeaderFault::kSound;
  if (!r.index.damaged) {
    std::vector<bool> seen(format::kLastAddress + 1, false);
    std::uint32_t first = ih.root;
    while (valid_node(index, ih, first) && r.levels.size() < format::kMaxLevels) {
      Stat::Level level;
      const Node head(index.block(first), ih.key_length);
      for (std::uint32_t a = first; valid_node(index, ih, a) && !seen[a];) {
        seen[a] = true;
        const Node node(index.block(a), ih.key_length);
        ++level.nodes;
        level.entries += node.usable_count();
        for (int i = 0; head.is_leaf() && i < node.usable_count(); ++i) {
          if (node.type(i) == format::kDeleted)
            ++r.deleted;
          else if (!counted_prefix.empty() && node.key(i).starts_with(counted_prefix))
            ++r.counted;
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

std::string dump_text(const FileImage& index) {
  const Header ih = read_header(index);
  std::string out;
  if (damaged_index(index)) return out;
  for (std::uint32_t a = format::data_start_for(ih.map_blocks); a < format::map_end(ih.map_blocks); a += 2) {
    if (!index.map_bit(a) || !index.has_block(a)) continue;
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

}  // namespace isam::audit
