// The typed store API: stores opened by path (never by changing the working
// directory), cursors both ways beside changes, all-or-nothing writers, the
// typed errors, and two stores used from two threads at once.
#include "isam/store.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <thread>

#include "fault_env.h"
#include "isam_fixture.h"

namespace isam_test {
namespace {

using isam::Cursor;
using isam::Entry;
using isam::Status;
using isam::Store;
using isam::StoreOptions;
using Kind = isam::Status::Kind;
namespace fs = std::filesystem;

std::string item(int n) { return key_text(numbered_key(n)); }

isam::Block block_for(const std::string& key, std::uint8_t fill) {
  isam::Block block;
  block.fill(fill);
  std::copy(key.begin(), key.end(), block.begin());
  return block;
}

StoreOptions writer(isam::Env* env = nullptr) {
  StoreOptions o;
  o.access = StoreOptions::Access::kWrite;
  o.lock_wait_ms = 0;
  o.env = env;
  o.on_notice = [](std::string_view) {};
  return o;
}
StoreOptions reader() {
  StoreOptions o;
  o.lock_wait_ms = 0;
  o.on_notice = [](std::string_view) {};
  return o;
}

// Adds the items n = first, first + step, ... (count of them) and commits.
void fill(const std::string& path, int first, int count, int step = 1, std::uint8_t fill = 0) {
  std::unique_ptr<Store> s;
  ASSERT_TRUE(Store::open(path, writer(), s)) << path;
  for (int i = 0; i < count; ++i) {
    std::uint16_t address = 0;
    const Status st = s->add(block_for(item(first + i * step), fill), address);
    ASSERT_TRUE(st) << st.message();
  }
  ASSERT_TRUE(s->commit());
}

// The keys a cursor walk meets, from the first forwards or the last back.
std::vector<std::string> walk(Store& s, bool forwards) {
  std::vector<std::string> keys;
  Cursor c(s);
  Status st = forwards ? c.first() : c.last();
  for (; st && c.valid(); st = forwards ? c.next() : c.previous()) keys.push_back(c.entry().key);
  EXPECT_TRUE(st) << st.message();
  return keys;
}

class StoreTest : public ::testing::Test {
 protected:
  std::string at(std::string_view name) const { return (dir_ / name).string(); }
  std::string bytes(const std::string& path) const { return file_bytes(path); }
  std::pair<std::string, std::string> files(const std::string& path) const {
    return {bytes(path + ".XXX"), bytes(path)};
  }
  test_support::TempDir dir_;
};

TEST_F(StoreTest, WritesWhatTheCallInterfaceWritesAndReadsItBackEveryWay) {
  // 300 items in a shuffled order (splits, root growth), through the store
  // and, in another directory, through the call interface: the same bytes.
  const std::string path = at("S");
  ASSERT_TRUE(Store::create(path, 4000, 22));
  std::vector<int> order(300);
  for (int i = 0; i < 300; ++i) order[i] = (i * 137) % 300;
  {
    std::unique_ptr<Store> s;
    ASSERT_TRUE(Store::open(path, writer(), s));
    for (int n : order) {
      std::uint16_t address = 0;
      ASSERT_TRUE(s->add(block_for(item(n), static_cast<std::uint8_t>(n)), address));
    }
    ASSERT_TRUE(s->commit());
  }
  fs::create_directory(dir_ / "lib");
  const fs::path here = fs::current_path();
  fs::current_path(dir_ / "lib");  // the call interface names files in the working directory
  {
    isam::Library lib;
    Db db(lib);
    for (int n : order) db.add(numbered_key(n), 0, static_cast<std::uint8_t>(n));
    db.close();
  }
  fs::current_path(here);
  EXPECT_TRUE(files(path) == files(at("lib/STOCK")));

  std::unique_ptr<Store> s;
  ASSERT_TRUE(Store::open(path, reader(), s));
  std::vector<std::string> sorted;
  for (int n = 0; n < 300; ++n) sorted.push_back(item(n));
  EXPECT_EQ(walk(*s, true), sorted);
  std::vector<std::string> reversed(sorted.rbegin(), sorted.rend());
  EXPECT_EQ(walk(*s, false), reversed);

  // find, read and seek over a table of keys.
  struct Row {
    std::string key;      // as asked
    bool found;           // find
    std::string seek_to;  // the key seek lands on ("" past the end)
  };
  const std::vector<Row> rows = {
      {item(0), true, item(0)},
      {item(299), true, item(299)},
      {item(300), false, ""},
      {"12", false, item(0)},  // a prefix: padded with blanks by find, zeros by seek
      {"12000000000150", true, item(150)},
      {"", false, item(0)},
      {"9", false, ""},
  };
  for (const Row& row : rows) {
    Entry e;
    const Status found = s->find(row.key, e);
    EXPECT_EQ(found.is_ok(), row.found) << row.key;
    if (!row.found) { EXPECT_EQ(found.kind(), Kind::kNotFound) << row.key; }
    if (found) {
      isam::Block block;
      ASSERT_TRUE(s->read(e.address, block));
      EXPECT_EQ(std::string(block.begin(), block.begin() + 22), e.key);
      EXPECT_EQ(e.key, row.seek_to);
    }
    Cursor c(*s);
    ASSERT_TRUE(c.seek(row.key));
    EXPECT_EQ(c.valid() ? c.entry().key : "", row.seek_to) << row.key;
  }

  // Two cursors and plain finds between their steps: each keeps its place.
  Cursor up(*s), down(*s);
  ASSERT_TRUE(up.first());
  ASSERT_TRUE(down.last());
  for (int i = 1; i < 300; ++i) {
    ASSERT_TRUE(up.next());
    Entry e;
    ASSERT_TRUE(s->find(item((i * 7) % 300), e));
    ASSERT_TRUE(down.previous());
    ASSERT_TRUE(up.valid() && down.valid());
    EXPECT_EQ(up.entry().key, item(i));
    EXPECT_EQ(down.entry().key, item(299 - i));
  }
  ASSERT_TRUE(up.next());
  EXPECT_FALSE(up.valid());
  std::uint32_t blocks = 0, nodes = 0;
  ASSERT_TRUE(s->free_counts(blocks, nodes));
  EXPECT_GT(blocks, 3000u);
  EXPECT_GT(nodes, 3000u);
}

TEST_F(StoreTest, ChangesAreAllOrNothing) {
  const std::string path = at("S");
  ASSERT_TRUE(Store::create(path, 4000, 22));
  fill(path, 0, 100, 2);
  const auto before = files(path);
  std::array<char, isam::kHeadingBytes> text;
  text.fill('R');

  // A change: items added and removed (their blocks given back and taken
  // again), a heading; a cursor walks beside the changes.
  auto change = [&](Store& s) {
    Cursor c(s);
    ASSERT_TRUE(c.seek(item(10)));
    ASSERT_EQ(c.entry().key, item(10));
    ASSERT_TRUE(s.remove(item(10)));  // the cursor's own key
    ASSERT_TRUE(c.next());
    EXPECT_EQ(c.entry().key, item(12));
    ASSERT_TRUE(s.remove(item(12)));
    ASSERT_TRUE(c.previous());
    EXPECT_EQ(c.entry().key, item(8));
    for (int n = 1; n < 60; n += 2) {
      std::uint16_t address = 0;
      ASSERT_TRUE(s.add(block_for(item(n), 1), address));
    }
    ASSERT_TRUE(c.next());
    EXPECT_EQ(c.entry().key, item(9));
    std::uint16_t address = 0;
    EXPECT_EQ(s.add(block_for(item(9), 1), address).kind(), Kind::kKeyPresent);
    EXPECT_EQ(s.remove(item(10)).kind(), Kind::kNotFound);
    ASSERT_TRUE(s.write_heading(isam::HeadingSide::kRight, text));
    ASSERT_TRUE(s.write_heading(isam::HeadingSide::kRight, text));
  };
  for (int how = 0; how < 2; ++how) {  // rolled back, destroyed uncommitted
    std::unique_ptr<Store> s;
    ASSERT_TRUE(Store::open(path, writer(), s));
    change(*s);
    if (how == 0) { ASSERT_TRUE(s->rollback()); }
    s.reset();
    EXPECT_TRUE(files(path) == before) << how;
    EXPECT_FALSE(fs::exists(path + ".JNL"));
  }
  {
    std::unique_ptr<Store> s;
    ASSERT_TRUE(Store::open(path, writer(), s));
    change(*s);
    ASSERT_TRUE(s->commit());
    EXPECT_EQ(s->commit().kind(), Kind::kInvalid);  // closed
  }
  std::unique_ptr<Store> s;
  ASSERT_TRUE(Store::open(path, reader(), s));
  const std::vector<std::string> keys = walk(*s, true);
  EXPECT_EQ(keys.size(), 100u - 2 + 30 + 1);  // the right heading's control key too
  std::array<char, isam::kHeadingBytes> got;
  ASSERT_TRUE(s->heading(isam::HeadingSide::kRight, got));
  EXPECT_EQ(got, text);
  ASSERT_TRUE(s->heading(isam::HeadingSide::kLeft, got));
  EXPECT_EQ(std::string(got.begin(), got.end()), std::string(isam::kHeadingBytes, ' '));

  // A write that fails (the disk full at its commit) rolls the change back.
  s.reset();
  const auto committed = files(path);
  FaultEnv counter;
  {
    std::unique_ptr<Store> w;
    ASSERT_TRUE(Store::open(path, writer(&counter), w));
    ASSERT_TRUE(w->remove(item(20)));
    ASSERT_TRUE(w->commit());
  }
  for (long k = 1; k <= counter.changes(); ++k) {
    test_support::write_file(path + ".XXX", committed.first);
    test_support::write_file(path, committed.second);
    FaultEnv env;
    env.arm(k, FaultEnv::Fault::kFail, ENOSPC);
    std::unique_ptr<Store> w;
    Status st = Store::open(path, writer(&env), w);
    if (st) st = w->remove(item(20));
    if (st) st = w->commit();
    w.reset();
    if (k <= counter.last_unlink()) {
      EXPECT_FALSE(st) << k;
      EXPECT_NE(st.words().find("the disk is full"), std::string::npos) << k << ": " << st.message();
      std::unique_ptr<Store> again;  // what the next program finds
      ASSERT_TRUE(Store::open(path, reader(), again)) << k;
      again.reset();
      EXPECT_TRUE(files(path) == committed) << k;
    }
  }
}

TEST_F(StoreTest, TypedErrorsLeaveTheFilesAsTheyWere) {
  const std::string path = at("S");
  ASSERT_TRUE(Store::create(path, 4000, 22));
  fill(path, 0, 20);
  const auto good = files(path);
  std::unique_ptr<Store> holder;  // a writer in the middle of a change
  struct Row {
    std::string name;
    std::function<void()> damage;
    bool write;
    Kind kind;
    std::string file;   // "index", "records" or "" (the store)
    std::string words;  // a part of the words
  };
  auto patch = [&](const std::string& file, std::size_t offset, std::string_view b) {
    patch_file(file == "index" ? path + ".XXX" : path, offset, b);
  };
  const std::vector<Row> rows = {
      {"missing index", [&] { fs::remove(path + ".XXX"); }, false, Kind::kNotFound, "index",
       "cannot open: no such file"},
      {"missing records", [&] { fs::remove(path); }, true, Kind::kNotFound, "records", "no such file"},
      {"key length", [&] { patch("index", 2, std::string("\0\0", 2)); }, false, Kind::kDamaged, "index",
       "key length 0 is out of range"},
      {"map blocks", [&] { patch("records", 6, std::string("\x40\0", 2)); }, false, Kind::kDamaged, "records",
       "map block count 64 is out of range"},
      {"cut short", [&] { fs::resize_file(path + ".XXX", 100); }, false, Kind::kDamaged, "index",
       "too short to hold a header"},
      {"root", [&] { patch("index", 0, std::string("\x04\0", 2)); }, false, Kind::kDamaged, "index",
       "root node 4 is not a node address"},
      {"marked", [&] { patch("index", 8, std::string("\x01\0", 2)); }, true, Kind::kMarkedOpen, "index",
       "it is marked open"},
      {"busy", [&] { ASSERT_TRUE(Store::open(path, writer(), holder)); }, false, Kind::kBusy, "index",
       "in use by another program"},
      {"busy writer", [&] { ASSERT_TRUE(Store::open(path, reader(), holder)); }, true, Kind::kBusy, "index",
       "in use by another program"},
      {"read-only", [&] { fs::permissions(path + ".XXX", fs::perms::owner_read); }, true, Kind::kReadOnly, "index",
       "permission denied"},
  };
  for (const Row& row : rows) {
    if (row.name == "read-only" && ::geteuid() == 0) continue;  // permissions do not stop root
    test_support::write_file(path + ".XXX", good.first);
    test_support::write_file(path, good.second);
    row.damage();
    const auto damaged =
        std::pair{fs::exists(path + ".XXX") ? bytes(path + ".XXX") : "", fs::exists(path) ? bytes(path) : ""};
    std::unique_ptr<Store> s;
    const Status st = Store::open(path, row.write ? writer() : reader(), s);
    EXPECT_FALSE(st) << row.name;
    EXPECT_FALSE(s) << row.name;
    EXPECT_EQ(st.kind(), row.kind) << row.name << ": " << st.message();
    EXPECT_EQ(st.file(), row.file == "index" ? path + ".XXX" : path) << row.name;
    EXPECT_NE(st.message().find(row.words), std::string::npos) << row.name << ": " << st.message();
    const auto after =
        std::pair{fs::exists(path + ".XXX") ? bytes(path + ".XXX") : "", fs::exists(path) ? bytes(path) : ""};
    EXPECT_TRUE(after == damaged) << row.name;
    holder.reset();
    std::error_code ignored;
    fs::permissions(path + ".XXX", fs::perms::owner_read | fs::perms::owner_write, ignored);
  }

  // A reader reads what it cannot write, and a marked store, as they stand.
  test_support::write_file(path + ".XXX", good.first);
  test_support::write_file(path, good.second);
  patch("records", 8, std::string("\x01\0", 2));
  if (::geteuid() != 0) fs::permissions(path + ".XXX", fs::perms::owner_read);
  const auto marked = files(path);
  std::vector<std::string> notices;
  StoreOptions o = reader();
  o.on_notice = [&](std::string_view line) { notices.emplace_back(line); };
  {
    std::unique_ptr<Store> s;
    ASSERT_TRUE(Store::open(path, o, s));
    EXPECT_EQ(s->read_only(), ::geteuid() != 0);
    EXPECT_EQ(walk(*s, true).size(), 20u);
  }
  EXPECT_TRUE(files(path) == marked);
  EXPECT_EQ(notices.size(), ::geteuid() != 0 ? 2u : 1u);
  fs::permissions(path + ".XXX", fs::perms::owner_read | fs::perms::owner_write);

  // Creating over a store, or with a bad key length, makes nothing.
  EXPECT_EQ(Store::create(path, 4000, 22).kind(), Kind::kExists);
  EXPECT_EQ(Store::create(at("T"), 4000, 33).kind(), Kind::kInvalid);
  fs::remove(path + ".XXX");
  EXPECT_EQ(Store::create(path, 4000, 22).kind(), Kind::kExists);  // the record file is there
  EXPECT_FALSE(fs::exists(path + ".XXX"));
}

TEST_F(StoreTest, ViewShowsWhatReadReadsWithItsErrors) {
  // Every address from 0 to past the end, through each way a view is made:
  // the same bytes as read, or the same failure, with an empty view.
  const std::string path = at("S");
  ASSERT_TRUE(Store::create(path, 4000, 22));
  fill(path, 0, 40, 1, 0x5A);
  const auto size = static_cast<std::uint32_t>(fs::file_size(path));
  const std::uint32_t past = size / 128 + 3;  // some addresses past the end
  FaultEnv env;
  StoreOptions on_walk = reader(), through_env = reader(), changing = writer(&env);
  on_walk.load_files_on_walk = true;
  through_env.env = &env;
  struct Row {
    const char* name;
    StoreOptions options;
    std::uint32_t cut;  // the record file cut short under the open store to this length (0: not)
  };
  const std::vector<Row> rows = {
      {"mapped", reader(), 0}, {"loaded on a walk", on_walk, 0}, {"test env", through_env, 0},
      {"writer", changing, 0}, {"cut short", reader(), 8192},    {"cut short, test env", through_env, 8192},
  };
  const std::string whole = bytes(path);
  for (const Row& row : rows) {
    test_support::write_file(path, whole);
    std::unique_ptr<Store> s;
    ASSERT_TRUE(Store::open(path, row.options, s)) << row.name;
    isam::Block first{};
    ASSERT_TRUE(s->read(7, first)) << row.name;  // maps the file before any cut
    if (row.cut) { ASSERT_EQ(::truncate(path.c_str(), row.cut), 0); }
    int shown = 0, failed = 0;
    for (std::uint32_t address = 0; address <= past && address <= 0xFFFF; ++address) {
      const auto a = static_cast<std::uint16_t>(address);
      isam::Block block{};
      std::span<const std::uint8_t> view{first.data(), 1};
      const Status read = s->read(a, block), viewed = s->view(a, view);
      ASSERT_EQ(viewed.kind(), read.kind()) << row.name << " " << address << ": " << viewed.message();
      EXPECT_EQ(viewed.message(), read.message()) << row.name << " " << address;
      if (read) {
        ++shown;
        ASSERT_EQ(view.size(), block.size()) << row.name << " " << address;
        EXPECT_TRUE(std::equal(view.begin(), view.end(), block.begin())) << row.name << " " << address;
      } else {
        ++failed;
        EXPECT_TRUE(view.empty()) << row.name << " " << address;
      }
    }
    EXPECT_GT(shown, 40) << row.name;
    EXPECT_GE(failed, static_cast<int>(row.cut ? past - row.cut / 128 : 3)) << row.name;
    if (!row.cut) {
      // A view outlives the store's other calls: reads, finds and a walk.
      std::span<const std::uint8_t> view;
      ASSERT_TRUE(s->view(10, view));
      const std::vector<std::uint8_t> before(view.begin(), view.end());
      isam::Block other{};
      Entry entry;
      EXPECT_TRUE(s->read(11, other));
      EXPECT_TRUE(s->find(item(3), entry));
      EXPECT_EQ(walk(*s, true).size(), 40u);
      EXPECT_TRUE(std::equal(view.begin(), view.end(), before.begin(), before.end())) << row.name;
      // Straight out of the mapping (neighbouring blocks 128 bytes apart)
      // only through the store's own Env and for a reader.
      std::span<const std::uint8_t> next;
      ASSERT_TRUE(s->view(11, next));
      const bool mapped = row.options.env == nullptr && row.options.access == StoreOptions::Access::kRead;
      EXPECT_EQ(next.data() - view.data() == 128, mapped) << row.name;
    }
    const bool reading = row.options.access == StoreOptions::Access::kRead;
    EXPECT_TRUE(reading ? s->commit() : s->rollback()) << row.name;
    std::span<const std::uint8_t> view;
    EXPECT_EQ(s->view(7, view).kind(), Kind::kInvalid) << row.name;  // closed
  }
}

TEST_F(StoreTest, TwoStoresInTwoDirectoriesFromTwoThreads) {
  // One thread walks a store over and over while another imports into a
  // store in another directory; neither changes the working directory.
  fs::create_directories(dir_ / "a");
  fs::create_directories(dir_ / "b");
  const std::string a = at("a/S"), b = at("b/S");
  ASSERT_TRUE(Store::create(a, 8000, 22));
  ASSERT_TRUE(Store::create(b, 8000, 22));
  fill(a, 0, 3000, 3);
  const fs::path here = fs::current_path();
  std::vector<std::string> expected;
  for (int i = 0; i < 3000; ++i) expected.push_back(item(3 * i));

  int walks = 0;
  bool walks_ok = true;
  std::thread walker([&] {
    for (; walks < 20; ++walks) {
      std::unique_ptr<Store> s;
      if (!Store::open(a, reader(), s)) {
        walks_ok = false;
        return;
      }
      Cursor c(*s);
      std::size_t i = 0;
      for (Status st = c.first(); st && c.valid(); st = c.next(), ++i) {
        isam::Block block;
        if (i >= expected.size() || c.entry().key != expected[i] || !s->read(c.entry().address, block) ||
            std::string(block.begin(), block.begin() + 22) != expected[i])
          walks_ok = false;
      }
      if (i != expected.size() || !s->commit()) walks_ok = false;
    }
  });
  std::thread importer([&] {
    for (int round = 0; round < 4; ++round) fill(b, round, 1000, 4, static_cast<std::uint8_t>(round));
  });
  walker.join();
  importer.join();
  EXPECT_TRUE(walks_ok);
  EXPECT_EQ(walks, 20);
  EXPECT_EQ(fs::current_path(), here);
  // Nor does any program or library code: no change of directory anywhere.
  const fs::path tree = test_support::data_path("").parent_path().parent_path();
  for (const char* part : {"src", "tools"}) {
    for (const auto& f : fs::recursive_directory_iterator(tree / part)) {
      if (!f.is_regular_file() || (f.path().extension() != ".cc" && f.path().extension() != ".h")) continue;
      const std::string text = test_support::read_file(f.path());
      EXPECT_EQ(text.find("chdir("), std::string::npos) << f.path();
      for (std::size_t at = text.find("current_path("); at != std::string::npos;
           at = text.find("current_path(", at + 1))
        EXPECT_EQ(text[at + 13], ')') << f.path() << " changes the working directory";
    }
  }
  std::unique_ptr<Store> s;
  ASSERT_TRUE(Store::open(b, reader(), s));
  const std::vector<std::string> keys = walk(*s, true);
  ASSERT_EQ(keys.size(), 4000u);
  for (int n = 0; n < 4000; ++n) EXPECT_EQ(keys[n], item(n));
}

}  // namespace
}  // namespace isam_test
