// The open index's node cache and find first / find last,
// driven through the library core.
#include "isam/index.h"
#include "isam_fixture.h"

namespace isam_test {
namespace {

using namespace isam::core;

class NodeCache : public InTempDir {
 protected:
  // An index IX.XXX with `keys` ascending keys, closed and opened again, so
  // the cache starts empty.
  void build(int keys) {
    ASSERT_TRUE(crfile(core, "IX.XXX", 22, 1000));
    auto index = opfile(core, "IX.XXX");
    ASSERT_TRUE(index);
    for (int n = 1; n <= keys; ++n)
      ASSERT_TRUE(addkey(core, *index, numbered_key(n), static_cast<std::uint16_t>(n), 0));
    ASSERT_TRUE(clfile(core, *index));
    ix = opfile(core, "IX.XXX");
    ASSERT_TRUE(ix);
  }
  // The leaves in chain order.
  std::vector<std::uint16_t> leaves() {
    std::vector<std::uint16_t> out;
    std::string bytes = file_bytes("IX.XXX");
    for (std::uint16_t n = 5; n != 0;) {
      out.push_back(n);
      n = static_cast<std::uint16_t>(u16_at(block_at(bytes, n), 1));
    }
    return out;
  }
  std::vector<std::uint16_t> cached() const {
    std::vector<std::uint16_t> out;
    for (const CacheSlot& slot : ix->cache) out.push_back(slot.node);
    return out;
  }

  Core core;
  std::unique_ptr<OpenIndex> ix;
};

TEST_F(NodeCache, ThirteenthNodeTakesTheSlotStoredLongestAgo) {
  build(200);
  std::vector<std::uint16_t> nodes = leaves();
  ASSERT_GE(nodes.size(), 14u);
  for (int i = 0; i < 12; ++i) ASSERT_TRUE(read_node(core, *ix, nodes[i]));
  EXPECT_EQ(cached(), std::vector<std::uint16_t>(nodes.begin(), nodes.begin() + 12));
  ASSERT_TRUE(read_node(core, *ix, nodes[12]));
  EXPECT_EQ(ix->cache[0].node, nodes[12]);
  EXPECT_EQ(ix->work_number, nodes[12]);
  // A hit does not make a slot younger: slot 2 is read again but is still
  // the oldest and goes next.
  ASSERT_TRUE(read_node(core, *ix, nodes[1]));
  EXPECT_EQ(ix->work_number, nodes[1]);
  ASSERT_TRUE(read_node(core, *ix, nodes[13]));
  EXPECT_EQ(ix->cache[1].node, nodes[13]);
  EXPECT_TRUE(clfile(core, *ix));
}

TEST_F(NodeCache, DirtyVictimIsWrittenBeforeItsSlotIsReused) {
  build(200);
  std::vector<std::uint16_t> nodes = leaves();
  ASSERT_TRUE(read_node(core, *ix, nodes[0]));
  ix->work[255] = 0x77;  // past the entries: harmless to the tree
  ASSERT_TRUE(store_node(core, *ix, true));
  for (int i = 1; i <= 11; ++i) ASSERT_TRUE(read_node(core, *ix, nodes[i]));
  EXPECT_EQ(u8_at(block_at(file_bytes("IX.XXX"), nodes[0]), 255), 0);  // still only in the cache
  ASSERT_TRUE(read_node(core, *ix, nodes[12]));                        // evicts it
  EXPECT_EQ(ix->cache[0].node, nodes[12]);
  EXPECT_EQ(u8_at(block_at(file_bytes("IX.XXX"), nodes[0]), 255), 0x77);
  ASSERT_TRUE(read_node(core, *ix, nodes[0]));
  EXPECT_EQ(ix->work[255], 0x77);
  EXPECT_TRUE(clfile(core, *ix));
}

TEST_F(NodeCache, FindFirstAndLast) {
  ASSERT_TRUE(crfile(core, "IX.XXX", 22, 100));
  ix = opfile(core, "IX.XXX");
  ASSERT_TRUE(ix);
  std::array<std::uint8_t, 22> key{};
  std::uint16_t address = 0;
  std::uint8_t type = 0;
  EXPECT_FALSE(find_first(core, *ix, key, address, type));  // only the sentinel
  for (int n : {7, 3, 9}) ASSERT_TRUE(addkey(core, *ix, numbered_key(n), static_cast<std::uint16_t>(100 + n), 0));
  ASSERT_TRUE(find_first(core, *ix, key, address, type));
  EXPECT_EQ(key, numbered_key(3));
  EXPECT_EQ(address, 103);
  ASSERT_TRUE(find_last(core, *ix, key, address, type));
  EXPECT_EQ(key, numbered_key(9));
  ASSERT_TRUE(delete_key(core, *ix, numbered_key(9)));
  ASSERT_TRUE(find_last(core, *ix, key, address, type));
  EXPECT_EQ(key, numbered_key(7));
  EXPECT_TRUE(clfile(core, *ix));
}

}  // namespace
}  // namespace isam_test
