// The writer's side of the index: insert, split with its cascade and root
// growth, node allocation, modify and delete.
//
// Entries are never removed: a deleted entry keeps its place with type 0xFF
// and is revived when its key is added again.  A split keeps the lower half
// of a full node and moves the upper half to a new right neighbour, which
// needs one new parent entry (its lowest key); the left node's parent entry
// stays valid because the sentinel keeps every added key above a node's
// first key.  When the root splits, a new internal root takes the old
// root's first key and the new node's lowest key.
//
// Before anything changes, addkey checks that the free-node map still holds
// a node for every split the insertion will cause plus the new root, and
// that the tree would not need a tenth level, so a failed insertion never
// leaves a node half split.
#include <cstring>
#include <optional>

#include "isam/coding.h"
#include "isam/index.h"

namespace isam::core {
namespace {

struct Separator {
  Key key{};
  std::uint16_t node = 0;
};

// Splits the full work node and inserts (key, pointer, type) into the half
// where it belongs.  The left node keeps entries 1..h, where h is half the
// count plus one when the located position lies above the half; the rest
// move to a new node N chained in to the right.  Output: N and its lowest
// key.
bool split(Core& core, OpenIndex& index, const std::uint8_t* key, std::uint16_t pointer, std::uint8_t type,
           Separator& out) {
  std::uint16_t left = index.work_number;
  std::uint16_t next = index.node().next();
  std::uint16_t fresh = allocate_node(core, index);
  if (fresh == 0) {
    core.code = kNoFreeNode;
    return false;
  }
  Block& right = core.scratch;
  right.fill(0);
  MutableNodeView fresh_node(right, index.key_length);
  fresh_node.set_flag(static_cast<std::uint8_t>(index.node().flag()));
  fresh_node.set_next(next);
  fresh_node.set_previous(left);
  index.node().set_next(fresh);

  int count = index.count();
  int keep = count / 2;
  if (index.position > keep) ++keep;
  std::size_t moved_bytes = static_cast<std::size_t>(count - keep) * index.entry_size();
  std::memcpy(fresh_node.entry(0), index.entry(keep + 1), moved_bytes);
  std::memset(index.entry(keep + 1), 0, moved_bytes);
  fresh_node.set_count(count - keep);
  index.node().set_count(keep);
  std::memcpy(out.key.data(), fresh_node.entry(0), index.key_length);
  out.node = fresh;

  if (std::memcmp(key, out.key.data(), index.key_length) < 0) {
    insert(index, key, pointer, type);
    index.path[index.level] = left;
    if (!store_node(core, index, true)) return false;
    index.work = right;
    index.work_number = fresh;
    if (!store_node(core, index, true) || !read_node(core, index, left)) return false;
  } else {
    if (!store_node(core, index, true)) return false;
    index.work = right;
    index.work_number = fresh;
    insert(index, key, pointer, type);
    index.path[index.level] = fresh;
    if (!store_node(core, index, true)) return false;
  }
  if (next != 0) {
    if (!read_node(core, index, next)) return false;
    index.node().set_previous(fresh);
    if (!store_node(core, index, true)) return false;
  }
  return true;
}

// The old root split into `old_root` (first key `first`) and the separator's
// node: a new internal root above both.
bool grow_root(Core& core, OpenIndex& index, const Key& first, std::uint16_t old_root, const Separator& split) {
  std::uint16_t root = allocate_node(core, index);
  if (root == 0) {
    core.code = kNoFreeNode;
    return false;
  }
  index.work_number = root;
  index.work.fill(0);
  insert(index, first.data(), old_root, 0);
  insert(index, split.key.data(), split.node, 0);
  if (!store_node(core, index, true)) return false;
  index.level = 0;
  index.root = root;
  index.path[0] = root;
  Block& header = core.scratch;
  if (!index.file.read(core, kHeaderAddress, header.data())) {
    core.code = kHeaderRead;
    return false;
  }
  encode_u16(header.data() + kHeaderRoot, root);
  return index.file.write(core, kHeaderAddress, header.data());
}

// Whether the insertion into the located leaf can run to the end: enough
// free nodes for every split it causes and, when the root splits, the new
// root; and no tenth level.
bool insertion_can_finish(Core& core, OpenIndex& index) {
  if (index.count() + 1 <= index.capacity) return true;
  std::uint32_t needed = 1;
  int level = index.level;
  while (level > 0 && index.path_count[level - 1] + 1 > index.capacity) {
    ++needed;
    --level;
  }
  if (level == 0) {
    if (index.level >= kMaxLevel) {
      core.code = kTooDeep;
      return false;
    }
    ++needed;
  }
  auto available = count_free(core, index.file, index.map, index.data_start(), needed);
  if (!available) return false;
  if (*available < needed) {
    core.code = kNoFreeNode;
    return false;
  }
  return true;
}

// The first steps of add and modify: clear the code, copy the index's key
// length of `key` into a private key and search it exactly.  Empty when the
// key is shorter than the key length.
std::optional<bool> find_exact(Core& core, OpenIndex& index, std::span<const std::uint8_t> key, Key& copy) {
  core.code = kNoError;
  if (key.size() < index.key_length) return std::nullopt;
  std::memcpy(copy.data(), key.data(), index.key_length);
  Key probe = copy;
  std::uint16_t address = 0;
  std::uint8_t type = 0;
  return find(core, index, kFindExact, probe, address, type);
}

}  // namespace

std::uint16_t allocate_node(Core& core, OpenIndex& index) {
  return allocate(core, index.file, index.map, index.data_start());
}

bool insert(OpenIndex& index, const std::uint8_t* key, std::uint16_t pointer, std::uint8_t type) {
  int count = index.count();
  int pos = 1;
  int order = 1;
  for (; pos <= count; ++pos) {
    order = std::memcmp(index.entry(pos), key, index.key_length);
    if (order >= 0) break;
  }
  bool grows = pos > count || order != 0;
  if (grows && count >= index.capacity) return false;  // no room: never write past the node
  if (pos <= count && order > 0) {
    std::memmove(index.entry(pos + 1), index.entry(pos),
                 static_cast<std::size_t>(count - pos + 1) * index.entry_size());
  }
  if (grows) index.node().set_count(count + 1);
  index.position = static_cast<std::uint16_t>(pos);
  index.node().set_entry(pos - 1, key, pointer, type);
  return pos == 1;
}

bool addkey(Core& core, OpenIndex& index, std::span<const std::uint8_t> key, std::uint16_t address, std::uint8_t type) {
  Key entry_key{};
  auto found = find_exact(core, index, key, entry_key);
  if (!found) return false;
  if (*found) {
    core.code = kKeyPresent;
    return false;
  }
  if (core.code != kNoError) return false;
  if (index.level > kMaxLevel) {
    core.code = kTooDeep;
    return false;
  }
  // The search leaves the work node at the end of the path it recorded; a
  // work node elsewhere means the index is not what the format allows.
  if (index.work_number != index.path[index.level]) {
    core.code = kIoFailed;
    return false;
  }
  MutableNodeView leaf = index.node();
  const int located = index.position - 1;
  if (leaf.type(located) == kDeleted && std::memcmp(leaf.entry(located), entry_key.data(), index.key_length) == 0) {
    leaf.set_type(located, type);
    leaf.set_pointer(located, address);
    return store_node(core, index, true);
  }
  if (!insertion_can_finish(core, index)) return false;

  std::uint16_t pointer = address;
  for (;;) {
    if (index.count() + 1 <= index.capacity) {
      insert(index, entry_key.data(), pointer, type);
      return store_node(core, index, true);
    }
    std::uint16_t old_node = index.work_number;
    Key first{};
    std::memcpy(first.data(), index.entry(1), index.key_length);
    Separator separator;
    if (!split(core, index, entry_key.data(), pointer, type, separator)) return false;
    if (index.level == 0) return grow_root(core, index, first, old_node, separator);
    --index.level;
    if (!read_node(core, index, index.path[index.level])) return false;
    entry_key = separator.key;
    locate(index, entry_key.data());
    pointer = separator.node;
    type = 0;
  }
}

bool modify_key(Core& core, OpenIndex& index, std::span<const std::uint8_t> key, std::uint16_t address,
                std::uint8_t type) {
  Key copy{};
  auto found = find_exact(core, index, key, copy);
  if (!found || !*found || core.code != kNoError || index.level > kMaxLevel) return false;
  MutableNodeView leaf = index.node();
  leaf.set_type(index.position - 1, type);
  leaf.set_pointer(index.position - 1, address);
  return store_node(core, index, true);
}

bool delete_key(Core& core, OpenIndex& index, std::span<const std::uint8_t> key) {
  return modify_key(core, index, key, 0, kDeleted);
}

}  // namespace isam::core
