// Limits of key insertion: free nodes for a whole split cascade, the depth
// limit, node layouts at the key-length extremes, revival in place.
#include "crafted_index.h"

namespace isam_test {
namespace {

using isam::make_name_field;

class Insertion : public InTempDir {
 protected:
  isam::Library lib;
  std::int16_t status = -1;
};

// The file with its open-mark bytes cleared, for comparing an open file
// with the same file after its close.
std::string unmarked(std::string bytes) {
  bytes[8] = 0;
  return bytes;
}

TEST_F(Insertion, SplitWithoutEnoughFreeNodesChangesNothing) {
  Db db(lib, 0, 100);
  for (int n = 1; n <= 9; ++n) db.add(numbered_key(n));  // the root leaf is full
  db.close();
  // Leave exactly one free node (address 7): a split needs two.
  std::string map(256, '\xFF');
  map[0] = '\xEF';
  patch_file("STOCK.XXX", 256, map);
  Db again(lib, 0, 0, false);
  std::string before = file_bytes("STOCK.XXX");
  lib.caddk(1, numbered_key(10), 99, 0, status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(lib.core_error(), isam::kNoFreeNode);
  std::array<std::uint8_t, 22> key = numbered_key(9);
  std::uint16_t address = 0;
  std::uint8_t type = 0;
  bool found = false;
  lib.cfind(1, isam::kFindExact, key, address, type, found);
  EXPECT_TRUE(found);
  again.close();
  EXPECT_EQ(file_bytes("STOCK.XXX"), unmarked(before));

  // With a second free node the same key goes in.
  map[0] = '\xE7';
  patch_file("STOCK.XXX", 256, map);
  Db third(lib, 0, 0, false);
  lib.caddk(1, numbered_key(10), 99, 0, status);
  EXPECT_EQ(status, 0);
  third.close();
  EXPECT_EQ(u16_at(block_at(file_bytes("STOCK.XXX"), 1), 0), 9);  // the new root
}

TEST_F(Insertion, CascadeNeedsANodeForEveryLevelAndTheNewRoot) {
  // An ascending load of 63 keys leaves a full internal root over ten
  // leaves (nodes 5..25), the last one full: key 64 splits the leaf and the
  // root and grows a new root, three nodes in all.
  Db db(lib, 0, 100);
  for (int n = 1; n <= 63; ++n) db.add(numbered_key(n));
  db.close();
  std::string bytes = file_bytes("STOCK.XXX");
  int root = u16_at(block_at(bytes, 1), 0);
  ASSERT_EQ(u8_at(block_at(bytes, root), 5), 10);
  ASSERT_EQ(u8_at(block_at(bytes, 3), 1), 0xF8);  // addresses 1..25 in use
  std::string map(256, '\xFF');
  map[1] = '\xF9';  // two free nodes: 27 and 29
  patch_file("STOCK.XXX", 256, map);
  Db again(lib, 0, 0, false);
  std::string before = file_bytes("STOCK.XXX");
  lib.caddk(1, numbered_key(64), 64, 0, status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(lib.core_error(), isam::kNoFreeNode);
  again.close();
  EXPECT_EQ(file_bytes("STOCK.XXX"), unmarked(before));

  map[1] = '\xF8';  // 27, 29 and 31
  patch_file("STOCK.XXX", 256, map);
  Db third(lib, 0, 0, false);
  lib.caddk(1, numbered_key(64), 64, 0, status);
  EXPECT_EQ(status, 0);
  std::array<std::uint8_t, 22> key{};
  std::uint16_t address = 0;
  std::uint8_t type = 0;
  bool found = false;
  lib.cfind(1, isam::kFindPosition, key, address, type, found);
  for (int n = 1; n <= 64; ++n) {
    lib.cfind(1, isam::kFindNext, key, address, type, found);
    ASSERT_TRUE(found) << n;
    EXPECT_EQ(key, numbered_key(n));
  }
  third.close();
  bytes = file_bytes("STOCK.XXX");
  EXPECT_EQ(u16_at(block_at(bytes, 1), 0), 31);
  std::string new_root = block_at(bytes, 31);
  EXPECT_EQ(u8_at(new_root, 5), 2);
  EXPECT_EQ(u16_at(new_root, 6 + 23), root);
  EXPECT_EQ(u16_at(new_root, 6 + 25 + 23), 29);
  // The two halves of the old root are chained.
  EXPECT_EQ(u16_at(block_at(bytes, root), 1), 29);
  EXPECT_EQ(u16_at(block_at(bytes, 29), 3), root);
}

// A tree of nine levels (key length 32, seven entries a node) whose path to
// the lowest leaf is full from the leaf to the root.
void deep_tree(int leaf_entries) {
  CraftedIndex ix(32);
  ix.nodes_in_use_below(23);
  ix.header(5);
  for (int level = 0; level <= 8; ++level) {
    int address = 5 + 2 * level;
    std::vector<CraftedEntry> entries{{"", 0, level < 8 ? address + 2 : 0}};
    int count = level < 8 ? 7 : leaf_entries;
    for (int i = 1; i < count; ++i) {
      entries.push_back({std::string(1, static_cast<char>(0x80 + i)), 0, level < 8 ? address + 2 : 41});
    }
    ix.node(address, level == 8, 0, 0, entries);
  }
  ix.write("DEEP.XXX");
}

TEST_F(Insertion, TreeStaysWithinNineLevels) {
  std::array<std::uint8_t, 32> key{};
  key[0] = 0x10;
  // A full path: the insertion would need a tenth level and is refused.
  deep_tree(7);
  std::string before = file_bytes("DEEP.XXX");
  lib.copfx(1, make_name_field("DEEP", "XXX"), status);
  ASSERT_EQ(status, 0);
  lib.caddk(1, key, 43, 0, status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(lib.core_error(), isam::kTooDeep);
  lib.cclfx(1, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(file_bytes("DEEP.XXX"), before);

  // With room in the leaf at level 8 the key goes in and is found.
  std::filesystem::remove("DEEP.XXX");
  deep_tree(6);
  lib.copfx(1, make_name_field("DEEP", "XXX"), status);
  ASSERT_EQ(status, 0);
  lib.caddk(1, key, 43, 0, status);
  EXPECT_EQ(status, 0);
  std::uint16_t address = 0;
  std::uint8_t type = 0;
  bool found = false;
  lib.cfind(1, isam::kFindExact, key, address, type, found);
  EXPECT_TRUE(found);
  EXPECT_EQ(address, 43);
  lib.cclfx(1, status);
}

TEST_F(Insertion, LongestKeysFillSevenEntriesAndLeaveFiveBytes) {
  lib.ccrfx(make_name_field("K32", "XXX"), 32, 0, status);
  lib.copfx(1, make_name_field("K32", "XXX"), status);
  ASSERT_EQ(status, 0);
  for (int n = 1; n <= 6; ++n) {
    std::array<std::uint8_t, 32> key;
    key.fill(static_cast<std::uint8_t>('A' + n));
    lib.caddk(1, key, static_cast<std::uint16_t>(n), 0, status);
    ASSERT_EQ(status, 0);
  }
  lib.cclfx(1, status);
  std::string root = block_at(file_bytes("K32.XXX"), 5);
  EXPECT_EQ(u8_at(root, 5), 7);
  EXPECT_EQ(root.substr(6 + 6 * 35, 32), std::string(32, 'G'));
  EXPECT_EQ(u16_at(root, 6 + 6 * 35 + 33), 6);
  EXPECT_EQ(root.substr(251), std::string(5, '\0'));
}

TEST_F(Insertion, RevivalRewritesTheDeletedEntryInPlace) {
  Db db(lib, 0, 100);
  for (int n = 1; n <= 5; ++n) db.add(numbered_key(n));
  bool done = false;
  lib.cmdky(1, numbered_key(3), 0, 0xFF, done);
  ASSERT_TRUE(done);
  db.close();
  std::string leaf = block_at(file_bytes("STOCK.XXX"), 5);
  EXPECT_EQ(u8_at(leaf, 5), 6);
  EXPECT_EQ(u8_at(leaf, 6 + 3 * 25 + 22), 0xFF);
  EXPECT_EQ(u16_at(leaf, 6 + 3 * 25 + 23), 0);

  Db again(lib, 0, 0, false);
  lib.caddk(1, numbered_key(3), 4321, 8, status);
  EXPECT_EQ(status, 0);
  again.close();
  std::string revived = block_at(file_bytes("STOCK.XXX"), 5);
  EXPECT_EQ(u8_at(revived, 5), 6);
  EXPECT_EQ(revived.substr(6 + 3 * 25, 22), key_text(numbered_key(3)));
  EXPECT_EQ(u8_at(revived, 6 + 3 * 25 + 22), 8);
  EXPECT_EQ(u16_at(revived, 6 + 3 * 25 + 23), 4321);
}

}  // namespace
}  // namespace isam_test
