// Direct, read-only access to the two files of a database, without the
// library: the checker, `stat` and `dump` read the bytes themselves.
//
// Both files are runs of 256-byte blocks named by odd block addresses: the
// block at address n starts at byte (n - 1) * 128.  Block address 1 is the
// header:
//   index file   0-1 root node, 2-3 key length, 4-5 node capacity
//                (250 div (key length + 3)), 6-7 map blocks nb, 8-9 open mark
//   record file  0-5 zero,                     6-7 map blocks nb, 8-9 open mark
// (16-bit little-endian, bytes 10-255 zero).  Addresses 3 to 2nb + 1 hold the
// map of blocks in use: map block j covers the addresses 4096j + 1 to
// 4096j + 4095, one bit for each, the most significant bit of a byte first.
// Nodes or records start at address 2nb + 3.
//
// An index node: byte 0 is 255 for a leaf and 0 for an internal node, 1-2
// the next node on the same level, 3-4 the previous one, 5 the entry count,
// then the entries, each the key, a type byte (255 = deleted; 0 in internal
// nodes) and a 16-bit pointer (record address in a leaf, child node above).
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace invdb::files {

inline constexpr int kBlockSize = 256;
inline constexpr std::uint32_t kLastAddress = 65535;
inline constexpr int kLeafFlag = 255;
inline constexpr int kDeleted = 255;
inline constexpr int kMaxLevels = 9;

using BlockView = std::span<const std::uint8_t, kBlockSize>;

// A whole file in memory.
struct FileImage {
  std::string name;  // as shown in messages
  std::vector<std::uint8_t> bytes;

  bool has_block(std::uint32_t address) const {
    return address >= 1 && (address - 1) * 128ull + kBlockSize <= bytes.size();
  }
  BlockView block(std::uint32_t address) const { return BlockView(bytes.data() + (address - 1) * 128ull, kBlockSize); }
  std::uint16_t u16(std::size_t offset) const {
    return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
  }
};

// Reads the whole file; `shown` names it in messages and findings.
bool load_file(const std::filesystem::path& path, std::string_view shown, FileImage& image, std::string& error);

struct Header {
  std::uint16_t root = 0;           // index only
  std::uint16_t key_length = 0;     // index only
  std::uint16_t node_capacity = 0;  // index only
  std::uint16_t map_blocks = 0;
  std::uint16_t open_mark = 0;
};
// The header fields; the image must hold at least one block.
Header read_header(const FileImage& image);

inline std::uint32_t first_data_address(std::uint16_t map_blocks) { return 2u * map_blocks + 3; }
// One past the last address the map covers (never past the 16-bit range).
std::uint32_t map_end(std::uint16_t map_blocks);
// Whether the map marks the block in use; false when the map block is missing.
bool map_bit(const FileImage& image, std::uint16_t map_blocks, std::uint32_t address);

// An index node, read in place.
class Node {
 public:
  Node(BlockView block, int key_length) : b_(block), key_length_(key_length) {}
  bool is_leaf() const { return b_[0] == kLeafFlag; }
  int flag() const { return b_[0]; }
  std::uint16_t next() const { return word(1); }
  std::uint16_t previous() const { return word(3); }
  int count() const { return b_[5]; }
  int entry_size() const { return key_length_ + 3; }
  // Entries that fit in the 250 entry bytes (a count beyond it is damage).
  int usable_count() const { return std::min(count(), 250 / entry_size()); }
  std::string_view key(int i) const {
    return {reinterpret_cast<const char*>(b_.data()) + 6 + i * entry_size(), static_cast<std::size_t>(key_length_)};
  }
  int type(int i) const { return b_[6 + i * entry_size() + key_length_]; }
  std::uint16_t pointer(int i) const { return word(6 + i * entry_size() + key_length_ + 1); }
  BlockView bytes() const { return b_; }

 private:
  std::uint16_t word(int at) const { return static_cast<std::uint16_t>(b_[at] | b_[at + 1] << 8); }
  BlockView b_;
  int key_length_;
};

// Compares keys as unsigned bytes.
int compare_keys(std::string_view a, std::string_view b);
// A key for messages: printable bytes as they are, others as \xNN, trailing
// blanks dropped, in quotes.
std::string printable_key(std::string_view key);

}  // namespace invdb::files
