// Record files and the block layer under both kinds of database file.
#include "isam/record_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "isam/coding.h"

namespace isam::core {
namespace {

// The path a built file name denotes: "STOCK." is the file STOCK.  A name
// with a zero byte in it denotes no file.
std::optional<std::string> path_of(std::string_view name) {
  if (name.find('\0') != std::string_view::npos) return std::nullopt;
  std::string path(name);
  if (!path.empty() && path.back() == '.') path.pop_back();
  if (path.empty()) return std::nullopt;
  return path;
}

int open_path(Env& env, std::string_view name, int flags) {
  auto path = path_of(name);
  if (!path) {
    errno = ENOENT;
    return -1;
  }
  return env.open(path->c_str(), flags, 0600);
}

// Allocation only ever looks at map blocks below this address: those that
// exist and that stand for 16-bit addresses.
std::uint16_t allocation_limit(std::uint16_t data_start) {
  return std::min<std::uint16_t>(data_start, data_start_for(kAddressableMapBlocks));
}

// Whether bit `bit` of the map block at `map_address` may be handed out when
// it is clear: never the header or a map block, never past 65535.
bool allocatable(std::uint16_t map_address, int bit, std::uint16_t data_start) {
  std::uint32_t n = address_of_bit(map_address, bit);
  return n >= data_start && n <= kLastAddress;
}

}  // namespace

int BlockFile::open_existing(Env& env, std::string_view name) { return open_path(env, name, O_RDWR); }

int BlockFile::create_exclusive(Env& env, std::string_view name) {
  return open_path(env, name, O_RDWR | O_CREAT | O_EXCL);
}

namespace {

// Moves exactly 256 bytes at address n with `move` (pread or pwrite); code 3
// when the address is 0 or fewer bytes move.  The system's reason goes to
// core.system_error: a write that moved nothing without one ran out of room.
template <class Move>
bool transfer(Core& core, int fd, std::uint32_t n, Move move, int short_reason) {
  std::size_t done = 0;
  int reason = EBADF;
  if (n != 0 && fd >= 0) {
    off_t offset = static_cast<off_t>(offset_of(n));
    reason = short_reason;
    while (done < kBlockSize) {
      ssize_t moved = move(fd, done, offset + static_cast<off_t>(done));
      if (moved < 0 && errno == EINTR) continue;
      if (moved < 0) reason = errno;
      if (moved <= 0) break;
      done += static_cast<std::size_t>(moved);
    }
  }
  if (done == kBlockSize) return true;
  core.system_error = reason;
  core.code = kIoFailed;
  return false;
}

}  // namespace

bool BlockFile::read(Core& core, std::uint32_t n, std::uint8_t* buffer) const {
  Env* env = env_;
  return transfer(
      core, fd_, n,
      [env, buffer](int fd, std::size_t done, off_t at) {
        return env->pread(fd, buffer + done, kBlockSize - done, at);
      },
      EIO);
}

bool BlockFile::write(Core& core, std::uint32_t n, const std::uint8_t* buffer) {
  wrote_ = true;
  Env* env = env_;
  return transfer(
      core, fd_, n,
      [env, buffer](int fd, std::size_t done, off_t at) {
        return env->pwrite(fd, buffer + done, kBlockSize - done, at);
      },
      ENOSPC);
}

bool BlockFile::sync(Core& core) {
  if (!wrote_) return true;
  if (fd_ >= 0 && env_->fsync(fd_) == 0) return true;
  core.system_error = fd_ >= 0 ? errno : EBADF;
  return false;
}

void BlockFile::close() {
  if (fd_ >= 0) env_->close(fd_);
  fd_ = -1;
}

void FreeMap::assign(int bit, bool used) {
  std::uint8_t mask = static_cast<std::uint8_t>(0x80 >> (bit % 8));
  if (used) {
    bits[bit / 8] |= mask;
  } else {
    bits[bit / 8] &= static_cast<std::uint8_t>(~mask);
  }
  dirty = true;
}

bool write_back(Core& core, BlockFile& file, FreeMap& map) {
  if (map.address == 0 || !map.dirty) return true;
  if (!file.write(core, map.address, map.bits.data())) return false;
  map.dirty = false;
  return true;
}

bool load_map(Core& core, BlockFile& file, FreeMap& map, std::uint16_t address) {
  if (map.address == address) return true;
  write_back(core, file, map);  // the result is not yet carried up here
  map.address = 0;
  if (!file.read(core, address, map.bits.data())) return false;
  map.address = address;
  return true;
}

std::uint16_t allocate(Core& core, BlockFile& file, FreeMap& map, std::uint16_t data_start) {
  // After a failed map read nothing is held: start again at the first block.
  if (map.address == 0 && !load_map(core, file, map, kFirstMapAddress)) return 0;
  std::uint16_t limit = allocation_limit(data_start);
  if (map.address >= limit) return 0;
  for (;;) {
    for (int bit = 0; bit < kBitsPerMapBlock; ++bit) {
      if (bit % 8 == 0 && map.bits[bit / 8] == 0xFF) {
        bit += 7;  // a full byte
        continue;
      }
      if (map.test(bit) || !allocatable(map.address, bit, data_start)) continue;
      map.assign(bit, true);
      return static_cast<std::uint16_t>(address_of_bit(map.address, bit));
    }
    std::uint16_t next = static_cast<std::uint16_t>(map.address + 2);
    if (next >= limit) {
      write_back(core, file, map);
      core.code = kIoFailed;
      return 0;
    }
    if (!load_map(core, file, map, next)) return 0;
  }
}

std::optional<std::uint32_t> count_free(Core& core, const BlockFile& file, const FreeMap& map, std::uint16_t data_start,
                                        std::uint32_t enough) {
  std::uint32_t found = 0;
  Block other;
  std::uint16_t first = map.address == 0 ? kFirstMapAddress : map.address;
  for (std::uint16_t b = first; b < allocation_limit(data_start) && found < enough; b += 2) {
    FreeMap view;
    if (b == map.address) {
      view.bits = map.bits;
    } else {
      if (!file.read(core, b, other.data())) return std::nullopt;
      view.bits = other;
    }
    for (int bit = 0; bit < kBitsPerMapBlock && found < enough; ++bit) {
      if (!view.test(bit) && allocatable(b, bit, data_start)) ++found;
    }
  }
  return found;
}

bool create_block_file(Core& core, std::string_view name, const Block& header, int used_bits,
                       const Block& first_block) {
  int fd = BlockFile::create_exclusive(*core.env, name);
  if (fd < 0) {
    core.system_error = errno;
    core.code = kOpenFailed;
    return false;
  }
  BlockFile file(*core.env, fd);
  std::uint16_t nb = HeaderView(header).map_blocks();
  FreeMap map;
  for (int bit = 0; bit < used_bits; ++bit) map.assign(bit, true);
  Block zero{};
  bool ok = file.write(core, kHeaderAddress, header.data());
  ok = ok && file.write(core, kFirstMapAddress, map.bits.data());
  for (std::uint16_t i = 1; ok && i < nb; ++i) ok = file.write(core, 2 * i + 3, zero.data());
  ok = ok && file.write(core, data_start_for(nb), first_block.data());
  file.close();
  if (!ok) {
    if (auto path = path_of(name)) core.env->unlink(path->c_str());
  }
  return ok;
}

bool create_record_file(Core& core, std::string_view name, std::uint16_t capacity) {
  std::uint16_t nb = map_blocks_for(capacity);
  Block& header = core.header;
  header.fill(0);
  encode_u16(header.data() + kHeaderMapBlocks, nb);
  // Bits 0 .. nb: the header and the map blocks.
  return create_block_file(core, name, header, nb + 1, Block{});
}

std::optional<std::uint16_t> set_open_mark(Core& core, BlockFile& file) {
  Block& header = core.header;
  std::uint16_t mark = HeaderView(header).open_mark();
  if (mark != 0) core.code = kWasOpen;
  encode_u16(header.data() + kHeaderOpenMark, 1);
  if (!file.write(core, kHeaderAddress, header.data())) {
    core.code = kHeaderWrite;
    return std::nullopt;
  }
  file.forget_writes();
  return mark;
}

void restore_open_mark(Core& core, BlockFile& file, std::uint16_t mark) {
  encode_u16(core.header.data() + kHeaderOpenMark, mark);
  file.write(core, kHeaderAddress, core.header.data());
}

std::unique_ptr<RecordFile> opfild(Core& core, std::string_view name) {
  auto rf = open_file_record<RecordFile>(core, name);
  if (!rf) return nullptr;
  BlockFile& file = rf->file;
  std::uint16_t nb = 0;
  if (file.read(core, kHeaderAddress, core.header.data())) nb = HeaderView(core.header).map_blocks();
  if (nb < 1 || nb > kMaxMapBlocks) {
    core.code = kHeaderRead;
    return nullptr;
  }
  auto mark = set_open_mark(core, file);
  if (!mark) return nullptr;
  rf->data_start = data_start_for(nb);
  if (!load_map(core, file, rf->map, kFirstMapAddress)) {
    restore_open_mark(core, file, *mark);
    core.code = kHeaderRead;
    return nullptr;
  }
  return rf;
}

bool rdblkd(Core& core, RecordFile& file, std::uint16_t address, std::span<std::uint8_t, kBlockSize> out) {
  return file.file.read(core, address, out.data());
}

bool wrblkd(Core& core, RecordFile& file, std::uint16_t address, std::span<const std::uint8_t, kBlockSize> in) {
  if (address < file.data_start || map_block_of(address) >= file.data_start) return false;
  return file.file.write(core, address, in.data());
}

std::uint16_t finddp(Core& core, RecordFile& file) { return allocate(core, file.file, file.map, file.data_start); }

namespace {

// Brings the map block that covers `address` into memory; the bit of the
// address in it, or empty when refused or unreadable.
std::optional<int> map_bit_in_memory(Core& core, RecordFile& file, std::uint16_t address) {
  if (address == 0) return std::nullopt;
  std::uint16_t block = map_block_of(address);
  if (block >= file.data_start) return std::nullopt;
  if (!load_map(core, file.file, file.map, block)) return std::nullopt;
  return map_bit_of(address);
}

}  // namespace

bool set_map_bit(Core& core, RecordFile& file, std::uint16_t address, bool used) {
  auto bit = map_bit_in_memory(core, file, address);
  if (!bit) return false;
  file.map.assign(*bit, used);
  return true;
}

bool test_map_bit(Core& core, RecordFile& file, std::uint16_t address) {
  auto bit = map_bit_in_memory(core, file, address);
  return bit && file.map.test(*bit);
}

bool clear_open_mark(Core& core, BlockFile& file) {
  bool wrote = file.wrote();
  if (!file.sync(core)) {
    core.code = kHeaderWrite;
    return false;
  }
  Block& header = core.header;
  if (!file.read(core, kHeaderAddress, header.data())) {
    core.code = kHeaderRead;
    return false;
  }
  encode_u16(header.data() + kHeaderOpenMark, 0);
  if (!file.write(core, kHeaderAddress, header.data()) || (wrote && !file.sync(core))) {
    core.code = kHeaderWrite;
    return false;
  }
  return true;
}

bool clfild(Core& core, std::unique_ptr<RecordFile> rf) {
  // A map block that could not be written fails the close and leaves the
  // open mark set: the file is not as its writer left it.
  bool ok = write_back(core, rf->file, rf->map);
  if (!ok) core.code = kHeaderWrite;
  ok = ok && clear_open_mark(core, rf->file);
  rf->file.close();
  return ok;
}

FcbEntry* find_fcb(FcbTable& table, std::span<const std::uint8_t, 12> fcb) {
  for (FcbEntry& entry : table) {
    if (entry.in_use() && std::equal(fcb.begin() + 1, fcb.end(), entry.fcb.begin() + 1)) return &entry;
  }
  return nullptr;
}

}  // namespace isam::core
