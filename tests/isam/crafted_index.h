// Builds index files byte by byte, for tests that need shapes the library
// would never write (damaged files, very deep trees).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "isam_fixture.h"

namespace isam_test {

struct CraftedEntry {
  std::string key;  // padded with zero bytes to the key length
  int type = 0;
  int pointer = 0;
};

class CraftedIndex {
 public:
  explicit CraftedIndex(int key_length, int map_blocks = 1) : key_length_(key_length), map_blocks_(map_blocks) {}

  // Header fields; the node capacity defaults to the one the key length gives.
  void header(int root, int mark = 0, int capacity = -1) {
    std::string h(256, '\0');
    put16(h, 0, root);
    put16(h, 2, key_length_);
    put16(h, 4, capacity >= 0 ? capacity : 250 / (key_length_ + 3));
    put16(h, 6, map_blocks_);
    put16(h, 8, mark);
    blocks_[1] = h;
    // The map: header, map blocks and every node below `used_below` in use.
    std::string map(256, '\0');
    for (int bit = 0; bit < 2048; ++bit) {
      if (2 * bit + 1 < used_below_) map[bit / 8] = static_cast<char>(map[bit / 8] | (0x80 >> (bit % 8)));
    }
    blocks_[3] = map;
  }
  void nodes_in_use_below(int address) { used_below_ = address; }
  void node(int address, bool leaf, int next, int previous, const std::vector<CraftedEntry>& entries, int count = -1) {
    std::string n(256, '\0');
    n[0] = leaf ? '\xFF' : '\0';
    put16(n, 1, next);
    put16(n, 3, previous);
    n[5] = static_cast<char>(count >= 0 ? count : static_cast<int>(entries.size()));
    std::size_t at = 6;
    for (const CraftedEntry& e : entries) {
      std::string k = e.key;
      k.resize(key_length_, '\0');
      if (at + key_length_ + 3 > 256) break;
      n.replace(at, key_length_, k);
      n[at + key_length_] = static_cast<char>(e.type);
      put16(n, at + key_length_ + 1, e.pointer);
      at += key_length_ + 3;
    }
    blocks_[address] = n;
  }
  void write(const std::string& name) const {
    int last = blocks_.rbegin()->first;
    std::string bytes(static_cast<std::size_t>(last - 1) * 128 + 256, '\0');
    for (const auto& [address, block] : blocks_) bytes.replace(static_cast<std::size_t>(address - 1) * 128, 256, block);
    test_support::write_file(name, bytes);
  }

 private:
  static void put16(std::string& s, std::size_t at, int v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
  }
  int key_length_;
  int map_blocks_;
  int used_below_ = 0;
  std::map<int, std::string> blocks_;
};

}  // namespace isam_test
