// The record file's free-block map: allocation, set, clear and test of map
// bits, and the write guard.
#include "isam_fixture.h"

namespace isam_test {
namespace {

using isam::make_name_field;

class RecordMap : public InTempDir {
 protected:
  // Creates and opens the record file R with the given capacity.
  void open_new(std::uint16_t capacity) {
    lib.ccrfd(make_name_field("R", ""), capacity, status);
    ASSERT_EQ(status, 0);
    lib.copfd(make_name_field("R", ""), fcb, status);
    ASSERT_EQ(status, 0);
  }
  std::uint16_t get() {
    std::uint16_t address = 0xFFFF;
    std::uint8_t flag = 7;
    lib.cgetr(fcb, address, flag);
    return address;
  }
  bool in_use(std::uint16_t address) {
    bool used = false;
    lib.cckrc(fcb, address, used);
    return used;
  }

  isam::Library lib;
  isam::Fcb fcb{};
  std::int16_t status = -1;
};

TEST_F(RecordMap, SetClearAndTestFollowAllocation) {
  open_new(0);
  EXPECT_TRUE(in_use(1));  // header
  EXPECT_TRUE(in_use(3));  // map block
  EXPECT_FALSE(in_use(5));
  EXPECT_FALSE(in_use(0));
  std::uint16_t a = get();
  EXPECT_EQ(a, 5);
  EXPECT_TRUE(in_use(5));
  EXPECT_EQ(get(), 7);
  lib.cgivr(fcb, 5);
  EXPECT_FALSE(in_use(5));
  EXPECT_EQ(get(), 5);  // the lowest free block comes back
  lib.csmap(fcb, 9, 1);
  EXPECT_TRUE(in_use(9));
  EXPECT_EQ(get(), 11);
  lib.csmap(fcb, 9, 0);
  EXPECT_FALSE(in_use(9));
  // Beyond the file's only map block: refused, and test answers false.
  lib.csmap(fcb, 4097, 1);
  EXPECT_FALSE(in_use(4097));
  lib.cclfd(fcb, status);
  EXPECT_EQ(status, 0);
  std::string map = block_at(file_bytes("R"), 3);
  EXPECT_EQ(u8_at(map, 0), 0xF4);  // 1, 3, 5, 7, 11 used; 9 free
  EXPECT_EQ(u8_at(map, 1), 0x00);
}

TEST_F(RecordMap, FullMapGivesZero) {
  open_new(0);
  int handed = 0;
  while (get() != 0) ++handed;
  EXPECT_EQ(handed, 2048 - 2);
  EXPECT_EQ(get(), 0);
  EXPECT_EQ(lib.core_error(), isam::kIoFailed);  // past the last map block
  lib.cclfd(fcb, status);
  EXPECT_EQ(block_at(file_bytes("R"), 3), std::string(256, '\xFF'));
}

TEST_F(RecordMap, AllocationMovesOnToTheNextMapBlock) {
  open_new(4096);  // three map blocks, data from address 9
  // Fill the first map block by hand, then allocate.
  for (std::uint32_t n = 9; n < 4096; n += 2) lib.csmap(fcb, static_cast<std::uint16_t>(n), 1);
  EXPECT_EQ(get(), 4097);
  EXPECT_EQ(get(), 4099);
  lib.cclfd(fcb, status);
  std::string bytes = file_bytes("R");
  EXPECT_EQ(block_at(bytes, 3), std::string(256, '\xFF'));
  EXPECT_EQ(u8_at(block_at(bytes, 5), 0), 0xC0);
}

TEST_F(RecordMap, NoAddressPast65535IsHandedOut) {
  open_new(65535);  // 32 map blocks; only the first 16 reach 16-bit addresses
  std::string full(256, '\xFF');
  lib.cclfd(fcb, status);
  for (int j = 0; j < 16; ++j) patch_file("R", static_cast<std::size_t>(2 * j + 2) * 128, full);
  lib.copfd(make_name_field("R", ""), fcb, status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(get(), 0);
  EXPECT_EQ(lib.core_error(), isam::kIoFailed);
  // The last addressable block, once free, is handed out, and then nothing.
  lib.csmap(fcb, 65535, 0);
  EXPECT_EQ(get(), 65535);
  EXPECT_EQ(get(), 0);
  lib.cclfd(fcb, status);
}

TEST_F(RecordMap, WritesOnlyReachTheDataArea) {
  open_new(2048);  // map blocks 3 and 5, data from 7, the map covers up to 8191
  isam::Block block;
  block.fill(0x5A);
  std::string before = file_bytes("R");
  for (std::uint16_t refused : {0, 1, 3, 5, 6, 8193, 65535}) {
    lib.cwrbk(fcb, refused, block, status);
    EXPECT_EQ(status, 1) << refused;
    lib.cwtbk(fcb, refused, block, status);
    EXPECT_EQ(status, 1) << refused;
  }
  EXPECT_EQ(file_bytes("R"), before);
  lib.cwrbk(fcb, 7, block, status);
  EXPECT_EQ(status, 0);
  lib.cwtbk(fcb, 8191, block, status);
  EXPECT_EQ(status, 0);
  // A write does not touch the map.
  EXPECT_FALSE(in_use(7));
  lib.cclfd(fcb, status);
  std::string after = file_bytes("R");
  EXPECT_EQ(block_at(after, 7), std::string(256, '\x5A'));
  EXPECT_EQ(after.size(), 8191u / 2 * 256 + 256);
}

}  // namespace
}  // namespace isam_test
