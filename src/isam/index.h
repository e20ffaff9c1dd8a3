// The index file: a B-tree of 256-byte nodes over fixed-length keys, each
// leaf entry leading to a 16-bit record address in the record file.
//
// The file, node and entry layouts are in file_format.h.
//
// Invariants
//   - Keys compare as unsigned bytes over the key length.
//   - Every leaf is at the same depth; the root is level 0 and the deepest
//     searchable level is 8, so a tree has at most 9 levels.
//   - A new index holds one entry in its root leaf: the all-zero sentinel
//     key with type 0 and pointer 0.  It is the smallest key, so a position
//     search always finds an entry at or before its key, and no added key
//     ever becomes a node's new first key: a parent's entry stays valid
//     after its child splits.
//   - Each level is chained both ways, so the next or previous key is found
//     by stepping along the leaf chain without a new descent.
//
// Open index
//   Searches, inserts and splits work on one "work node".  Twelve cache
//   slots hold recently used nodes write-back: a changed node is stored in
//   its slot as dirty and reaches the disk when its slot is taken for
//   another node or at close.  A read leaves a hit slot's age alone and ages
//   every other used slot by one; storing a node sets its slot's age to 0.
//   The slot taken for a new node is the first empty one, else the oldest
//   (lowest slot on a tie), whose dirty contents are written first.
//
// Damaged files never make an operation leave its buffers, loop or crash:
// a header with a key length, node capacity, map-block count or root out of
// range is a failed header read; a node with no entries or more than the
// capacity, and a link or pointer that is even, below the first node
// address or past the end of the file, is a failed node read (code 3).  A
// descent stops after level 8, and a walk along a level chain that comes
// back to a node it already passed ends there as a failed read.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "isam/record_file.h"

namespace isam::core {

inline constexpr int kCacheSlots = 12;

using Key = std::array<std::uint8_t, kMaxKeyLength>;

struct CacheSlot {
  std::uint16_t node = 0;  // 0: empty
  std::uint16_t dirty = 0;
  std::uint16_t age = 0;
  Block buffer{};
};

// Remembers the nodes one walk along a level chain has passed, so that a
// chain that loops back ends the walk.  A run starts at every new descent
// and at every change of direction; each step costs O(1).
class ChainGuard {
 public:
  void reset() { direction_ = 0; }
  // Called before each step; starts a new run from `from` when the
  // direction differs from the run's.
  void begin(int direction, std::uint16_t from) {
    if (direction != direction_) restart(direction, from);
  }
  // Marks `node` passed; false when this run had already passed it.
  bool enter(std::uint16_t node);

 private:
  void restart(int direction, std::uint16_t from);
  int direction_ = 0;
  std::uint16_t epoch_ = 0;
  std::vector<std::uint16_t> seen_;  // epoch stamp per node number / 2
};

// The open-index record.
struct OpenIndex {
  std::uint16_t root = 0;
  std::uint16_t key_length = 0;
  std::uint16_t capacity = 0;
  std::uint16_t map_blocks = 0;
  BlockFile file;
  FreeMap map;
  std::uint16_t level = 0;                          // depth of the work node
  std::array<std::uint16_t, kMaxLevel + 1> path{};  // node numbers, levels 0..8
  // Entry counts of the path's nodes as the latest descent met them.
  std::array<std::uint8_t, kMaxLevel + 1> path_count{};
  std::uint16_t work_number = 0;
  std::uint16_t position = 0;  // 1-based current entry; 0 or count + 1 past an end
  std::array<CacheSlot, kCacheSlots> cache{};
  Block work{};
  ChainGuard chain;

  std::uint16_t data_start() const { return data_start_for(map_blocks); }
  // The work node through the node format's view (entries from 0 there).
  MutableNodeView node() { return {work, key_length}; }
  NodeView node() const { return {work, key_length}; }
  int entry_size() const { return node().entry_size(); }
  int count() const { return node().count(); }
  bool is_leaf() const { return node().is_leaf(); }
  // Entry `pos` (1-based) of the work node.
  std::uint8_t* entry(int pos) { return node().entry(pos - 1); }
  std::uint8_t* current() { return entry(position); }
};

// Creates an empty index (header, map, sentinel root).  Refuses key lengths
// outside 1..32 and existing files (code 9).  Not left open.
bool crfile(Core& core, std::string_view name, int key_length, std::uint16_t capacity);
// Opens an index and marks it open (code 10 when it was already marked).
// Nothing is returned on failure (codes 5, 6, 8, 9); the mark is then as it
// was before.
std::unique_ptr<OpenIndex> opfile(Core& core, std::string_view name);
// Writes the map block and the dirty nodes, flushes and clears the open
// mark.  On a failure (codes 5, 6) the file stays open; the caller releases
// the record, which closes it without writing.
bool clfile(Core& core, OpenIndex& index);

// Brings node n into the work node through the cache (code 3 on a failed
// read or a damaged node; the work node is then unchanged).
bool read_node(Core& core, OpenIndex& index, std::uint16_t n);
// Puts the work node into the cache with the dirty flag (code 3 when a dirty
// victim cannot be written).
bool store_node(Core& core, OpenIndex& index, bool dirty);

struct Located {
  bool exact = false;
  std::uint8_t type = 0;
  std::uint16_t pointer = 0;
};
// Positions the work node at the entry equal to `key`, else at the last
// entry below it (entry 1 when every entry is greater).
Located locate(OpenIndex& index, const std::uint8_t* key);

// Mode 1 exact, 2 position (greatest live key <= key), 3 next, 4 previous.
// `key` holds at least the key length; modes 2-4 write the key reached into
// it.  address and type take the located entry's pointer and type byte.
bool find(Core& core, OpenIndex& index, int mode, std::span<std::uint8_t> key, std::uint16_t& address,
          std::uint8_t& type);
// The first real key (after the sentinel) and the last key.
bool find_first(Core& core, OpenIndex& index, std::span<std::uint8_t> key, std::uint16_t& address, std::uint8_t& type);
bool find_last(Core& core, OpenIndex& index, std::span<std::uint8_t> key, std::uint16_t& address, std::uint8_t& type);
// A step along the chain reached a new leaf, now the work node: its entries
// name the record blocks a walk reads next, so they are loaded ahead in
// each of `record_files` (descriptors), and so is the leaf the walk goes on
// to after it (`link`: the field of the chain link in that direction).
void read_ahead(Core& core, const OpenIndex& index, int link, std::span<const int> record_files);

// ---- insertion.cc ----

// Adds a key with its record address and type byte, or revives its deleted
// entry.  Codes: 1 present and live, 2 the tree would need a tenth level,
// 3 a failed or damaged read or write, 4 not enough free nodes (checked
// before anything changes), 5 header unreadable at root growth.
bool addkey(Core& core, OpenIndex& index, std::span<const std::uint8_t> key, std::uint16_t address, std::uint8_t type);
// Replaces the record address and type byte of a live key (type 0xFF
// deletes it).
bool modify_key(Core& core, OpenIndex& index, std::span<const std::uint8_t> key, std::uint16_t address,
                std::uint8_t type);
bool delete_key(Core& core, OpenIndex& index, std::span<const std::uint8_t> key);
// Inserts into the work node, which must have room; answers whether the
// entry landed at position 1.
bool insert(OpenIndex& index, const std::uint8_t* key, std::uint16_t pointer, std::uint8_t type);
// A free node from the free-node map, or 0.
std::uint16_t allocate_node(Core& core, OpenIndex& index);

}  // namespace isam::core
