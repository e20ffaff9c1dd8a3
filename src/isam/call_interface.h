// The flat call interface of the indexed-file library.
//
// A database is two files: a record file of 256-byte blocks and a B-tree
// index file whose fixed-length keys lead to block addresses in it.  Callers
// never touch either file directly; they use the sixteen operations below,
// each named by its five-letter routine tag.  Every operation reports success
// or failure through a status word (0 success, 1 failure) or a true/false
// result; it never throws.  Every failure that has a message is also handed
// to the error hook together with the operation's tag.  The hook is silent by
// default and can be replaced.
//
// All process-wide state of the library -- the three index slots, the
// five-entry fcb table, the core error code, the shared header and scratch
// buffers and the hook -- lives in one `Library` object.
//
// Reader side (the report program): copfx, copfd, cfind, crdbk, cclfx, cclfd.
// Writer side (maintenance tools):   ccrfx, ccrfd, caddk, cmdky, cgetr, cgivr,
//                                    csmap, cckrc, cwrbk, cwtbk.
//
// File name field: 11 characters, an 8-character name and a 3-character
// extension, both blank-padded.  It names the file "name up to its first
// blank" + "." + "extension up to its first blank"; a blank extension names
// the file without any extension (STOCK + "   " -> the file STOCK).
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "isam/codes.h"
#include "isam/env.h"
#include "isam/file_format.h"

namespace isam {

inline constexpr int kIndexSlots = 3;
inline constexpr int kFcbEntries = 5;

using NameField = std::array<char, 11>;
// File control block: byte 0 is 1 once `copfd` has filled it, bytes 1-11 the
// name field of the open record file.
using Fcb = std::array<std::uint8_t, 12>;

// Called once per reported failure with the routine tag ("copfx") and the
// message ("error in opfile").
using ErrorHook = std::function<void(std::string_view tag, std::string_view message)>;

// Builds a name field from a name and an extension (each cut or blank-padded).
NameField make_name_field(std::string_view name, std::string_view extension);
// The file name a name field denotes (see above).
std::string file_name_of(const NameField& field);

// How a Library uses its databases.
//
// A writer (the default) holds each database it opens exclusively, from the
// open of its index to the close of its record file, and journals every
// change: the changes made between the opens and the closes reach the files
// all together or not at all (see isam/journal.h).  A writer refuses a file
// whose open mark is set and has no journal: a reader died, or a program
// wrote without journalling; the files should be checked first.
//
// A reader shares the database with other readers and changes nothing but
// its open mark.  A file it finds marked open is read as it stands, with one
// warning on `notices`, and its mark is left set.
//
// Either waits up to `lock_wait_ms` for a program holding the database in
// the other way; after that the open fails with system_error() EWOULDBLOCK
// ("in use by another program").  A reader whose files cannot be opened for
// writing (EACCES, EROFS) reads them without setting the open mark, with one
// notice on `notices`; a writer's open then fails.  Either rolls back a journal that a writer
// left behind, with a line on `notices`.
struct LibraryOptions {
  enum class Role { kWriter, kReader };
  Role role = Role::kWriter;
  int lock_wait_ms = 5000;
  // Called once in each wait for a lock that has lasted a second, so that
  // the program can say it is waiting (may be empty).
  std::function<void()> on_wait = nullptr;
  // Asked while waiting for a lock: true gives the wait up at once (the open
  // fails with system_error() EINTR), for a program asked to stop.
  std::function<bool()> stop = nullptr;
  // A writer opens files whose open mark is set (for clearing the mark
  // after a clean check).
  bool accept_open_mark = false;
  std::FILE* notices = stderr;
  // Changed blocks a writer holds before it flushes the journal and writes
  // them out (tests make it small to cut a command at many more points).
  int write_batch_blocks = 512;
  // The file system seam; the process's own files when null.  It must
  // outlive the Library.
  Env* env = nullptr;
};

class Library {
 public:
  Library();
  explicit Library(const LibraryOptions& options);
  // Releases open handles without writing anything.  A writer's changes
  // since its opens are then not committed: the next open rolls them back
  // (at once, when one of them had failed).
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  // Replaces the error hook; an empty function restores the silent default.
  void set_error_hook(ErrorHook hook);
  // How long each later open waits for a lock (LibraryOptions::lock_wait_ms),
  // for a program that shares one wait among several opens.
  void set_lock_wait(int milliseconds);

  // ---- reader side ----
  void copfx(std::int16_t slot, const NameField& name, std::int16_t& status);
  void copfd(const NameField& name, Fcb& fcb, std::int16_t& status);
  // mode: a FindMode (1 exact, 2 position, 3 next, 4 previous).
  // Modes 2-4 write the key reached into `key`, which must hold at least the
  // index's key length.
  void cfind(std::int16_t slot, std::int16_t mode, std::span<std::uint8_t> key, std::uint16_t& address,
             std::uint8_t& type, bool& found);
  void crdbk(const Fcb& fcb, std::uint16_t address, std::span<std::uint8_t, kBlockSize> buffer, std::int16_t& status);
  void cclfx(std::int16_t slot, std::int16_t& status);
  void cclfd(const Fcb& fcb, std::int16_t& status);

  // ---- writer side ----
  void ccrfx(const NameField& name, std::int16_t key_length, std::uint16_t capacity, std::int16_t& status);
  void ccrfd(const NameField& name, std::uint16_t capacity, std::int16_t& status);
  void caddk(std::int16_t slot, std::span<const std::uint8_t> key, std::uint16_t address, std::uint8_t type,
             std::int16_t& status);
  void cmdky(std::int16_t slot, std::span<const std::uint8_t> key, std::uint16_t address, std::uint8_t type,
             bool& done);
  void cgetr(const Fcb& fcb, std::uint16_t& address, std::uint8_t& flag);
  void cgivr(const Fcb& fcb, std::uint16_t address);
  void csmap(const Fcb& fcb, std::uint16_t address, std::int16_t value);
  void cckrc(const Fcb& fcb, std::uint16_t address, bool& in_use);
  void cwrbk(const Fcb& fcb, std::uint16_t address, std::span<const std::uint8_t, kBlockSize> buffer,
             std::int16_t& status);
  void cwtbk(const Fcb& fcb, std::uint16_t address, std::span<const std::uint8_t, kBlockSize> buffer,
             std::int16_t& status);

  // Gives up every change made since the databases were opened: closes
  // every open file without writing and puts the databases back as they
  // were.  False when that could not be done now (the next open does it).
  bool rollback();

  // The core error code of the latest core operation (a CoreError, 0 to 10).  Never part
  // of an operation's result; offered for diagnostics and tests.
  std::int16_t core_error() const;
  // errno of the latest failed system call on a database file (0: none).
  int system_error() const;

 private:
  // cgivr and csmap: set (value non-zero) or clear a map bit.
  void csmap_as(const Fcb& fcb, std::uint16_t address, std::int16_t value, std::string_view tag);
  // cwrbk and cwtbk: the guarded write with each one's messages.
  void write_block_as(const Fcb& fcb, std::uint16_t address, std::span<const std::uint8_t, kBlockSize> buffer,
                      std::int16_t& status, std::string_view tag, std::string_view no_match, std::string_view failed);

  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace isam
