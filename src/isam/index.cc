// The index file: create, open, close, the node cache and the search.
#include "isam/index.h"

#include <algorithm>
#include <cstring>

#include "isam/coding.h"

namespace isam::core {
namespace {

int compare_keys(const std::uint8_t* a, const std::uint8_t* b, int length) { return std::memcmp(a, b, length); }

// A node read from disk is only taken when its entries fit the node.
bool node_is_sound(const OpenIndex& index, const Block& node) {
  const int count = NodeView(node, index.key_length).count();
  return count >= 1 && count <= index.capacity;
}

// Node numbers are odd addresses at or after the first node block.
bool is_node_number(const OpenIndex& index, std::uint16_t n) { return (n & 1) == 1 && n >= index.data_start(); }

}  // namespace

void ChainGuard::restart(int direction, std::uint16_t from) {
  direction_ = direction;
  if (seen_.empty()) seen_.assign(32768, 0);
  if (++epoch_ == 0) {
    std::fill(seen_.begin(), seen_.end(), 0);
    epoch_ = 1;
  }
  seen_[from >> 1] = epoch_;
}

bool ChainGuard::enter(std::uint16_t node) {
  std::uint16_t& stamp = seen_[node >> 1];
  if (stamp == epoch_) return false;
  stamp = epoch_;
  return true;
}

bool crfile(Core& core, std::string_view name, int key_length, std::uint16_t capacity) {
  if (key_length < 1 || key_length > kMaxKeyLength) {
    core.code = kOpenFailed;
    return false;
  }
  std::uint16_t nb = map_blocks_for(capacity);
  std::uint16_t root = data_start_for(nb);
  Block& header = core.header;
  header.fill(0);
  encode_u16(header.data() + kHeaderRoot, root);
  encode_u16(header.data() + kHeaderKeyLength, static_cast<std::uint16_t>(key_length));
  encode_u16(header.data() + kHeaderNodeCapacity, static_cast<std::uint16_t>(node_capacity_for(key_length)));
  encode_u16(header.data() + kHeaderMapBlocks, nb);
  // The root leaf holds the sentinel: an all-zero key, type 0, pointer 0.
  Block node{};
  MutableNodeView sentinel(node, key_length);
  sentinel.set_flag(kLeafFlag);
  sentinel.set_count(1);
  // Bits 0 .. nb + 1: the header, the map blocks and the root.
  return create_block_file(core, name, header, nb + 2, node);
}

std::unique_ptr<OpenIndex> opfile(Core& core, std::string_view name) {
  auto index = open_file_record<OpenIndex>(core, name);
  if (!index) return nullptr;
  Block& header = core.header;
  const HeaderView fields(header);
  if (!index->file.read(core, kHeaderAddress, header.data()) ||
      header_fault(header, FileKind::kIndex) != HeaderFault::kSound) {
    core.code = kHeaderRead;
    describe_open_fault(core, index->file, FileKind::kIndex, nullptr);
    return nullptr;
  }
  index->root = fields.root();
  index->key_length = fields.key_length();
  index->capacity = fields.node_capacity();
  index->map_blocks = fields.map_blocks();
  index->level = 0;
  index->path[0] = index->root;
  index->work_number = index->root;
  index->position = 1;

  // The root goes straight into the work node, not through the cache.
  bool ok = index->file.read(core, index->root, index->work.data()) && node_is_sound(*index, index->work);
  index->path_count[0] = static_cast<std::uint8_t>(index->count());
  ok = ok && load_map(core, index->file, index->map, kFirstMapAddress);
  if (!ok) {
    core.code = kHeaderRead;
    describe_open_fault(core, index->file, FileKind::kIndex, index->work.data());
    return nullptr;
  }
  // The mark is set last, so that an open that fails changes nothing.
  if (!set_open_mark(core, index->file)) return nullptr;
  return index;
}

bool clfile(Core& core, OpenIndex& index) {
  // Nothing that could not be written is given up: the close fails, the
  // open mark stays set.
  if (!write_back(core, index.file, index.map)) {
    core.code = kHeaderWrite;
    return finish_close(core, index.file, false);
  }
  for (CacheSlot& slot : index.cache) {
    if (slot.dirty) {
      if (!index.file.write(core, slot.node, slot.buffer.data())) {
        core.code = kHeaderWrite;
        return finish_close(core, index.file, false);
      }
      slot.dirty = 0;
    }
    slot.node = 0;
  }
  bool ok = clear_open_mark(core, index.file);
  return finish_close(core, index.file, ok);
}

namespace {

// Puts the work node into `slot`, writing the slot's dirty node out first
// (code 3 when that fails).
bool fill_slot(Core& core, OpenIndex& index, CacheSlot& slot, bool dirty) {
  if (slot.dirty && slot.node != 0 && !index.file.write(core, slot.node, slot.buffer.data())) {
    core.code = kIoFailed;
    return false;
  }
  slot.buffer = index.work;
  slot.node = index.work_number;
  slot.dirty = dirty;
  slot.age = 0;
  return true;
}

// The slot a node new to the cache takes: the first empty one, else the
// oldest (the lowest on a tie).
class Victim {
 public:
  void consider(CacheSlot& slot) {
    if (slot.node == 0) {
      if (!empty_) empty_ = &slot;
    } else if (!oldest_ || slot.age > oldest_->age) {
      oldest_ = &slot;
    }
  }
  CacheSlot& chosen() const { return empty_ ? *empty_ : *oldest_; }

 private:
  CacheSlot* empty_ = nullptr;
  CacheSlot* oldest_ = nullptr;
};

}  // namespace

bool read_node(Core& core, OpenIndex& index, std::uint16_t n) {
  // One pass ages the slots and finds both a hit and the slot a miss takes.
  CacheSlot* hit = nullptr;
  Victim victim;
  for (CacheSlot& slot : index.cache) {
    if (slot.node == n && n != 0) {
      hit = &slot;
      continue;
    }
    if (slot.node != 0 && slot.age < 0xFFFF) ++slot.age;
    victim.consider(slot);
  }
  if (hit) {
    index.work = hit->buffer;
    index.work_number = n;
    return true;
  }
  Block fresh;
  if (!is_node_number(index, n) || !index.file.read(core, n, fresh.data()) || !node_is_sound(index, fresh)) {
    core.code = kIoFailed;
    return false;
  }
  index.work = fresh;
  index.work_number = n;
  return fill_slot(core, index, victim.chosen(), false);
}

bool store_node(Core& core, OpenIndex& index, bool dirty) {
  Victim victim;
  for (CacheSlot& slot : index.cache) {
    if (slot.node == index.work_number) {
      slot.buffer = index.work;
      slot.age = 0;
      slot.dirty = dirty;
      return true;
    }
    victim.consider(slot);
  }
  return fill_slot(core, index, victim.chosen(), dirty);
}

Located locate(OpenIndex& index, const std::uint8_t* key) {
  int count = index.count();
  if (count == 0) {
    index.position = 0;
    return {};
  }
  int pos = 1;
  int order = -1;
  for (; pos <= count; ++pos) {
    order = compare_keys(index.entry(pos), key, index.key_length);
    if (order >= 0) break;
  }
  Located result;
  if (pos <= count && order == 0) {
    result.exact = true;
  } else {
    pos = pos > count ? count : std::max(pos - 1, 1);
  }
  index.position = static_cast<std::uint16_t>(pos);
  const auto node = index.node();
  result.type = static_cast<std::uint8_t>(node.type(pos - 1));
  result.pointer = node.pointer(pos - 1);
  return result;
}

namespace {

// Modes 1 and 2: from the root down to the leaf whose range holds `key`,
// recording the path.
bool descend(Core& core, OpenIndex& index, const std::uint8_t* key) {
  index.chain.reset();
  std::uint16_t node = index.root;
  for (int level = 0; level <= kMaxLevel; ++level) {
    if (!read_node(core, index, node)) return false;
    index.level = static_cast<std::uint16_t>(level);
    index.path[level] = node;
    index.path_count[level] = static_cast<std::uint8_t>(index.count());
    if (index.is_leaf()) return true;
    node = locate(index, key).pointer;
  }
  core.code = kIoFailed;
  return false;
}

// Hands out the current entry: its key into the key area, its pointer and
// type byte.
void take_current(OpenIndex& index, std::span<std::uint8_t> key, std::uint16_t& address, std::uint8_t& type) {
  const std::uint8_t* e = index.current();
  const std::size_t length = index.key_length;
  if (length >= 16) {
    // Keys of 16 to 32 bytes in two overlapping 16-byte pieces (a walk
    // copies one per step).
    std::memcpy(key.data(), e, 16);
    std::memcpy(key.data() + length - 16, e + length - 16, 16);
  } else {
    std::memcpy(key.data(), e, length);
  }
  const auto node = index.node();
  type = static_cast<std::uint8_t>(node.type(index.position - 1));
  address = node.pointer(index.position - 1);
}

// Leaves the work node for its neighbour on the chain in `direction`, the
// position left past the end it stepped off; false at the end of the chain
// and on a failed read or a chain that loops.
[[gnu::noinline]] bool cross(Core& core, OpenIndex& index, int direction) {
  const int count = index.count();
  const auto node = index.node();
  const std::uint16_t link = direction > 0 ? node.next() : node.previous();
  index.position = static_cast<std::uint16_t>(direction > 0 ? count + 1 : 0);
  if (link == 0) return false;
  if (!index.chain.enter(link)) {
    core.code = kIoFailed;
    return false;
  }
  return read_node(core, index, link);
}

// Modes 3 (direction +1) and 4 (-1): the next live entry along the chain.
bool step(Core& core, OpenIndex& index, int direction, std::span<std::uint8_t> key, std::uint16_t& address,
          std::uint8_t& type) {
  index.chain.begin(direction, index.work_number);
  for (;;) {
    int pos = std::clamp<int>(index.position, 0, index.count() + 1) + direction;
    if (pos < 1 || pos > index.count()) {
      if (!cross(core, index, direction)) return false;
      pos = direction > 0 ? 1 : index.count();
    }
    index.position = static_cast<std::uint16_t>(pos);
    take_current(index, key, address, type);
    index.path[index.level] = index.work_number;
    if (type != kDeleted) return true;
  }
}

// Modes 1 and 2: a descent from the root.
[[gnu::noinline]] bool search(Core& core, OpenIndex& index, int mode, std::span<std::uint8_t> key,
                              std::uint16_t& address, std::uint8_t& type) {
  if (!descend(core, index, key.data())) return false;
  Located at = locate(index, key.data());
  address = at.pointer;
  type = at.type;
  if (mode == kFindExact) return at.exact && at.type != kDeleted;
  if (at.type != kDeleted) {
    std::memcpy(key.data(), index.current(), index.key_length);
    return true;
  }
  return step(core, index, -1, key, address, type);
}

}  // namespace

bool find(Core& core, OpenIndex& index, int mode, std::span<std::uint8_t> key, std::uint16_t& address,
          std::uint8_t& type) {
  core.code = kNoError;
  if (mode < kFindExact || mode > kFindPrevious) {
    core.code = kBadMode;
    return false;
  }
  if (key.size() < index.key_length) return false;
  if (mode == kFindNext) return step(core, index, +1, key, address, type);
  if (mode == kFindPrevious) return step(core, index, -1, key, address, type);
  return search(core, index, mode, key, address, type);
}

bool find_first(Core& core, OpenIndex& index, std::span<std::uint8_t> key, std::uint16_t& address, std::uint8_t& type) {
  if (key.size() < index.key_length) return false;
  std::fill_n(key.begin(), index.key_length, 0);
  if (!find(core, index, kFindPosition, key, address, type)) return false;
  if (std::any_of(key.begin(), key.begin() + index.key_length, [](std::uint8_t b) { return b != 0; })) return true;
  return find(core, index, kFindNext, key, address, type);
}

bool find_last(Core& core, OpenIndex& index, std::span<std::uint8_t> key, std::uint16_t& address, std::uint8_t& type) {
  if (key.size() < index.key_length) return false;
  std::fill_n(key.begin(), index.key_length, 0xFF);
  return find(core, index, kFindPosition, key, address, type);
}

void read_ahead(Core& core, const OpenIndex& index, int link, std::span<const int> record_files) {
  const NodeView leaf = index.node();
  if (!leaf.is_leaf()) return;
  if (const std::uint16_t after = link == kNodeNext ? leaf.next() : leaf.previous()) {
    const std::uint64_t at = offset_of(after);
    core.env->will_read(index.file.fd(), {&at, 1});
  }
  std::array<std::uint64_t, node_capacity_for(1)> offsets;
  std::size_t count = 0;
  for (int i = 0; i < leaf.usable_count(); ++i) {
    if (const std::uint16_t address = leaf.pointer(i)) offsets[count++] = offset_of(address);
  }
  for (const int fd : record_files) core.env->will_read(fd, {offsets.data(), count});
}

}  // namespace isam::core
