// `invdb check` over databases whose bytes the test lays out itself, so that
// the checker is tried without the library's writer: a clean database passes,
// and each kind of damage gives a non-zero exit and a finding that names it.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "invdb/db_files.h"
#include "support/test_support.h"

namespace {

using test_support::run_invdb;
using test_support::TempDir;
using Bytes = std::vector<std::uint8_t>;

constexpr int kKeyLength = 22;
constexpr int kEntry = kKeyLength + 3;

std::size_t at(std::uint32_t address) { return (address - 1) * 128; }
void put16(Bytes& b, std::size_t offset, std::uint32_t v) {
  b[offset] = static_cast<std::uint8_t>(v);
  b[offset + 1] = static_cast<std::uint8_t>(v >> 8);
}
void set_map_bit(Bytes& file, std::uint32_t address, bool on) {
  const std::uint32_t bit = (address - 1) / 2;  // one map block: map block address 3
  auto& byte = file[at(3) + bit / 8];
  byte = on ? (byte | (0x80 >> bit % 8)) : (byte & ~(0x80 >> bit % 8));
}
void grow_to(Bytes& file, std::uint32_t address) { file.resize(std::max(file.size(), at(address) + 256)); }

struct Entry {
  std::string key;
  std::uint16_t pointer;
};

// Lays out a database of `items` items: the sentinel and the keys in leaves
// of up to 7 entries, internal levels above them, one map block in each file,
// and two free blocks at the end of the record file.
void forge(const std::filesystem::path& dir, int items) {
  Bytes index(at(3) + 256, 0), records(at(3) + 256, 0);
  put16(index, 2, kKeyLength);
  put16(index, 4, 250 / kEntry);
  for (Bytes* f : {&index, &records}) {
    put16(*f, 6, 1);
    set_map_bit(*f, 1, true);
    set_map_bit(*f, 3, true);
  }
  std::vector<Entry> level{{std::string(kKeyLength, '\0'), 0}};
  std::uint32_t next_block = 5;
  for (int i = 0; i < items; ++i) {
    char stock[16];
    std::snprintf(stock, sizeof stock, "%07d", 1000 + 3 * i);
    const report::ItemArea item = test_support::make_item(stock);
    grow_to(records, next_block);
    std::copy(item.begin(), item.end(), records.begin() + static_cast<long>(at(next_block)));
    set_map_bit(records, next_block, true);
    level.push_back(
        {std::string(reinterpret_cast<const char*>(item.data()), kKeyLength), static_cast<std::uint16_t>(next_block)});
    next_block += 2;
  }
  grow_to(records, next_block + 2);
  std::uint32_t next_node = 5;
  for (bool leaf = true;; leaf = false) {
    std::vector<Entry> above;
    std::vector<std::uint32_t> nodes;
    for (std::size_t first = 0; first < level.size(); first += 7) {
      const std::uint32_t node = next_node;
      next_node += 2;
      grow_to(index, node);
      set_map_bit(index, node, true);
      const std::size_t n = std::min<std::size_t>(7, level.size() - first);
      index[at(node)] = leaf ? 255 : 0;
      index[at(node) + 5] = static_cast<std::uint8_t>(n);
      for (std::size_t i = 0; i < n; ++i) {
        const Entry& e = level[first + i];
        const std::size_t off = at(node) + 6 + i * kEntry;
        std::copy(e.key.begin(), e.key.end(), index.begin() + static_cast<long>(off));
        put16(index, off + kKeyLength + 1, e.pointer);
      }
      if (!nodes.empty()) {
        put16(index, at(nodes.back()) + 1, node);
        put16(index, at(node) + 3, nodes.back());
      }
      nodes.push_back(node);
      above.push_back({level[first].key, static_cast<std::uint16_t>(node)});
    }
    if (nodes.size() == 1) {
      put16(index, 0, nodes[0]);
      break;
    }
    level = std::move(above);
  }
  test_support::write_file(dir / "DB.XXX", {reinterpret_cast<const char*>(index.data()), index.size()});
  test_support::write_file(dir / "DB", {reinterpret_cast<const char*>(records.data()), records.size()});
}

// Loads a file, lets `change` alter its bytes and writes it back.
void damage(const std::filesystem::path& path, const std::function<void(Bytes&)>& change) {
  const std::string text = test_support::read_file(path);
  Bytes b(text.begin(), text.end());
  change(b);
  test_support::write_file(path, {reinterpret_cast<const char*>(b.data()), b.size()});
}

invdb::files::Node node_at(const Bytes& b, std::uint32_t address) {
  return invdb::files::Node(invdb::files::BlockView(b.data() + at(address), 256), kKeyLength);
}

// The leaves in chain order, found by descending the leftmost entries.
std::vector<std::uint32_t> leaves(const Bytes& index) {
  std::uint32_t a = index[0] | index[1] << 8;
  while (!node_at(index, a).is_leaf()) a = node_at(index, a).pointer(0);
  std::vector<std::uint32_t> out;
  for (; a != 0; a = node_at(index, a).next()) out.push_back(a);
  return out;
}

std::size_t entry_offset(std::uint32_t node, int i) { return at(node) + 6 + static_cast<std::size_t>(i) * kEntry; }

struct Damage {
  const char* what;
  const char* file;  // "DB.XXX" or "DB"
  std::function<void(Bytes& index, Bytes& file)> change;
  const char* finding;
};

TEST(Check, ForgedDatabaseIsClean) {
  TempDir dir;
  forge(dir.path(), 100);
  const auto r = run_invdb({"check", "DB"}, dir.path());
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("clean: 100 items, 0 other keys, 0 deleted entries, 3 levels"), std::string::npos) << r.out;
}

TEST(Check, EachKindOfDamageIsFound) {
  const std::vector<Damage> damages = {
      {"a tree node's map bit cleared", "DB.XXX",
       [](Bytes& index, Bytes&) { set_map_bit(index, leaves(index)[2], false); }, "in the tree but free in the map"},
      {"a node's map bit set without a node", "DB.XXX", [](Bytes& index, Bytes&) { set_map_bit(index, 301, true); },
       "node 301 is marked in use but lies past the end"},
      {"a next link broken", "DB.XXX",
       [](Bytes& index, Bytes&) { put16(index, at(leaves(index)[3]) + 1, leaves(index)[5]); }, "links to next"},
      {"a previous link broken", "DB.XXX", [](Bytes& index, Bytes&) { put16(index, at(leaves(index)[3]) + 3, 0); },
       "links to previous 0"},
      {"two keys unsorted", "DB.XXX",
       [](Bytes& index, Bytes&) {
         const std::uint32_t leaf = leaves(index)[4];
         std::swap_ranges(index.begin() + static_cast<long>(entry_offset(leaf, 1)),
                          index.begin() + static_cast<long>(entry_offset(leaf, 2)),
                          index.begin() + static_cast<long>(entry_offset(leaf, 2)));
       },
       "are out of order"},
      {"a leaf's first key differs from its parent entry", "DB.XXX",
       [](Bytes& index, Bytes&) { index[entry_offset(leaves(index)[6], 0) + 8] = '9'; },
       "differs from its parent entry"},
      {"a leaf's flag byte neither leaf nor internal", "DB.XXX",
       [](Bytes& index, Bytes&) { index[at(leaves(index)[2])] = 7; }, "flag 7 is neither leaf (255) nor internal (0)"},
      {"the open mark left set", "DB.XXX", [](Bytes& index, Bytes&) { index[8] = 1; }, "marked open"},
      {"a key pointing at a free block", "DB.XXX",
       [](Bytes& index, Bytes&) { put16(index, entry_offset(leaves(index)[1], 2) + kKeyLength + 1, 205); },
       "points at block 205, which is free in the map"},
      {"an item's block freed in the map", "DB", [](Bytes&, Bytes& records) { set_map_bit(records, 7, false); },
       "points at block 7, which is free in the map"},
      {"a block in use that no key reaches", "DB", [](Bytes&, Bytes& records) { set_map_bit(records, 205, true); },
       "block 205 is marked in use but no key points at it"},
      {"a block holding another item", "DB", [](Bytes&, Bytes& records) { records[at(9) + 8] = 'X'; },
       "points at block 9, which holds the key"},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.what);
    TempDir dir;
    forge(dir.path(), 100);
    const std::string index_text = test_support::read_file(dir / "DB.XXX");
    const Bytes index(index_text.begin(), index_text.end());
    damage(dir / d.file, [&](Bytes& b) {
      Bytes copy = index;
      if (std::string_view(d.file) == "DB.XXX")
        d.change(b, copy);
      else
        d.change(copy, b);
    });
    const auto r = run_invdb({"check", "DB"}, dir.path());
    // A mark alone is a status of its own, with the command that clears it.
    const bool mark_only = std::string_view(d.finding) == "marked open";
    EXPECT_EQ(r.exit_code, mark_only ? 3 : 1);
    EXPECT_NE(r.out.find(d.finding), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(mark_only ? "clean apart from the open marks" : "found"), std::string::npos) << r.out;
    if (mark_only) { EXPECT_NE(r.out.find("\"invdb clear-mark DB\" clears the marks"), std::string::npos) << r.out; }
  }
}

// The same damage to a store that the library wrote.
TEST(Check, DamageToASampleStoreIsFound) {
  TempDir dir;
  ASSERT_EQ(run_invdb({"sample", "S", "--items", "300"}, dir.path()).exit_code, 0);
  auto r = run_invdb({"check", "S"}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.out;
  const std::string clean_index = test_support::read_file(dir / "S.XXX");
  const Bytes index(clean_index.begin(), clean_index.end());
  const std::vector<std::pair<std::function<void(Bytes&)>, const char*>> damages = {
      {[](Bytes& b) { set_map_bit(b, leaves(b)[1], false); }, "in the tree but free in the map"},
      {[](Bytes& b) { put16(b, at(leaves(b)[2]) + 3, leaves(b)[4]); }, "links to previous"},
      {[](Bytes& b) {
         const std::uint32_t leaf = leaves(b)[3];
         std::swap_ranges(b.begin() + static_cast<long>(entry_offset(leaf, 0)),
                          b.begin() + static_cast<long>(entry_offset(leaf, 0) + kKeyLength),
                          b.begin() + static_cast<long>(entry_offset(leaf, 1)));
       },
       "out of order"},
      // Sample stores use 16 map blocks: the data blocks start at 35, and
      // 300 items with their headings end well below 1001.
      {[](Bytes& b) { put16(b, entry_offset(leaves(b)[5], 1) + kKeyLength + 1, 1001); },
       "points at block 1001, not a data block inside the file"},
  };
  for (const auto& [change, finding] : damages) {
    SCOPED_TRACE(finding);
    Bytes copy = index;
    change(copy);
    test_support::write_file(dir / "S.XXX", {reinterpret_cast<const char*>(copy.data()), copy.size()});
    r = run_invdb({"check", "S"}, dir.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find(finding), std::string::npos) << r.out;
  }
  // A block freed in the record file's map while its key still points at it.
  test_support::write_file(dir / "S.XXX", clean_index);
  damage(dir / "S", [&](Bytes& b) {
    const auto leaf = node_at(index, leaves(index)[2]);
    const std::uint32_t block = leaf.pointer(1);
    b[at(3 + 2 * ((block - 1) / 4096)) + ((block - 1) / 2 % 2048) / 8] &= ~(0x80 >> ((block - 1) / 2 % 8));
  });
  r = run_invdb({"check", "S"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("which is free in the map"), std::string::npos) << r.out;
}

TEST(Check, UnreadableDatabasesAreErrors) {
  TempDir dir;
  auto r = run_invdb({"check", "NONE"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "invdb: NONE.XXX: cannot open: No such file or directory\n");
  forge(dir.path(), 5);
  damage(dir / "DB.XXX", [](Bytes& b) { put16(b, 2, 40); });
  r = run_invdb({"check", "DB"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("DB.XXX: header key length 40 is outside 1 to 32"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("no key points at it"), std::string::npos) << r.out;
}

}  // namespace
