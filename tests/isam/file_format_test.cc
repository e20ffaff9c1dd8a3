// Byte-level checks of the files the library creates and changes.
#include "isam_fixture.h"

namespace isam_test {
namespace {

using isam::make_name_field;

class FileFormat : public InTempDir {
 protected:
  isam::Library lib;
  std::int16_t status = -1;
};

TEST_F(FileFormat, NewIndexHasHeaderMapAndSentinelRoot) {
  lib.ccrfx(make_name_field("IX", "XXX"), 22, 0, status);
  ASSERT_EQ(status, 0);
  std::string bytes = file_bytes("IX.XXX");
  ASSERT_EQ(bytes.size(), 768u);  // header, one map block, the root
  std::string header = block_at(bytes, 1);
  EXPECT_EQ(u16_at(header, 0), 5);   // root
  EXPECT_EQ(u16_at(header, 2), 22);  // key length
  EXPECT_EQ(u16_at(header, 4), 10);  // node capacity 250 / 25
  EXPECT_EQ(u16_at(header, 6), 1);   // map blocks
  EXPECT_EQ(u16_at(header, 8), 0);   // open mark
  EXPECT_EQ(header.substr(10), std::string(246, '\0'));
  std::string map = block_at(bytes, 3);
  EXPECT_EQ(u8_at(map, 0), 0xE0);  // header, map block, root
  EXPECT_EQ(map.substr(1), std::string(255, '\0'));
  std::string root = block_at(bytes, 5);
  EXPECT_EQ(u8_at(root, 0), 0xFF);
  EXPECT_EQ(root.substr(1, 4), std::string(4, '\0'));
  EXPECT_EQ(u8_at(root, 5), 1);
  EXPECT_EQ(root.substr(6), std::string(250, '\0'));  // the all-zero sentinel entry
}

TEST_F(FileFormat, IndexMapGrowsWithCapacityAndKeyLengthSetsNodeCapacity) {
  lib.ccrfx(make_name_field("A", "XXX"), 32, 2048, status);
  ASSERT_EQ(status, 0);
  std::string bytes = file_bytes("A.XXX");
  ASSERT_EQ(bytes.size(), 4u * 256);
  EXPECT_EQ(u16_at(block_at(bytes, 1), 0), 7);
  EXPECT_EQ(u16_at(block_at(bytes, 1), 4), 7);
  EXPECT_EQ(u16_at(block_at(bytes, 1), 6), 2);
  EXPECT_EQ(u8_at(block_at(bytes, 3), 0), 0xF0);
  EXPECT_EQ(block_at(bytes, 5), std::string(256, '\0'));
}

TEST_F(FileFormat, IndexCreateRefusesBadKeyLengthsAndExistingFiles) {
  for (std::int16_t length : {0, 33, -1}) {
    lib.ccrfx(make_name_field("BAD", "XXX"), length, 0, status);
    EXPECT_EQ(status, 1) << length;
    EXPECT_FALSE(std::filesystem::exists("BAD.XXX"));
  }
  test_support::write_file("OLD.XXX", "keep");
  lib.ccrfx(make_name_field("OLD", "XXX"), 22, 0, status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(file_bytes("OLD.XXX"), "keep");
}

TEST_F(FileFormat, NewRecordFileLayout) {
  lib.ccrfd(make_name_field("R0", ""), 0, status);
  ASSERT_EQ(status, 0);
  std::string bytes = file_bytes("R0");  // a blank extension names the bare file
  ASSERT_EQ(bytes.size(), 768u);
  std::string header = block_at(bytes, 1);
  EXPECT_EQ(header.substr(0, 6), std::string(6, '\0'));
  EXPECT_EQ(u16_at(header, 6), 1);
  EXPECT_EQ(u16_at(header, 8), 0);
  EXPECT_EQ(u8_at(block_at(bytes, 3), 0), 0xC0);
  EXPECT_EQ(block_at(bytes, 5), std::string(256, '\0'));

  lib.ccrfd(make_name_field("R1", ""), 2047, status);
  EXPECT_EQ(file_bytes("R1").size(), 768u);
  lib.ccrfd(make_name_field("R2", ""), 2048, status);
  bytes = file_bytes("R2");
  ASSERT_EQ(bytes.size(), 1024u);
  EXPECT_EQ(u16_at(block_at(bytes, 1), 6), 2);
  EXPECT_EQ(u8_at(block_at(bytes, 3), 0), 0xE0);

  test_support::write_file("R3", "keep");
  lib.ccrfd(make_name_field("R3", ""), 0, status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(file_bytes("R3"), "keep");
}

TEST_F(FileFormat, OpenMarksAndWhoMayOpenAMarkedFile) {
  using Role = isam::LibraryOptions::Role;
  auto mark = [](const char* name) { return u16_at(block_at(file_bytes(name), 1), 8); };
  {
    Db db(lib);
    db.close();
  }
  // A reader marks both files open on disk while it has them; a close
  // clears the marks.
  {
    isam::Library reader(isam::LibraryOptions{.role = Role::kReader});
    Db db(reader, 0, 0, false);
    EXPECT_EQ(mark("STOCK.XXX"), 1);
    EXPECT_EQ(mark("STOCK"), 1);
    // A second reader meanwhile finds the first one's mark: that is no sign
    // of a program that died, so no warning, and the mark stays the first's.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> quiet(std::tmpfile(), std::fclose);
    isam::Library second(isam::LibraryOptions{.role = Role::kReader, .notices = quiet.get()});
    std::int16_t second_status = 1;
    second.copfx(1, make_name_field("STOCK", "XXX"), second_status);
    EXPECT_EQ(second_status, 0);
    second.cclfx(1, second_status);
    EXPECT_EQ(mark("STOCK.XXX"), 1);
    EXPECT_EQ(std::ftell(quiet.get()), 0);
    db.close();
    EXPECT_EQ(mark("STOCK.XXX"), 0);
    EXPECT_EQ(mark("STOCK"), 0);
  }
  // A mark left set: a writer refuses the file and changes nothing; a reader
  // reads it with one warning and leaves the mark; a writer told the files
  // were checked opens it, and its close clears the mark.
  patch_file("STOCK.XXX", 8, std::string("\1\0", 2));
  const std::string marked = file_bytes("STOCK.XXX");
  lib.copfx(1, make_name_field("STOCK", "XXX"), status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(lib.core_error(), isam::kWasOpen);
  EXPECT_EQ(file_bytes("STOCK.XXX"), marked);

  std::unique_ptr<std::FILE, int (*)(std::FILE*)> notices(std::tmpfile(), std::fclose);
  isam::Library reader(isam::LibraryOptions{.role = Role::kReader, .notices = notices.get()});
  reader.copfx(1, make_name_field("STOCK", "XXX"), status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(reader.core_error(), isam::kWasOpen);
  reader.cclfx(1, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(file_bytes("STOCK.XXX"), marked);
  std::rewind(notices.get());
  char text[512] = {};
  std::fread(text, 1, sizeof text - 1, notices.get());
  EXPECT_NE(std::string(text).find("open mark is set"), std::string::npos);

  isam::Library checked(isam::LibraryOptions{.accept_open_mark = true});
  checked.copfx(1, make_name_field("STOCK", "XXX"), status);
  EXPECT_EQ(status, 0);
  checked.cclfx(1, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(mark("STOCK.XXX"), 0);
}

TEST_F(FileFormat, AscendingLoadSplitsTheRootLeafSixToFive) {
  Db db(lib, 0, 100);
  std::vector<std::uint16_t> addresses;
  for (int i = 1; i <= 10; ++i) addresses.push_back(db.add(numbered_key(i)));
  db.close();
  std::string bytes = file_bytes("STOCK.XXX");
  std::string header = block_at(bytes, 1);
  // The old root leaf 5 split into 5 and 7; the new internal root is 9.
  EXPECT_EQ(u16_at(header, 0), 9);
  EXPECT_EQ(u8_at(block_at(bytes, 3), 0), 0xF8);
  std::string left = block_at(bytes, 5);
  std::string right = block_at(bytes, 7);
  std::string root = block_at(bytes, 9);
  // Left leaf: the sentinel and keys 1-5, next link 7.
  EXPECT_EQ(u8_at(left, 0), 0xFF);
  EXPECT_EQ(u16_at(left, 1), 7);
  EXPECT_EQ(u16_at(left, 3), 0);
  EXPECT_EQ(u8_at(left, 5), 6);
  EXPECT_EQ(left.substr(6, 25), std::string(25, '\0'));
  for (int i = 1; i <= 5; ++i) {
    std::string e = left.substr(6 + i * 25, 25);
    EXPECT_EQ(e.substr(0, 22), key_text(numbered_key(i)));
    EXPECT_EQ(u8_at(e, 22), 0);
    EXPECT_EQ(u16_at(e, 23), addresses[i - 1]);
  }
  EXPECT_EQ(left.substr(6 + 6 * 25), std::string(256 - 6 - 150, '\0'));
  // Right leaf: keys 6-10, previous link 5.
  EXPECT_EQ(u8_at(right, 0), 0xFF);
  EXPECT_EQ(u16_at(right, 1), 0);
  EXPECT_EQ(u16_at(right, 3), 5);
  EXPECT_EQ(u8_at(right, 5), 5);
  for (int i = 6; i <= 10; ++i) { EXPECT_EQ(right.substr(6 + (i - 6) * 25, 22), key_text(numbered_key(i))); }
  EXPECT_EQ(right.substr(6 + 5 * 25), std::string(256 - 6 - 125, '\0'));
  // Internal root: the sentinel key -> 5, key 6 -> 7.
  EXPECT_EQ(u8_at(root, 0), 0);
  EXPECT_EQ(u16_at(root, 1), 0);
  EXPECT_EQ(u16_at(root, 3), 0);
  EXPECT_EQ(u8_at(root, 5), 2);
  EXPECT_EQ(root.substr(6, 23), std::string(23, '\0'));
  EXPECT_EQ(u16_at(root, 6 + 23), 5);
  EXPECT_EQ(root.substr(31, 22), key_text(numbered_key(6)));
  EXPECT_EQ(u8_at(root, 31 + 22), 0);
  EXPECT_EQ(u16_at(root, 31 + 23), 7);
  EXPECT_EQ(root.substr(56), std::string(200, '\0'));
}

TEST_F(FileFormat, LowKeySplitKeepsHalfAndRelinksTheFormerNextNode) {
  Db db(lib, 0, 100);
  // Fill two leaves, then split the left one with a key in its lower half.
  for (int i = 1; i <= 10; ++i) db.add(numbered_key(i * 10));
  // Leaves: 5 = sentinel,10..50 (6 entries), 7 = 60..100.  Fill 5 to 10.
  for (int i = 11; i <= 14; ++i) db.add(numbered_key(i));
  db.add(numbered_key(1));  // located at position 1 of 10: the left keeps 5
  db.close();
  std::string bytes = file_bytes("STOCK.XXX");
  std::string left = block_at(bytes, 5);
  std::string fresh = block_at(bytes, 11);
  std::string former_next = block_at(bytes, 7);
  EXPECT_EQ(u8_at(left, 5), 6);  // 5 kept + the new key
  EXPECT_EQ(left.substr(6 + 25, 22), key_text(numbered_key(1)));
  EXPECT_EQ(u16_at(left, 1), 11);
  EXPECT_EQ(u8_at(fresh, 5), 5);
  EXPECT_EQ(u16_at(fresh, 1), 7);
  EXPECT_EQ(u16_at(fresh, 3), 5);
  EXPECT_EQ(u16_at(former_next, 3), 11);
  std::string root = block_at(bytes, u16_at(block_at(bytes, 1), 0));
  EXPECT_EQ(u8_at(root, 5), 3);
  EXPECT_EQ(u16_at(root, 6 + 25 + 23), 11);
  EXPECT_EQ(u16_at(root, 6 + 50 + 23), 7);
}

// The node views place every field where the node format states it, for
// every key length: flag byte 0, links at 1 and 3, count at 5, entry i at
// 6 + i * (key length + 3) as key, type byte, little-endian pointer; and
// leave the bytes after the last entry alone.
TEST(NodeViews, EveryEntryOfEveryKeyLengthWhereTheFormatPutsIt) {
  for (int length = 1; length <= isam::kMaxKeyLength; ++length) {
    SCOPED_TRACE("key length " + std::to_string(length));
    const int capacity = isam::format::node_capacity_for(length);
    isam::Block node{};
    isam::format::MutableNodeView writer(node, length);
    writer.set_flag(isam::format::kLeafFlag);
    writer.set_next(0x1234);
    writer.set_previous(0xABCD);
    writer.set_count(capacity);
    for (int i = 0; i < capacity; ++i) {
      std::vector<std::uint8_t> key(static_cast<std::size_t>(length), static_cast<std::uint8_t>('A' + i));
      writer.set_entry(i, key.data(), static_cast<std::uint16_t>(0x0100 * i + 3), 0);
      if (i % 2) writer.set_type(i, isam::format::kDeleted);
    }
    const std::string bytes(node.begin(), node.end());
    EXPECT_EQ(u8_at(bytes, 0), 0xFF);
    EXPECT_EQ(u16_at(bytes, 1), 0x1234);
    EXPECT_EQ(u16_at(bytes, 3), 0xABCD);
    EXPECT_EQ(u8_at(bytes, 5), capacity);
    const isam::format::NodeView reader(node, length);
    for (int i = 0; i < capacity; ++i) {
      const int at = 6 + i * (length + 3);
      EXPECT_EQ(bytes.substr(at, length), std::string(length, static_cast<char>('A' + i))) << i;
      EXPECT_EQ(u8_at(bytes, at + length), i % 2 ? 0xFF : 0) << i;
      EXPECT_EQ(u16_at(bytes, at + length + 1), 0x0100 * i + 3) << i;
      EXPECT_EQ(reader.key(i), bytes.substr(at, length));
      EXPECT_EQ(reader.type(i), u8_at(bytes, at + length));
      EXPECT_EQ(reader.pointer(i), 0x0100 * i + 3);
    }
    const int end = 6 + capacity * (length + 3);
    EXPECT_EQ(reader.entry_offset(capacity), end);
    EXPECT_EQ(bytes.substr(end), std::string(256 - end, '\0'));
  }
}

}  // namespace
}  // namespace isam_test
