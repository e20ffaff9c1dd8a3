// The on-disk formats of the two database files, stated once.  The library
// reads and writes through these definitions, and so do the tools that look
// at the bytes directly (check, stat, dump).
//
// Block addressing (both files)
// -----------------------------
// A block address is a 16-bit unsigned number n.  It names the 256 bytes that
// begin at byte offset (n - 1) * 128, so block k of a file (counting from 0)
// has the address 2k + 1.  The library only hands out odd addresses; an even
// address is not refused by the plain transfers and moves the 256 bytes that
// straddle two blocks.  Address 0 names no block and every transfer at it
// fails.  Addresses stop at 65535, so at most 32768 blocks are addressable.
//
// Header (address 1; all integers 16-bit little-endian unsigned)
// --------------------------------------------------------------
//   bytes 0-1   index: root node number           record file: zero
//   bytes 2-3   index: key length, 1..32           record file: zero
//   bytes 4-5   index: node capacity               record file: zero
//               = 250 / (key length + 3)
//   bytes 6-7   nb, the number of map blocks, 1..32
//   bytes 8-9   open mark: 1 while open, 0 after a proper close
//   bytes 10-255 zero
// Addresses 3..2nb+1 hold the map, addresses 2nb+3 on the nodes (index; a
// new file has its root leaf there) or the records (record file; the "data
// start"), one per block.
//
// Map of blocks in use
// --------------------
// Map block j (0-based, address 2j + 3) holds 2048 bits for the file blocks
// 2048j .. 2048j + 2047.  Bit i is in byte i / 8 under the mask 0x80 >> (i % 8)
// (most significant bit first); 1 means "in use".  For an address n:
//   map block address = 2 * ((n - 1) / 4096) + 3
//   bit               = ((n - 1) / 2) % 2048
//   bit i of map block j <-> address 4096j + 2i + 1
// A new file has the bits of its header and map blocks set (and of its root
// in an index).  Map blocks 16 and later stand only for unaddressable blocks.
//
// Index node (256 bytes)
// ----------------------
//   byte 0        lflag: 0xFF leaf, 0 internal.  Any other value is damage;
//                 it reads as a leaf (non-zero), which is how every reader
//                 of the library has always taken it.
//   bytes 1-2     next node on the same level (right neighbour), 0 = none
//   bytes 3-4     previous node on the same level (left neighbour), 0 = none
//   byte 5        entry count, 1 .. node capacity
//   bytes 6 on    entries in ascending key order, key length + 3 bytes
//                 each, packed; the rest of the node is zero
// Entry: key (key length bytes), type byte, pointer (16-bit).  In a leaf the
// pointer is a record address and the type byte is the writer's; 0xFF marks
// a deleted entry.  In an internal node the entry holds a child's lowest
// key, type 0 and the child's node number.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "isam/coding.h"

namespace isam {

inline constexpr int kBlockSize = 256;
inline constexpr int kMaxKeyLength = 32;
using Block = std::array<std::uint8_t, kBlockSize>;

namespace format {

using BlockView = std::span<const std::uint8_t, kBlockSize>;

// Byte offset of block address n in a file.
inline constexpr std::uint64_t offset_of(std::uint32_t n) { return static_cast<std::uint64_t>(n - 1) * 128; }
inline constexpr std::uint32_t kLastAddress = 65535;

// Header fields: the byte offset of each 16-bit word in block 1 of either file.
enum HeaderField : int {
  kHeaderRoot = 0,
  kHeaderKeyLength = 2,
  kHeaderNodeCapacity = 4,
  kHeaderMapBlocks = 6,
  kHeaderOpenMark = 8,
};
// Bytes 10..255 of a header are zero; a record file's bytes 0..5 are too.
inline constexpr int kHeaderUsed = 10;
inline constexpr int kRecordHeaderZero = 6;

inline constexpr std::uint16_t kHeaderAddress = 1;
inline constexpr std::uint16_t kFirstMapAddress = 3;
inline constexpr int kBitsPerMapBlock = 2048;
inline constexpr int kMaxMapBlocks = 32;
// Map blocks 0..15 cover every 16-bit address; later ones cover none.
inline constexpr int kAddressableMapBlocks = 16;

// Node fields: the byte offset of each in a node.
enum NodeField : int {
  kNodeFlag = 0,      // one byte
  kNodeNext = 1,      // 16-bit
  kNodePrevious = 3,  // 16-bit
  kNodeCount = 5,     // one byte
  kNodeEntries = 6,   // the first entry
};
inline constexpr int kNodeEntryBytes = kBlockSize - kNodeEntries;  // 250
inline constexpr std::uint8_t kLeafFlag = 0xFF;
inline constexpr std::uint8_t kInternalFlag = 0;
inline constexpr std::uint8_t kDeleted = 0xFF;
// Searches descend through levels 0..8: at most nine levels.
inline constexpr int kMaxLevel = 8;
inline constexpr int kMaxLevels = kMaxLevel + 1;

inline constexpr int node_capacity_for(int key_length) { return kNodeEntryBytes / (key_length + 3); }
inline constexpr bool is_leaf_flag(std::uint8_t flag) { return flag != kInternalFlag; }

inline constexpr std::uint16_t map_blocks_for(std::uint16_t capacity) {
  return static_cast<std::uint16_t>(capacity / kBitsPerMapBlock + 1);
}
inline constexpr std::uint16_t data_start_for(std::uint16_t map_blocks) {
  return static_cast<std::uint16_t>(2 * map_blocks + 3);
}
inline constexpr std::uint16_t map_block_of(std::uint32_t n) {
  return static_cast<std::uint16_t>(2 * ((n - 1) / 4096) + 3);
}
inline constexpr int map_bit_of(std::uint32_t n) { return static_cast<int>(((n - 1) / 2) % kBitsPerMapBlock); }
inline constexpr std::uint32_t address_of_bit(std::uint16_t map_address, int bit) {
  return 4096u * ((map_address - 3u) / 2u) + 2u * static_cast<std::uint32_t>(bit) + 1u;
}
// One past the last address a map of nb blocks covers (never past 65535).
inline constexpr std::uint32_t map_end(std::uint16_t map_blocks) {
  return std::min<std::uint32_t>(4096u * map_blocks, kLastAddress + 1);
}
inline bool map_bit_set(BlockView map_block, int bit) { return (map_block[bit / 8] & (0x80 >> (bit % 8))) != 0; }

// A header, read in place.
class HeaderView {
 public:
  explicit HeaderView(BlockView block) : b_(block) {}
  std::uint16_t root() const { return word(kHeaderRoot); }
  std::uint16_t key_length() const { return word(kHeaderKeyLength); }
  std::uint16_t node_capacity() const { return word(kHeaderNodeCapacity); }
  std::uint16_t map_blocks() const { return word(kHeaderMapBlocks); }
  std::uint16_t open_mark() const { return word(kHeaderOpenMark); }
  std::uint16_t data_start() const { return data_start_for(map_blocks()); }

 private:
  std::uint16_t word(int at) const { return core::decode_u16(b_.data() + at); }
  BlockView b_;
};

// The two kinds of database file.
enum class FileKind { kIndex, kRecords };

// What is wrong with a header, checked in this order: the map-block count
// (either file), then for an index the key length, the node capacity and the
// root (odd, at or after the data start).  The open mark is not checked.
enum class HeaderFault { kSound, kMapBlocks, kKeyLength, kNodeCapacity, kRoot };
inline HeaderFault header_fault(BlockView header, FileKind kind);

// Why a file with this header, of `file_size` bytes (and, for an index, with
// this root node when it could be read) cannot be opened as a sound file of
// its kind, in words ("not an index file: ..."); empty when nothing is
// wrong.  Beyond header_fault it also finds a file too short for its map
// blocks, a root past the end of the file and a root holding no entries or
// more than fit.
std::string open_fault_words(BlockView header, FileKind kind, std::uint64_t file_size, const std::uint8_t* root);

// An index node in place, read-only (Byte = const std::uint8_t) or
// writable (Byte = std::uint8_t).  Entries are counted from 0 here; entry i
// begins kNodeEntries + i * entry_size() bytes into the node and holds the
// key, then the type byte, then the 16-bit pointer.
template <typename Byte>
class NodeFields {
 public:
  NodeFields(Byte* node, int key_length) : b_(node), key_length_(key_length) {}
  int flag() const { return b_[kNodeFlag]; }
  bool is_leaf() const { return is_leaf_flag(b_[kNodeFlag]); }
  std::uint16_t next() const { return core::decode_u16(b_ + kNodeNext); }
  std::uint16_t previous() const { return core::decode_u16(b_ + kNodePrevious); }
  int count() const { return b_[kNodeCount]; }
  int entry_size() const { return key_length_ + 3; }
  // Entries that fit in the 250 entry bytes (a count beyond it is damage).
  int usable_count() const { return std::min(count(), node_capacity_for(key_length_)); }
  // Where entry i begins (for i = count, where the unused bytes begin).
  int entry_offset(int i) const { return kNodeEntries + i * entry_size(); }
  // Entry i, starting with its key.
  Byte* entry(int i) const { return b_ + entry_offset(i); }
  std::string_view key(int i) const {
    return {reinterpret_cast<const char*>(entry(i)), static_cast<std::size_t>(key_length_)};
  }
  int type(int i) const { return *type_byte(i); }
  std::uint16_t pointer(int i) const { return core::decode_u16(pointer_bytes(i)); }

 protected:
  Byte* type_byte(int i) const { return entry(i) + key_length_; }
  Byte* pointer_bytes(int i) const { return entry(i) + key_length_ + 1; }

  Byte* b_;
  int key_length_;
};

class NodeView : public NodeFields<const std::uint8_t> {
 public:
  NodeView(BlockView block, int key_length) : NodeFields(block.data(), key_length) {}
  BlockView bytes() const { return BlockView(b_, kBlockSize); }
};

class MutableNodeView : public NodeFields<std::uint8_t> {
 public:
  MutableNodeView(Block& block, int key_length) : NodeFields(block.data(), key_length) {}
  void set_flag(std::uint8_t flag) { b_[kNodeFlag] = flag; }
  void set_next(std::uint16_t node) { core::encode_u16(b_ + kNodeNext, node); }
  void set_previous(std::uint16_t node) { core::encode_u16(b_ + kNodePrevious, node); }
  void set_count(int count) { b_[kNodeCount] = static_cast<std::uint8_t>(count); }
  void set_type(int i, std::uint8_t type) { *type_byte(i) = type; }
  void set_pointer(int i, std::uint16_t pointer) { core::encode_u16(pointer_bytes(i), pointer); }
  void set_entry(int i, const std::uint8_t* key, std::uint16_t pointer, std::uint8_t type) {
    std::memcpy(entry(i), key, static_cast<std::size_t>(key_length_));
    set_type(i, type);
    set_pointer(i, pointer);
  }
};

inline HeaderFault header_fault(BlockView header, FileKind kind) {
  const HeaderView h(header);
  if (h.map_blocks() < 1 || h.map_blocks() > kMaxMapBlocks) return HeaderFault::kMapBlocks;
  if (kind == FileKind::kRecords) return HeaderFault::kSound;
  if (h.key_length() < 1 || h.key_length() > kMaxKeyLength) return HeaderFault::kKeyLength;
  if (h.node_capacity() != node_capacity_for(h.key_length())) return HeaderFault::kNodeCapacity;
  if ((h.root() & 1) == 0 || h.root() < h.data_start()) return HeaderFault::kRoot;
  return HeaderFault::kSound;
}

}  // namespace format
}  // namespace isam
