// Record files: fixed 256-byte blocks, block addressing, the free-block map,
// the fcb table and the core error codes shared by the whole library.
//
// The file formats and the block addressing are in file_format.h.
//
// Open files keep one map block in memory.  It is written back, when it was
// changed, as the buffer moves to another map block and at close.  Data
// blocks are written straight through.  A close that wrote anything flushes
// the file to stable storage before it clears the open mark, so a set mark
// reliably means "not closed properly".  A close whose map block could not
// be written fails and leaves the mark set.
//
// Damaged files: a header whose map-block count is outside 1..32 is treated
// as a failed header read.  No transfer ever leaves its 256-byte buffer.
#pragma once

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "isam/codes.h"
#include "isam/env.h"
#include "isam/file_format.h"
#include "isam/journal.h"

namespace isam::core {

using namespace isam::format;

// State that every open file of one library (or one store) shares: the
// core error code, the header buffer used by open, close and create, the
// scratch node of the index writer, and where notices go.  Nothing in the
// core is process-wide: two Cores, each with its own Env, may be used from
// two threads at once.
struct Core {
  std::int16_t code = kNoError;
  // errno of the latest failed system call on a database file (0: none).
  int system_error = 0;
  // What an open found wrong with a file, in words (set with code 5 when
  // the header or root is not what the format allows; empty otherwise).
  std::string detail;
  // Whether the latest failed read ended at the end of its file (the file
  // is shorter than the block asked for: cut short, not a device failure;
  // system_error still says EIO, as the read call would).
  bool past_end = false;
  // The core's own Env, used unless `env` is pointed at another one (which
  // must then outlive the core).
  Env own_env;
  Env* env = &own_env;
  // A writer journals its changes and locks the database exclusively; a
  // reader locks it shared and writes nothing but its open mark.
  bool writer = false;
  // A writer may open files whose open mark is set (after a clean check).
  bool accept_open_mark = false;
  // A reader that may not open a file for writing (EACCES, EPERM, EROFS)
  // opens it read-only and neither sets nor clears its open mark.
  bool allow_read_only = false;
  int lock_wait_ms = 0;
  int write_batch_blocks = 512;
  // Notices, one line each without its newline: a rolled-back journal, a
  // file found marked open, a file read read-only.
  std::function<void(std::string_view)> notice;
  // Called once (per `told_wait`) when a lock wait has lasted a second.
  std::function<void()> on_wait;
  bool told_wait = false;
  // Polled while waiting for a lock: true gives up at once (EINTR).
  std::function<bool()> stop;
  bool warned_open_mark = false;
  bool told_read_only = false;  // one notice for all the files read read-only
  std::vector<std::unique_ptr<Journal>> journals;
  Block header{};
  Block scratch{};

  void tell(std::string_view line) const {
    if (notice) notice(line);
  }
};

// An open file addressed in 256-byte blocks, through the library's Env.
// `wrote` records whether any block was written since the open, so that
// close knows to flush.
class BlockFile {
 public:
  BlockFile() = default;
  BlockFile(Env& env, int fd) : env_(&env), fd_(fd) {}
  ~BlockFile() { close(); }
  BlockFile(const BlockFile&) = delete;
  BlockFile& operator=(const BlockFile&) = delete;

  // Opens an existing file for reading and writing, or creates one
  // exclusively (owner read/write): a descriptor, or -1 (errno set).
  // `name` is a built file name; a trailing "." (blank extension) names the
  // file without extension.
  static int open_existing(Env& env, std::string_view name, bool for_writing = true);
  static int create_exclusive(Env& env, std::string_view name);

  // Unguarded transfers of exactly 256 bytes at address n; code 3 when the
  // address is 0, the transfer fails, or fewer bytes move.
  bool read(Core& core, std::uint32_t n, std::uint8_t* buffer) const;
  bool write(Core& core, std::uint32_t n, const std::uint8_t* buffer);
  bool wrote() const { return wrote_; }
  // Forgets the writes so far (the open mark set by an open is not a
  // change that close needs to flush).
  void forget_writes() { wrote_ = false; }
  // Flushes to stable storage; true when nothing was written.
  bool sync(Core& core);
  // Closes the descriptor; `synced` after a close that made every change
  // durable (see Journal::detach).
  void close(bool synced = false);
  // A writer's file: its changes go through the database's journal.
  void use_journal(Journal* journal, int id) {
    journal_ = journal;
    journal_id_ = id;
  }
  Journal* journal() const { return journal_; }
  // A reader that found the open mark set leaves it as it found it.
  bool keeps_mark = false;
  // Opened for reading only (see Core::allow_read_only): no mark is set.
  bool read_only = false;
  bool is_open() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  Env& env() const { return *env_; }
  // Takes over an open descriptor (closing any held one).
  void adopt(Env& env, int fd) {
    close();
    env_ = &env;
    fd_ = fd;
    wrote_ = false;
    read_only = false;
  }

 private:
  // Reads block n into `in`, or writes it from `out` (the other is null),
  // straight to the file.
  bool move(Core& core, std::uint32_t n, std::uint8_t* in, const std::uint8_t* out) const;
  // A read whose first call for the whole block returned `first`: goes on as
  // `move` would have after that call.
  bool read_on(Core& core, std::uint32_t n, std::uint8_t* buffer, ssize_t first) const;

  Env* env_ = nullptr;
  int fd_ = -1;
  bool wrote_ = false;
  Journal* journal_ = nullptr;
  int journal_id_ = -1;
};

// The map block held in memory (address 0: none).
struct FreeMap {
  std::uint16_t address = 0;
  bool dirty = false;
  Block bits{};

  bool test(int bit) const { return bits[bit / 8] & (0x80 >> (bit % 8)); }
  void assign(int bit, bool used);
};

// Writes the held map block back if it was changed; false (code 3) when the
// write fails, and the block then stays marked changed.
bool write_back(Core& core, BlockFile& file, FreeMap& map);
// Makes `address` the held map block, writing the previous one back first.
// On a failed read nothing is held afterwards (code 3).
bool load_map(Core& core, BlockFile& file, FreeMap& map, std::uint16_t address);
// Takes the first free block from the held map block onwards, marks it used
// and returns its address; 0 when none is left (code 3 after the last map
// block, no code when the held block already lies past it).
std::uint16_t allocate(Core& core, BlockFile& file, FreeMap& map, std::uint16_t data_start);
// Counts the blocks that `allocate` could still hand out (from the first map
// block on when `from_first`: what allocate_anywhere could), stopping once
// `enough` are found.  Reads other map blocks without disturbing the held
// one.  Empty on a failed read (code 3).
std::optional<std::uint32_t> count_free(Core& core, const BlockFile& file, const FreeMap& map, std::uint16_t data_start,
                                        std::uint32_t enough, bool from_first = false);

// Writes a new database file of nb + 2 blocks: `header` at address 1 (nb
// taken from it), the first map block at 3 with bits 0 .. used_bits - 1 set,
// zero blocks up to 2nb + 1, and `first_block` at 2nb + 3.  Creates
// exclusively (code 9 when the file exists or cannot be made); a failed
// write removes the file again (code 3).  The file is not left open.
bool create_block_file(Core& core, std::string_view name, const Block& header, int used_bits, const Block& first_block);
// The last step of an open, with the header in core.header: sets the open
// mark and writes the header (code 6).  A mark found set gives code 10: a
// writer refuses the file (unless core.accept_open_mark), a reader warns
// once and leaves the mark as it is.  False when the open must fail.
bool set_open_mark(Core& core, BlockFile& file);

// The close sequence of either file once all its blocks are written: flush
// if anything was written, read the header (code 5), clear the open mark and
// write it (code 6), flush again.
bool clear_open_mark(Core& core, BlockFile& file);

// Takes a lock of `kind` on fd, trying again every 20 ms until
// core.lock_wait_ms have passed; tells core.on_wait once when the wait has
// lasted a second, and gives up at once when core.stop asks for it.  The one
// lock wait of the library.  False (code 9) with core.system_error
// EWOULDBLOCK after the wait, EINTR after a stop, or the lock call's errno.
bool wait_for_lock(Core& core, int fd, Env::LockKind kind);

// The first steps of every open: clear the code, open the existing file
// (code 9; read-only where core.allow_read_only lets a reader), lock it
// (shared for a reader, exclusive for a writer: see wait_for_lock), roll a
// hot journal back (code 9 when that fails) and, for a writer, attach the
// file to its journal.
bool open_database_file(Core& core, std::string_view name, BlockFile& file);

// Puts into core.detail why an open of `file` found it unsound (see
// format::open_fault_words; the header is read afresh).  Leaves it empty
// when the file looks sound or cannot be read at all.
void describe_open_fault(Core& core, const BlockFile& file, FileKind kind, const std::uint8_t* root);

// open_database_file, then allocate the file's record (code 8), which takes
// the file over.
template <class Record>
std::unique_ptr<Record> open_file_record(Core& core, std::string_view name) {
  auto record = std::unique_ptr<Record>(new (std::nothrow) Record);
  if (!record) {
    core.code = kNoMemory;
    return nullptr;
  }
  if (!open_database_file(core, name, record->file)) return nullptr;
  return record;
}

// The last step of every close (`ok`: whether the close so far succeeded):
// closes the file.  The close of a writer's last open file commits its
// journal, or, when this close or an earlier change failed, rolls the
// database back; either way a failure is the result.
bool finish_close(Core& core, BlockFile& file, bool ok);

// The open-record-file record.
struct RecordFile {
  BlockFile file;
  FreeMap map;
  std::uint16_t data_start = 0;  // 2nb + 3: the first data block; fixes nb
};

// Creates an empty record file whose map covers `capacity` blocks:
// nb = capacity / 2048 + 1, a header, nb map blocks and one zeroed data
// block.  Fails (code 9) when the file exists or cannot be made, and (code
// 3, file removed) when a write fails.  The file is not left open.
bool create_record_file(Core& core, std::string_view name, std::uint16_t capacity);
// Opens a record file, sets its open mark (code 10 when it was already set)
// and loads the first map block.  Nothing is returned on failure (codes 5,
// 6, 8, 9), and the mark is then restored to what it was.
std::unique_ptr<RecordFile> opfild(Core& core, std::string_view name);
// Reads any block, header and map blocks included.
inline bool rdblkd(Core& core, RecordFile& file, std::uint16_t address, std::span<std::uint8_t, kBlockSize> out) {
  return file.file.read(core, address, out.data());
}
// Writes a data block.  Refuses, leaving the file and the code unchanged,
// an address below the data start or beyond what the file's map covers.
bool wrblkd(Core& core, RecordFile& file, std::uint16_t address, std::span<const std::uint8_t, kBlockSize> in);
// Allocates a data block (see `allocate`).
std::uint16_t finddp(Core& core, RecordFile& file);
// Allocates a data block anywhere in the map: from the held map block on
// and, when none is left there, once more from the first map block, where
// blocks given back before the held one may be free.  0 when the map is
// full (code 3).
std::uint16_t allocate_anywhere(Core& core, RecordFile& file);
// Sets (used) or clears the block's map bit.  Refuses address 0 and
// addresses beyond the last map block.
bool set_map_bit(Core& core, RecordFile& file, std::uint16_t address, bool used);
// Whether the block's map bit is set; false when refused or unreadable.
bool test_map_bit(Core& core, RecordFile& file, std::uint16_t address);
// Writes the map block back, flushes, clears the open mark (codes 5, 6) and
// closes.  The record is released in every case.
bool clfild(Core& core, std::unique_ptr<RecordFile> file);

// One entry of the table of open record files.  Byte 0 of `fcb` is the
// in-use byte (1 in use, 0 free), bytes 1-11 the file name field.
struct FcbEntry {
  std::array<std::uint8_t, 12> fcb{};
  std::unique_ptr<RecordFile> file;
  bool in_use() const { return fcb[0] != 0; }
};
inline constexpr int kFcbTableSize = 5;
using FcbTable = std::array<FcbEntry, kFcbTableSize>;

// The first in-use entry whose name bytes (1-11) equal the fcb's.
inline FcbEntry* find_fcb(FcbTable& table, std::span<const std::uint8_t, 12> fcb) {
  for (FcbEntry& entry : table) {
    if (entry.in_use() && std::equal(fcb.begin() + 1, fcb.end(), entry.fcb.begin() + 1)) return &entry;
  }
  return nullptr;
}

}  // namespace isam::core
