// Damaged or hostile files: every case fails as a failed read, touches no
// byte outside its buffers, and ends.
#include "crafted_index.h"

namespace isam_test {
namespace {

using isam::make_name_field;
using Key4 = std::array<std::uint8_t, 4>;

Key4 key4(std::string_view s) {
  Key4 k{};
  for (std::size_t i = 0; i < 4 && i < s.size(); ++i) k[i] = static_cast<std::uint8_t>(s[i]);
  return k;
}

class DamagedFile : public InTempDir {
 protected:
  bool open_index() {
    lib.copfx(1, make_name_field("BAD", "XXX"), status);
    return status == 0;
  }
  bool find(isam::FindMode mode, Key4& key) {
    std::uint16_t address = 0;
    std::uint8_t type = 0;
    bool found = false;
    lib.cfind(1, mode, key, address, type, found);
    return found;
  }
  // Mode 2 from `start`, then `mode` until it fails (at most 1000 steps).
  std::vector<std::string> walk(std::string_view start, isam::FindMode mode = isam::kFindNext) {
    std::vector<std::string> keys;
    Key4 key = key4(start);
    if (!find(isam::kFindPosition, key)) return keys;
    while (keys.size() < 1000 && find(mode, key)) keys.push_back(std::string(key.begin(), key.end()).c_str());
    return keys;
  }
  // Root leaf 5 holding the sentinel, "B" and "C", with the given links.
  void chained_root(int next, int previous) {
    CraftedIndex ix(4);
    ix.nodes_in_use_below(7);
    ix.header(5);
    ix.node(5, true, next, previous, {{"", 0, 0}, {"B", 0, 11}, {"C", 0, 13}});
    ix.node(7, true, 0, 5, {{"D", 0, 15}});
    ix.write("BAD.XXX");
  }

  isam::Library lib;
  std::int16_t status = -1;
};

TEST_F(DamagedFile, HeadersOutOfRangeAreRefusedAndLeftAlone) {
  struct Variant {
    int key_length, capacity, map_blocks, root;
  };
  for (Variant v : {Variant{0, 0, 1, 5}, Variant{33, 7, 1, 5}, Variant{22, 11, 1, 5}, Variant{22, 10, 0, 5},
                    Variant{22, 10, 33, 69}, Variant{22, 10, 1, 3}, Variant{22, 10, 1, 6}, Variant{22, 10, 1, 0}}) {
    CraftedIndex ix(v.key_length, v.map_blocks);
    ix.header(v.root, 0, v.capacity);
    ix.node(5, true, 0, 0, {{"", 0, 0}});
    ix.write("BAD.XXX");
    std::string before = file_bytes("BAD.XXX");
    EXPECT_FALSE(open_index()) << v.key_length << " " << v.capacity << " " << v.map_blocks << " " << v.root;
    EXPECT_EQ(lib.core_error(), isam::kHeaderRead);
    EXPECT_EQ(file_bytes("BAD.XXX"), before);
  }
  for (int nb : {0, 33, 0xFFFF}) {
    std::string header(256, '\0');
    header[6] = static_cast<char>(nb & 0xFF);
    header[7] = static_cast<char>(nb >> 8);
    test_support::write_file("BADREC", header + std::string(512, '\0'));
    isam::Fcb fcb{};
    lib.copfd(make_name_field("BADREC", ""), fcb, status);
    EXPECT_EQ(status, 1) << nb;
    EXPECT_EQ(file_bytes("BADREC"), header + std::string(512, '\0'));
  }
}

TEST_F(DamagedFile, TruncatedFilesFailToOpenAndKeepTheirMarks) {
  for (int mark : {0, 1}) {
    CraftedIndex ix(4);
    ix.header(5, mark);  // header and map, but no root
    ix.write("BAD.XXX");
    std::string before = file_bytes("BAD.XXX");
    EXPECT_FALSE(open_index());
    EXPECT_EQ(file_bytes("BAD.XXX"), before);

    std::string record(256, '\0');
    record[6] = 1;
    record[8] = static_cast<char>(mark);
    test_support::write_file("REC", record);  // no map block
    isam::Fcb fcb{};
    lib.copfd(make_name_field("REC", ""), fcb, status);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(file_bytes("REC"), record);
  }
  test_support::write_file("SHORT.XXX", "abc");
  lib.copfx(1, make_name_field("SHORT", "XXX"), status);
  EXPECT_EQ(status, 1);
}

TEST_F(DamagedFile, BadNodesAndPointersFailTheSearch) {
  // Root 5 leads to one sound leaf ("M" and up) and, below "M", to a child
  // that each round makes damaged in another way.
  for (int bad_child : {7, 1, 3, 8, 999, 0}) {
    CraftedIndex ix(4);
    ix.nodes_in_use_below(11);
    ix.header(5);
    ix.node(5, false, 0, 0, {{"", 0, bad_child}, {"M", 0, 9}});
    ix.node(7, true, 9, 0, {{"", 0, 0}, {"B", 0, 21}}, 36);  // more entries than fit
    ix.node(9, true, 0, 7, {{"M", 0, 23}, {"N", 0, 25}});
    ix.write("BAD.XXX");
    ASSERT_TRUE(open_index());
    Key4 key = key4("B");
    EXPECT_FALSE(find(isam::kFindExact, key)) << bad_child;
    EXPECT_EQ(lib.core_error(), isam::kIoFailed);
    EXPECT_FALSE(find(isam::kFindPosition, key));
    EXPECT_EQ(key, key4("B"));
    lib.caddk(1, key4("C"), 27, 0, status);
    EXPECT_EQ(status, 1);
    key = key4("N");
    EXPECT_TRUE(find(isam::kFindExact, key));
    lib.cclfx(1, status);
    EXPECT_EQ(status, 0);
  }
}

TEST_F(DamagedFile, BadLinksEndTheWalk) {
  for (int link : {1, 3, 8, 999, 5}) {
    chained_root(link, 0);
    ASSERT_TRUE(open_index());
    EXPECT_EQ(walk(""), (std::vector<std::string>{"B", "C"})) << link;
    EXPECT_EQ(lib.core_error(), isam::kIoFailed);
    lib.cclfx(1, status);

    chained_root(0, link);
    ASSERT_TRUE(open_index());
    EXPECT_EQ(walk("C", isam::kFindPrevious), (std::vector<std::string>{"B", ""})) << link;
    EXPECT_EQ(lib.core_error(), isam::kIoFailed);
    lib.cclfx(1, status);
  }
}

TEST_F(DamagedFile, ChainCycleEndsTheWalk) {
  CraftedIndex ix(4);
  ix.nodes_in_use_below(13);
  ix.header(9);
  ix.node(9, false, 0, 0, {{"", 0, 5}, {"M", 0, 7}});
  ix.node(5, true, 7, 11, {{"", 0, 0}, {"B", 0, 21}});
  ix.node(7, true, 11, 5, {{"M", 0, 23}});
  ix.node(11, true, 5, 7, {{"X", 0, 25}});
  ix.write("BAD.XXX");
  ASSERT_TRUE(open_index());
  EXPECT_EQ(walk(""), (std::vector<std::string>{"B", "M", "X"}));
  EXPECT_EQ(lib.core_error(), isam::kIoFailed);
  Key4 key = key4("Z");
  EXPECT_FALSE(find(isam::kFindNext, key));  // the walk stays ended
  // Backwards as well: 5's previous link leads round to 11.
  EXPECT_EQ(walk("B", isam::kFindPrevious), (std::vector<std::string>{"", "X", "M"}));
  // Turning round starts a new walk.
  key = key4("M");
  ASSERT_TRUE(find(isam::kFindPosition, key));
  EXPECT_TRUE(find(isam::kFindPrevious, key));
  EXPECT_TRUE(find(isam::kFindNext, key));
  EXPECT_TRUE(find(isam::kFindPrevious, key));
  EXPECT_EQ(key, key4("B"));
  lib.cclfx(1, status);
}

TEST_F(DamagedFile, CycleOfDeletedEntriesEndsOneStep) {
  CraftedIndex ix(4);
  ix.nodes_in_use_below(9);
  ix.header(5);
  ix.node(5, true, 7, 0, {{"", 0, 0}, {"B", 255, 21}});
  ix.node(7, true, 5, 5, {{"C", 255, 23}});
  ix.write("BAD.XXX");
  ASSERT_TRUE(open_index());
  Key4 key = key4("B");
  ASSERT_TRUE(find(isam::kFindPosition, key));  // falls back to the sentinel
  EXPECT_EQ(key, Key4{});
  EXPECT_FALSE(find(isam::kFindNext, key));
  lib.cclfx(1, status);
}

TEST_F(DamagedFile, TreeCycleFailsTheDescentAndLeavesTheFileAlone) {
  CraftedIndex ix(4);
  ix.nodes_in_use_below(7);
  ix.header(5);
  ix.node(5, false, 0, 0, {{"", 0, 5}});
  ix.write("BAD.XXX");
  std::string before = file_bytes("BAD.XXX");
  ASSERT_TRUE(open_index());
  Key4 key = key4("B");
  EXPECT_FALSE(find(isam::kFindPosition, key));
  EXPECT_EQ(lib.core_error(), isam::kIoFailed);
  lib.caddk(1, key, 9, 0, status);
  EXPECT_EQ(status, 1);
  bool done = true;
  lib.cmdky(1, key, 9, 0, done);
  EXPECT_FALSE(done);
  lib.cclfx(1, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(file_bytes("BAD.XXX"), before);
}

}  // namespace
}  // namespace isam_test
