// Shared pieces of the indexed-file library tests: a temporary working
// directory (the library names files relative to the current directory),
// raw block access to the files it writes, and key builders.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "isam/call_interface.h"
#include "support/test_files.h"

namespace isam_test {

// Runs each test inside a fresh temporary directory.
class InTempDir : public ::testing::Test {
 protected:
  InTempDir() : previous_(std::filesystem::current_path()) { std::filesystem::current_path(dir_.path()); }
  ~InTempDir() override { std::filesystem::current_path(previous_); }

  test_support::TempDir dir_;
  std::filesystem::path previous_;
};

inline std::string file_bytes(const std::string& name) { return test_support::read_file(name); }

// The 256 bytes at block address n of a file's contents.
inline std::string block_at(const std::string& bytes, int n) {
  std::size_t offset = static_cast<std::size_t>(n - 1) * 128;
  if (offset + 256 > bytes.size()) return {};
  return bytes.substr(offset, 256);
}

inline int u16_at(const std::string& block, int offset) {
  return static_cast<std::uint8_t>(block[offset]) | static_cast<std::uint8_t>(block[offset + 1]) << 8;
}
inline int u8_at(const std::string& block, int offset) { return static_cast<std::uint8_t>(block[offset]); }

// A 22-byte item key: "12" + 12-character index + 8 blanks.
inline std::array<std::uint8_t, 22> item_key(std::string_view stock_index) {
  std::array<std::uint8_t, 22> k;
  k.fill(' ');
  k[0] = '1';
  k[1] = '2';
  for (std::size_t i = 0; i < 12 && i < stock_index.size(); ++i) k[2 + i] = static_cast<std::uint8_t>(stock_index[i]);
  return k;
}
inline std::string key_text(std::span<const std::uint8_t> k) { return std::string(k.begin(), k.end()); }

// An open database pair: index STOCK.XXX in slot 1 (key length 22) and
// record file STOCK.
struct Db {
  explicit Db(isam::Library& lib, std::uint16_t index_capacity = 4000, std::uint16_t record_capacity = 4000,
              bool create = true);
  void close();
  // cgetr + cwrbk + caddk; the block holds the key followed by `fill`.
  std::uint16_t add(std::span<const std::uint8_t> key, std::uint8_t type = 0, std::uint8_t fill = 0);

  isam::Library& lib;
  isam::Fcb fcb{};
};

// Overwrites bytes of a file in place.
inline void patch_file(const std::string& name, std::size_t offset, std::string_view bytes) {
  std::fstream f(name, std::ios::in | std::ios::out | std::ios::binary);
  ASSERT_TRUE(f.good()) << name;
  f.seekp(static_cast<std::streamoff>(offset));
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Item key for a number, zero-padded to 12 digits (so keys sort by number).
inline std::array<std::uint8_t, 22> numbered_key(int n) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%012d", n);
  return item_key(digits);
}

inline Db::Db(isam::Library& library, std::uint16_t index_capacity, std::uint16_t record_capacity, bool create)
    : lib(library) {
  std::int16_t status = 1;
  if (create) {
    lib.ccrfx(isam::make_name_field("STOCK", "XXX"), 22, index_capacity, status);
    EXPECT_EQ(status, 0);
    lib.ccrfd(isam::make_name_field("STOCK", ""), record_capacity, status);
    EXPECT_EQ(status, 0);
  }
  lib.copfx(1, isam::make_name_field("STOCK", "XXX"), status);
  EXPECT_EQ(status, 0);
  lib.copfd(isam::make_name_field("STOCK", ""), fcb, status);
  EXPECT_EQ(status, 0);
}

inline void Db::close() {
  std::int16_t status = 1;
  lib.cclfx(1, status);
  EXPECT_EQ(status, 0);
  status = 1;
  lib.cclfd(fcb, status);
  EXPECT_EQ(status, 0);
}

inline std::uint16_t Db::add(std::span<const std::uint8_t> key, std::uint8_t type, std::uint8_t fill) {
  std::uint16_t address = 0;
  std::uint8_t flag = 1;
  lib.cgetr(fcb, address, flag);
  EXPECT_NE(address, 0);
  isam::Block block;
  block.fill(fill);
  std::memcpy(block.data(), key.data(), key.size());
  std::int16_t status = 1;
  lib.cwrbk(fcb, address, block, status);
  EXPECT_EQ(status, 0);
  lib.caddk(1, key, address, type, status);
  EXPECT_EQ(status, 0);
  return address;
}

}  // namespace isam_test
