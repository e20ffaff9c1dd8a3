// The four search modes, walks over many keys, and reading and writing the
// records they lead to.
#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "isam_fixture.h"

namespace isam_test {
namespace {

using Key22 = std::array<std::uint8_t, 22>;

class Search : public InTempDir {
 protected:
  struct Hit {
    bool found = false;
    std::uint16_t address = 0xBEEF;
    std::uint8_t type = 0xAB;
  };
  Hit find(std::int16_t mode, Key22& key) {
    Hit h;
    lib.cfind(1, mode, key, h.address, h.type, h.found);
    return h;
  }

  isam::Library lib;
  std::int16_t status = -1;
};

TEST_F(Search, NewIndexHoldsOnlyTheSentinel) {
  Db db(lib);
  Key22 key = numbered_key(5);
  Hit h = find(isam::kFindPosition, key);
  EXPECT_TRUE(h.found);
  EXPECT_EQ(key, Key22{});  // the sentinel key
  EXPECT_EQ(h.address, 0);
  EXPECT_EQ(h.type, 0);
  EXPECT_FALSE(find(isam::kFindNext, key).found);

  Key22 zero{};
  h = find(isam::kFindExact, zero);
  EXPECT_TRUE(h.found);
  EXPECT_EQ(h.address, 0);
  db.close();
}

TEST_F(Search, ModesOverAFewKeys) {
  Db db(lib);
  std::map<int, std::uint16_t> at;
  for (int n : {30, 10, 50, 20, 40}) at[n] = db.add(numbered_key(n), static_cast<std::uint8_t>(n));

  // Mode 1: exact, and the key area is left alone even on a miss.
  Key22 key = numbered_key(20);
  Hit h = find(isam::kFindExact, key);
  EXPECT_TRUE(h.found);
  EXPECT_EQ(h.address, at[20]);
  EXPECT_EQ(h.type, 20);
  key = numbered_key(25);
  EXPECT_FALSE(find(isam::kFindExact, key).found);
  EXPECT_EQ(key, numbered_key(25));

  // Mode 2 lands on the greatest key not above the search key.
  h = find(isam::kFindPosition, key);
  EXPECT_TRUE(h.found);
  EXPECT_EQ(key, numbered_key(20));
  EXPECT_EQ(h.address, at[20]);
  // Mode 3 and 4 step from there.
  h = find(isam::kFindNext, key);
  EXPECT_EQ(key, numbered_key(30));
  EXPECT_EQ(h.type, 30);
  h = find(isam::kFindPrevious, key);
  h = find(isam::kFindPrevious, key);
  EXPECT_TRUE(h.found);
  EXPECT_EQ(key, numbered_key(10));

  // Mode 2 on a present key lands on it; mode 3 goes past it.
  key = numbered_key(50);
  EXPECT_TRUE(find(isam::kFindPosition, key).found);
  EXPECT_EQ(key, numbered_key(50));
  // At the end: mode 3 fails and leaves the key, again; mode 4 returns 50.
  EXPECT_FALSE(find(isam::kFindNext, key).found);
  EXPECT_EQ(key, numbered_key(50));
  EXPECT_FALSE(find(isam::kFindNext, key).found);
  EXPECT_TRUE(find(isam::kFindPrevious, key).found);
  EXPECT_EQ(key, numbered_key(50));

  // At the start: mode 4 from 10 reaches the sentinel, then fails; mode 3
  // then returns the sentinel again (the first entry of the first leaf).
  key = numbered_key(10);
  find(isam::kFindPosition, key);
  EXPECT_TRUE(find(isam::kFindPrevious, key).found);
  EXPECT_EQ(key, Key22{});
  EXPECT_FALSE(find(isam::kFindPrevious, key).found);
  EXPECT_TRUE(find(isam::kFindNext, key).found);
  EXPECT_EQ(key, Key22{});

  for (std::int16_t mode : {0, 5, -1}) EXPECT_FALSE(find(mode, key).found) << mode;
  db.close();
}

TEST_F(Search, RandomLoadWalksInOrderBothWays) {
  Db db(lib, 8000, 20000);
  std::mt19937 rng(12345);
  std::set<int> keys;
  std::map<int, std::uint16_t> at;
  std::vector<int> order;
  while (order.size() < 12000) {
    int n = static_cast<int>(rng() % 1000000);
    if (keys.insert(n).second) order.push_back(n);
  }
  for (int n : order) at[n] = db.add(numbered_key(n));
  // A duplicate is refused.
  lib.caddk(1, numbered_key(order[77]), 5, 0, status);
  EXPECT_EQ(status, 1);

  auto check_walk = [&] {
    Key22 key = item_key("");  // "12" + 20 blanks: below every item key
    ASSERT_TRUE(find(isam::kFindPosition, key).found);
    EXPECT_EQ(key, Key22{});
    auto it = keys.begin();
    Hit h;
    while ((h = find(isam::kFindNext, key)).found) {
      ASSERT_NE(it, keys.end());
      ASSERT_EQ(key, numbered_key(*it));
      ASSERT_EQ(h.address, at[*it]);
      ++it;
    }
    EXPECT_EQ(it, keys.end());
    // Backwards from the last key with mode 4.
    key.fill(0xFF);
    ASSERT_TRUE(find(isam::kFindPosition, key).found);
    auto rit = keys.rbegin();
    EXPECT_EQ(key, numbered_key(*rit));
    std::size_t seen = 1;
    while (find(isam::kFindPrevious, key).found && key != Key22{}) {
      ++rit;
      ASSERT_EQ(key, numbered_key(*rit));
      ++seen;
    }
    EXPECT_EQ(seen, keys.size());
  };
  check_walk();
  for (int n : order) {
    Key22 key = numbered_key(n);
    Hit h = find(isam::kFindExact, key);
    EXPECT_TRUE(h.found);
    EXPECT_EQ(h.address, at[n]);
  }
  db.close();

  // Everything reached the disk: reopen and walk again, reading records.
  Db again(lib, 0, 0, false);
  check_walk();
  isam::Block block;
  Key22 key = numbered_key(order[42]);
  Hit h = find(isam::kFindExact, key);
  ASSERT_TRUE(h.found);
  lib.crdbk(again.fcb, h.address, block, status);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(std::equal(key.begin(), key.end(), block.begin()));
  again.close();
}

TEST_F(Search, DeletedKeysAreSkippedAndReviveInPlace) {
  Db db(lib);
  for (int n = 1; n <= 30; ++n) db.add(numbered_key(n));
  bool done = false;
  for (int n : {1, 2, 15, 29, 30}) {
    lib.cmdky(1, numbered_key(n), 0, 0xFF, done);
    EXPECT_TRUE(done);
  }
  // Modify of a deleted or missing key fails.
  lib.cmdky(1, numbered_key(15), 0, 0, done);
  EXPECT_FALSE(done);
  lib.cmdky(1, numbered_key(99), 0, 0, done);
  EXPECT_FALSE(done);

  Key22 key = numbered_key(15);
  EXPECT_FALSE(find(isam::kFindExact, key).found);
  // Mode 2 on a deleted key falls back to the previous live key.
  EXPECT_TRUE(find(isam::kFindPosition, key).found);
  EXPECT_EQ(key, numbered_key(14));
  EXPECT_TRUE(find(isam::kFindNext, key).found);
  EXPECT_EQ(key, numbered_key(16));
  key = numbered_key(28);
  find(isam::kFindPosition, key);
  EXPECT_FALSE(find(isam::kFindNext, key).found);
  key = numbered_key(3);
  find(isam::kFindPosition, key);
  EXPECT_TRUE(find(isam::kFindPrevious, key).found);
  EXPECT_EQ(key, Key22{});

  // Adding a deleted key again revives its entry with the new address.
  lib.caddk(1, numbered_key(15), 999, 7, status);
  EXPECT_EQ(status, 0);
  key = numbered_key(15);
  Hit h = find(isam::kFindExact, key);
  EXPECT_TRUE(h.found);
  EXPECT_EQ(h.address, 999);
  EXPECT_EQ(h.type, 7);
  // Modify moves a live key to another address.
  lib.cmdky(1, numbered_key(16), 1234, 9, done);
  EXPECT_TRUE(done);
  key = numbered_key(16);
  h = find(isam::kFindExact, key);
  EXPECT_EQ(h.address, 1234);
  EXPECT_EQ(h.type, 9);
  db.close();
}

TEST_F(Search, BlocksReadBackAsWritten) {
  Db db(lib);
  std::uint16_t a = db.add(numbered_key(1), 0, 0x11);
  std::uint16_t b = db.add(numbered_key(2), 0, 0x22);
  isam::Block block;
  lib.crdbk(db.fcb, b, block, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(block[200], 0x22);
  lib.crdbk(db.fcb, a, block, status);
  EXPECT_EQ(block[200], 0x11);
  // The header can be read, a block past the end cannot.
  lib.crdbk(db.fcb, 1, block, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(block[6], 2);
  lib.crdbk(db.fcb, 9999, block, status);
  EXPECT_EQ(status, 1);
  db.close();
}

}  // namespace
}  // namespace isam_test
