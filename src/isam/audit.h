// The audit layer: what a store's two files hold, read straight from
// their bytes beside the format (file_format.h), without the core's open
// (so it sees what is on disk, damage included).
//
// Check
//   Index file: the header's fields and reserved bytes; the map bits of the
//   header and map blocks; from the root down, every node's flag, entry
//   count, unused bytes, key order and key range; each internal entry's key
//   against its child's first key; leaves all on one level, at most nine
//   levels; the sentinel entry first; each level's next and previous links
//   against the left-to-right order of the tree; map bits against the nodes
//   of the tree.
//   Record file: the header, the map bits of the header and map blocks;
//   every live key's record address (a data block inside the file, in use in
//   the map, not shared with another key, starting with the key itself);
//   blocks marked in use that no key points at.
//   Open marks left set are findings too, of their own kind, so that a
//   program can tell "clean apart from the marks" from damage.
// Stat
//   The tree followed from the root down its leftmost entries and then along
//   each level's next links; map usage.  A file whose header is damaged has
//   only its header fields.
// Dump
//   Every node the map marks in use, in address order (see dump_text).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "isam/file_format.h"
#include "isam/store.h"

namespace isam::audit {

// A whole file in memory.
struct FileImage {
  std::string name;  // as shown in findings and messages
  std::vector<std::uint8_t> bytes;
  // The shared lock taken while the file was read, held as long as the
  // image (or a copy) lives: a writer cannot change the store between the
  // reading of its two files.
  std::shared_ptr<void> lock;

  bool has_block(std::uint32_t address) const {
    return address >= 1 && format::offset_of(address) + kBlockSize <= bytes.size();
  }
  format::BlockView block(std::uint32_t address) const {
    return format::BlockView(bytes.data() + format::offset_of(address), kBlockSize);
  }
  format::HeaderView header() const { return format::HeaderView(block(format::kHeaderAddress)); }
  // Whether the map marks the block in use; false when the map block is
  // missing or the address lies past what the map covers.
  bool map_bit(std::uint32_t address) const;
};

// Reads one file of the store at `store_path` whole (the index when
// `kind` is kIndex), under a shared lock taken with the store's wait
// (`options`: lock_wait_ms, on_wait, stop, env), after rolling back a change
// a writer left cut short.  Fails on a file shorter than a header.
Status load(std::string_view store_path, format::FileKind kind, const StoreOptions& options, FileImage& image);

struct Finding {
  enum class Kind {
    kOpenMark,  // the file's open mark is set
    kLength,    // the file is not a whole number of blocks
    kHeader,    // a header field or reserved byte
    kMap,       // a map bit against what the tree and the keys use
    kTree,      // a node, its entries, links or the tree's shape
    kRecord,    // a live key against the record file
  };
  Kind kind;
  std::string text;  // "FILE: what was found"
};

struct Check {
  std::vector<Finding> findings;
  int levels = 0;
  long nodes = 0;
  long live_keys = 0;  // the sentinel not counted
  long counted = 0;    // live keys that begin with the counted prefix
  long deleted = 0;
  long blocks_in_use = 0;
  bool clean() const { return findings.empty(); }
  // Whether the open marks are all that was found (and there is one).
  bool only_open_marks() const;
};
// `counted_prefix`: live keys beginning with it are counted apart (the
// items of an inventory store, say).
Check check(const FileImage& index, const FileImage& records, std::string_view counted_prefix = {});

// The header fields of either file; the image must hold at least one block.
struct Header {
  std::uint16_t root = 0;           // index only
  std::uint16_t key_length = 0;     // index only
  std::uint16_t node_capacity = 0;  // index only
  std::uint16_t map_blocks = 0;
  std::uint16_t open_mark = 0;
};
Header read_header(const FileImage& image);

struct Stat {
  struct Level {
    long nodes = 0, entries = 0;
    double fill_percent = 0;  // entries against the level's node capacity
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
  long counted = 0, other_keys = 0, deleted = 0;
  std::vector<Level> levels;
};
Stat stat(const FileImage& index, const FileImage& records, std::string_view counted_prefix = {});

// The record blocks a record file has room for: every block its map covers
// past the header and the map blocks themselves.
long record_room(const FileImage& records);

// Every node the map marks in use, in address order: "\nNode: %4d",
// "\tlflag: %02x %6d %6d %6d" (flag, next, previous, count), then per entry
// "\n\t%6d%5d" (pointer as a signed number, type byte), a tab and the key's
// bytes; a line feed at the end.  Empty for a damaged header.
std::string dump_text(const FileImage& index);

// Compares keys as unsigned bytes, a shorter key first on a tie.
int compare_keys(std::string_view a, std::string_view b);
// A key for messages: printable bytes as they are, others as \xNN, trailing
// blanks dropped, in quotes.
std::string printable_key(std::string_view key);

}  // namespace isam::audit
