// Record files and the block layer under both kinds of database file.
#include "isam/record_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "isam/coding.h"
#include "isam/store_files.h"

namespace isam::core {
namespace {

// The path a built file name denotes: "STOCK." is the file STOCK.  A name
// with a zero byte in it denotes no file.
std::optional<std::string> path_of(std::string_view name) {
  if (name.find('\0') != std::string_view::npos) return std::nullopt;
  std::string path(file_of_built_name(name));
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

int BlockFile::open_existing(Env& env, std::string_view name, bool for_writing) {
  return open_path(env, name, for_writing ? O_RDWR : O_RDONLY);
}

int BlockFile::create_exclusive(Env& env, std::string_view name) {
  return open_path(env, name, O_RDWR | O_CREAT | O_EXCL);
}

namespace {

// Moves exactly 256 bytes at address n with `move` (pread or pwrite); code 3
// when the address is 0 or fewer bytes move.  The system's reason goes to
// core.system_error: a write that moved nothing without one ran out of room.
// `first`, when given, is what a first call of `move` for the whole block
// already returned (errno as it left it).
template <class Move>
bool transfer(Core& core, int fd, std::uint32_t n, Move move, int short_reason,
              std::optional<ssize_t> first = std::nullopt) {
  std::size_t done = 0;
  int reason = EBADF;
  bool at_end = false;
  if (n != 0 && fd >= 0) {
    off_t offset = static_cast<off_t>(offset_of(n));
    reason = short_reason;
    while (done < kBlockSize) {
      ssize_t moved = first ? *std::exchange(first, std::nullopt) : move(fd, done, offset + static_cast<off_t>(done));
      if (moved < 0 && errno == EINTR) continue;
      if (moved < 0) reason = errno;
      at_end = moved == 0;
      if (moved <= 0) break;
      done += static_cast<std::size_t>(moved);
    }
  }
  if (done == kBlockSize) return true;
  core.past_end = at_end && short_reason == EIO;
  core.system_error = reason;
  core.code = kIoFailed;
  return false;
}

}  // namespace

bool BlockFile::move(Core& core, std::uint32_t n, std::uint8_t* in, const std::uint8_t* out) const {
  Env* env = env_;
  return transfer(
      core, fd_, n,
      [env, in, out](int fd, std::size_t done, off_t at) {
        return in ? env->pread(fd, in + done, kBlockSize - done, at)
                  : env->pwrite(fd, out + done, kBlockSize - done, at);
      },
      in ? EIO : ENOSPC);
}

bool BlockFile::read(Core& core, std::uint32_t n, std::uint8_t* buffer) const {
  if (n == 0 || fd_ < 0) return move(core, n, buffer, nullptr);
  if (journal_) return journal_->read(core, journal_id_, n, buffer);
  // Nearly every read moves the whole block in its first call.
  const ssize_t moved = env_->pread(fd_, buffer, kBlockSize, static_cast<off_t>(offset_of(n)));
  return moved == kBlockSize || read_on(core, n, buffer, moved);
}

bool BlockFile::read_on(Core& core, std::uint32_t n, std::uint8_t* buffer, ssize_t first) const {
  Env* env = env_;
  return transfer(
      core, fd_, n,
      [env, buffer](int fd, std::size_t done, off_t at) {
        return env->pread(fd, buffer + done, kBlockSize - done, at);
      },
      EIO, first);
}

bool BlockFile::write(Core& core, std::uint32_t n, const std::uint8_t* buffer) {
  wrote_ = true;
  if (journal_ && n != 0 && fd_ >= 0) return journal_->write(core, journal_id_, n, buffer);
  return move(core, n, nullptr, buffer);
}

bool BlockFile::sync(Core& core) {
  if (!wrote_) return true;
  if (journal_ && fd_ >= 0) return journal_->sync(core, journal_id_);
  if (fd_ >= 0 && env_->fsync(fd_) == 0) return true;
  core.system_error = fd_ >= 0 ? errno : EBADF;
  return false;
}

void BlockFile::close(bool synced) {
  if (journal_) journal_->detach(journal_id_, synced);
  journal_ = nullptr;
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
  if (!write_back(core, file, map)) return false;  // the held block stays held
  map.address = 0;
  if (!file.read(core, address, map.bits.data())) return false;
  map.address = address;
  return true;
}

namespace {

// The first bit from `bit` on that does not lie in a run of full map bytes
// (taken 8 bytes at a time where aligned): the map scans look only at bits
// that may be clear, so a well-used map costs a few steps, not 2048.
int skip_full(const Block& bits, int bit) {
  while (bit < kBitsPerMapBlock && bit % 8 == 0) {
    if (bit % 64 == 0) {
      std::uint64_t word;
      std::memcpy(&word, bits.data() + bit / 8, sizeof word);
      if (word == ~std::uint64_t{0}) {
        bit += 64;
        continue;
      }
    }
    if (bits[bit / 8] != 0xFF) break;
    bit += 8;
  }
  return bit;
}

}  // namespace

std::uint16_t allocate(Core& core, BlockFile& file, FreeMap& map, std::uint16_t data_start) {
  // After a failed map read nothing is held: start again at the first block.
  if (map.address == 0 && !load_map(core, file, map, kFirstMapAddress)) return 0;
  std::uint16_t limit = allocation_limit(data_start);
  if (map.address >= limit) return 0;
  for (;;) {
    for (int bit = skip_full(map.bits, 0); bit < kBitsPerMapBlock; bit = skip_full(map.bits, bit + 1)) {
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
                                        std::uint32_t enough, bool from_first) {
  std::uint32_t found = 0;
  Block other;
  std::uint16_t first = map.address == 0 || from_first ? kFirstMapAddress : map.address;
  for (std::uint16_t b = first; b < allocation_limit(data_start) && found < enough; b += 2) {
    FreeMap view;
    if (b == map.address) {
      view.bits = map.bits;
    } else {
      if (!file.read(core, b, other.data())) return std::nullopt;
      view.bits = other;
    }
    for (int bit = skip_full(view.bits, 0); bit < kBitsPerMapBlock && found < enough;
         bit = skip_full(view.bits, bit + 1)) {
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

namespace {

// Whether a set open mark was left by a program that is gone.  A live reader
// holds its lock for as long as its mark stands and clears the mark before
// it lets go; a reader that holds its own shared lock sees no live writer.
// So the mark is a dead program's when no other program holds the file and
// it is still set when read again after that test.
bool left_by_the_dead(Core& core, BlockFile& file) {
  if (core.env->held_by_others(file.fd())) return false;
  Block again{};
  return !file.read(core, kHeaderAddress, again.data()) || HeaderView(again).open_mark() != 0;
}

}  // namespace

bool set_open_mark(Core& core, BlockFile& file) {
  Block& header = core.header;
  if (file.read_only) {
    // Nothing can be written: the file is read as it stands.
    file.keeps_mark = true;
    return true;
  }
  if (HeaderView(header).open_mark() != 0) {
    core.code = kWasOpen;
    if (core.writer && !core.accept_open_mark) return false;
    if (!core.writer) {
      if (!core.warned_open_mark && left_by_the_dead(core, file)) {
        core.tell(
            "warning: the database was not closed by the last program that used it (its open mark is set); it is "
            "read as it stands");
      }
      core.warned_open_mark = true;
      file.keeps_mark = true;
      return true;
    }
  }
  encode_u16(header.data() + kHeaderOpenMark, 1);
  if (!file.write(core, kHeaderAddress, header.data())) {
    core.code = kHeaderWrite;
    return false;
  }
  file.forget_writes();
  return true;
}

namespace {

bool journal_exists(Env& env, const std::string& path) {
  int fd = env.open(path.c_str(), O_RDONLY, 0);
  if (fd < 0) return false;
  env.close(fd);
  return true;
}

// The journal object of a database, made on its first writer open.  One
// left with no file attached belongs to an earlier, finished or abandoned,
// open and is dropped first.
Journal& journal_of(Core& core, const std::string& path) {
  auto& list = core.journals;
  list.erase(
      std::remove_if(list.begin(), list.end(), [&](const auto& j) { return j->path() == path && j->attached() == 0; }),
      list.end());
  for (auto& j : list)
    if (j->path() == path) return *j;
  list.push_back(
      std::make_unique<Journal>(*core.env, path, static_cast<std::size_t>(std::max(core.write_batch_blocks, 1))));
  return *list.back();
}

}  // namespace

bool wait_for_lock(Core& core, int fd, Env::LockKind kind) {
  constexpr int kStep = 20;
  constexpr int kTellAfter = 1000;
  for (int waited = 0;; waited += kStep) {
    if (core.env->lock(fd, kind) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EAGAIN) break;
    if (waited >= core.lock_wait_ms) {
      errno = EWOULDBLOCK;
      break;
    }
    if (core.stop && core.stop()) {
      errno = EINTR;
      break;
    }
    if (waited >= kTellAfter && !core.told_wait) {
      core.told_wait = true;
      if (core.on_wait) core.on_wait();
    }
    core.env->pause(kStep);
  }
  core.system_error = errno;
  core.code = kOpenFailed;
  return false;
}

bool open_database_file(Core& core, std::string_view name, BlockFile& file) {
  core.code = kNoError;
  int fd = BlockFile::open_existing(*core.env, name);
  bool read_only = false;
  if (fd < 0 && !core.writer && core.allow_read_only && (errno == EACCES || errno == EPERM || errno == EROFS)) {
    const int refused = errno;
    fd = BlockFile::open_existing(*core.env, name, false);
    if (fd >= 0) {
      read_only = true;
      if (!std::exchange(core.told_read_only, true))
        core.tell(std::string(file_of_built_name(name)) + ": cannot be opened for writing (" +
                  (refused == EROFS ? "a read-only file system" : "permission denied") +
                  "); it is read as it stands, its open mark left as it is");
    } else {
      errno = refused;
    }
  }
  if (fd < 0) {
    core.system_error = errno;
    core.code = kOpenFailed;
    return false;
  }
  file.adopt(*core.env, fd);
  file.read_only = read_only;
  std::string own_name;
  const std::string journal = journal_path_for(name, own_name);
  if (!wait_for_lock(core, fd, core.writer ? Env::kExclusive : Env::kShared)) {
    file.close();
    return false;
  }
  // The journal of this library's own open files of the database is live,
  // not hot.
  const bool live = std::any_of(core.journals.begin(), core.journals.end(),
                                [&](const auto& j) { return j->path() == journal && j->attached() > 0; });
  if (!live && journal_exists(*core.env, journal)) {
    // Only a program that holds the database alone may put it back.
    bool rolled_back = false;
    if ((!core.writer && !wait_for_lock(core, fd, Env::kExclusive)) || !recover(core, journal, rolled_back) ||
        (!core.writer && !wait_for_lock(core, fd, Env::kShared))) {
      if (core.detail.empty() && core.system_error != EWOULDBLOCK && core.system_error != EINTR)
        core.detail = "a change that was cut short (journal " + journal + ") could not be rolled back";
      file.close();
      return false;
    }
    if (rolled_back) core.tell(own_name + ": a change that was cut short was rolled back (journal " + journal + ")");
  }
  if (core.writer) {
    Journal& j = journal_of(core, journal);
    file.use_journal(&j, j.attach(own_name, fd));
  }
  return true;
}

bool finish_close(Core& core, BlockFile& file, bool ok) {
  Journal* journal = file.journal();
  file.close(ok);
  if (!journal) return ok;
  if (journal->attached() > 0) return ok && !journal->failed();
  if (ok && journal->commit(core)) return true;
  // The change cannot be completed: put the database back as it was.  What
  // cannot be put back now stays in the journal for the next open.
  std::int16_t code = core.code;
  int error = core.system_error;
  journal->rollback(core);
  core.code = code == kNoError ? static_cast<std::int16_t>(kIoFailed) : code;
  core.system_error = error;
  return false;
}

std::unique_ptr<RecordFile> opfild(Core& core, std::string_view name) {
  auto rf = open_file_record<RecordFile>(core, name);
  if (!rf) return nullptr;
  BlockFile& file = rf->file;
  if (!file.read(core, kHeaderAddress, core.header.data()) ||
      header_fault(core.header, FileKind::kRecords) != HeaderFault::kSound) {
    core.code = kHeaderRead;
    describe_open_fault(core, file, FileKind::kRecords, nullptr);
    return nullptr;
  }
  rf->data_start = HeaderView(core.header).data_start();
  if (!load_map(core, file, rf->map, kFirstMapAddress)) {
    core.code = kHeaderRead;
    describe_open_fault(core, file, FileKind::kRecords, nullptr);
    return nullptr;
  }
  // The mark is set last, so that an open that fails changes nothing.
  if (!set_open_mark(core, file)) return nullptr;
  return rf;
}

bool wrblkd(Core& core, RecordFile& file, std::uint16_t address, std::span<const std::uint8_t, kBlockSize> in) {
  if (address < file.data_start || map_block_of(address) >= file.data_start) return false;
  return file.file.write(core, address, in.data());
}

std::uint16_t finddp(Core& core, RecordFile& file) { return allocate(core, file.file, file.map, file.data_start); }

std::uint16_t allocate_anywhere(Core& core, RecordFile& file) {
  const bool from_first = file.map.address == kFirstMapAddress;
  if (const std::uint16_t address = finddp(core, file)) return address;
  if (from_first || !load_map(core, file.file, file.map, kFirstMapAddress)) return 0;
  core.code = kNoError;
  return finddp(core, file);
}

void describe_open_fault(Core& core, const BlockFile& file, FileKind kind, const std::uint8_t* root) {
  const off_t size = file.is_open() ? file.env().file_size(file.fd()) : -1;
  if (size < 0) return;
  const std::int16_t code = core.code;
  const int error = core.system_error;
  if (static_cast<std::uint64_t>(size) < kBlockSize) {
    core.detail = "too short to hold a header (" + std::to_string(size) + " bytes)";
    return;
  }
  Block header{};
  if (file.read(core, kHeaderAddress, header.data()))
    core.detail = open_fault_words(header, kind, static_cast<std::uint64_t>(size), root);
  core.code = code;
  core.system_error = error;
}

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
  if (file.keeps_mark) return true;
  Block& header = core.header;
  if (!file.read(core, kHeaderAddress, header.data())) {
    core.code = kHeaderRead;
    return false;
  }
  encode_u16(header.data() + kHeaderOpenMark, 0);
  if (!file.write(core, kHeaderAddress, header.data()) || ((wrote || file.journal()) && !file.sync(core))) {
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
  return finish_close(core, rf->file, ok);
}

}  // namespace isam::core
