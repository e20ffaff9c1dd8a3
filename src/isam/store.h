// The typed store API of the indexed-file library: the one way a program
// reaches a store.
//
// A store NAME is two files in one directory: the B-tree index NAME.XXX and
// the record file NAME (see file_format.h), plus, while a writer's change is
// under way, the journal NAME.JNL (see journal.h).  A store is opened by any
// path ("demo/STOCK", "/srv/shop/STOCK"); nothing here changes the current
// directory or keeps process-wide state.  Every open store carries its own
// Env, core state and buffers, so two stores can be open in one process and
// each used from its own thread (one store serves one thread at a time).
//
// Access
//   kRead   shares the store with other readers; changes nothing but the
//           open marks (and not even those when the files cannot be opened
//           for writing: then the store is read as it stands, with a notice).
//   kWrite  holds the store alone from open to commit or rollback; every
//           change between them reaches the files all together or not at
//           all.  Destroying a writer that was not committed rolls back.
// Either waits up to `lock_wait_ms` for a program holding the store the
// other way, telling `on_wait` once after the first second, then fails with
// Error::kBusy.  Either rolls back a journal that a writer left behind.
//
// Errors never throw: every call returns a Status, which carries a kind, the
// file it concerns, the errno (0 when no system call failed) and the words
// a message is made of: what failed and why ("cannot open: no such file",
// "cannot write block 17: the disk is full (No space left on device)").
//
// Keys: find, remove and add_key take keys of at most key_length() bytes and
// pad shorter ones with blanks (keys are blank-padded text); a cursor's seek
// pads with zero bytes, so that a prefix seeks to the first key that starts
// with it.  The all-zero key is the index's sentinel (see index.h): it is
// never added, found or shown.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "isam/codes.h"
#include "isam/control_format.h"
#include "isam/env.h"
#include "isam/file_format.h"
#include "isam/store_files.h"

namespace isam {

class Status {
 public:
  enum class Kind {
    kOk,
    kNotFound,    // no such store file, or (find) no such key
    kExists,      // create: a file of the store is already there
    kBusy,        // another program holds the store (after the wait)
    kMarkedOpen,  // a writer found an open mark and no journal
    kReadOnly,    // a writer could not open a file for writing
    kDamaged,     // a header, node, link or block is not what the format allows
    kIo,          // a system call failed (errno says which way)
    kFull,        // no free block or node left, or the tree would be too deep
    kKeyPresent,  // add: the key is already present and live
    kInvalid,     // a call the store cannot take (bad key length, closed store)
    kNoMemory,
    kInterrupted,  // a stop was asked for (see StoreOptions::stop)
  };
  Status() = default;
  static Status ok() { return {}; }
  static Status error(Kind kind, std::string file, int system_errno, std::string words);

  bool is_ok() const { return kind_ == Kind::kOk; }
  explicit operator bool() const { return is_ok(); }
  Kind kind() const { return kind_; }
  const std::string& file() const { return file_; }  // as the caller named it
  int system_errno() const { return errno_; }
  // The reason in words, without the file ("the disk is full").
  const std::string& words() const { return words_; }
  // "FILE: WORDS" (or the words alone when no file is concerned).
  std::string message() const;

 private:
  Kind kind_ = Kind::kOk;
  std::string file_;
  int errno_ = 0;
  std::string words_;
};

struct StoreOptions {
  enum class Access { kRead, kWrite };
  Access access = Access::kRead;
  int lock_wait_ms = 5000;
  // A writer that finds the open marks set with no journal refuses with
  // kMarkedOpen unless this is set (clearing the marks after a clean check).
  bool accept_open_mark = false;
  // Notices: a journal rolled back, a file read read-only, a mark found set.
  std::function<void(std::string_view)> on_notice;
  // Called once when the open has waited a second for another program.
  std::function<void()> on_wait;
  // Polled at safe points of long operations; true ends them with
  // kInterrupted (a writer's change is then rolled back by its owner).
  std::function<bool()> stop;
  // Changed blocks a writer holds before it flushes the journal.
  int write_batch_blocks = 512;
  // The file system seam; when null the store makes its own plain Env.  It
  // must outlive the store.
  Env* env = nullptr;
  // A reader's files are loaded whole into the program's page tables at
  // their first read (cheapest for a walk over every item).  With this set,
  // and the store's own Env, pages are loaded as reads touch them until a
  // cursor steps on past its first leaf, which loads both files whole: a
  // statement that looks up a few keys does not pay for the whole file.
  bool load_files_on_walk = false;
};

// One index entry: the key, the record address it leads to and its type
// byte (format::kDeleted marks a deleted entry, never seen by a cursor).
struct Entry {
  std::string key;  // key_length() bytes
  std::uint16_t address = 0;
  std::uint8_t type = 0;
};

class Store;

// A position in a store's live keys, in ascending byte order.  Several
// cursors may be open on one store; each keeps its own place (a cursor whose
// store moved under it finds its key again).  A cursor must not outlive its
// store.
class Cursor {
 public:
  explicit Cursor(Store& store);
  ~Cursor();
  Cursor(const Cursor&) = delete;
  Cursor& operator=(const Cursor&) = delete;

  // To the first live key not below `key` (shorter keys are padded with
  // zero bytes); first() and last() to either end.
  Status seek(std::string_view key);
  Status first();
  Status last();
  Status next();
  Status previous();
  // False past either end or before the first positioning call.
  bool valid() const { return valid_; }
  const Entry& entry() const { return entry_; }

 private:
  // first() or last().
  Status to_end(bool last);
  // Takes the result of a core search as the cursor's place.
  Status settle(bool found, std::span<const std::uint8_t> key, std::uint16_t address, std::uint8_t type);
  // Brings the store's index back to this cursor's entry when another
  // cursor or call moved it; `found`: whether that entry is still live.
  Status reseek(bool& found, bool& below);
  // next() and previous().
  Status step(bool forwards);
  Status ordered_step(bool forwards);

  Store& store_;
  Entry entry_;
  bool valid_ = false;
  std::uint64_t generation_ = 0;  // the store's position generation last used
};

// The page-header texts of a store, kept in its control records (see
// control_format.h): two sides of six 24-character lines.  Only a store of
// 22-byte keys has them.
enum class HeadingSide { kRight, kLeft };
inline constexpr int kHeadingBytes = control::kHeadingLength;

class Store {
 public:
  // Creates an empty store (both files) whose maps cover `capacity` record
  // blocks and index nodes.  Refuses when either file exists; leaves nothing
  // behind on failure.
  static Status create(std::string_view path, std::uint16_t capacity, int key_length);
  // Opens a store; `store` is null on failure.  Both files are opened (the
  // index first) with their open marks set, or neither.
  static Status open(std::string_view path, const StoreOptions& options, std::unique_ptr<Store>& store);

  // A reader closes (clearing its marks); a writer that was neither
  // committed nor rolled back rolls back.
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  const std::string& path() const;
  std::string index_path() const;    // PATH.XXX
  std::string record_path() const;   // PATH
  std::string journal_path() const;  // PATH.JNL
  bool writable() const;
  // True when a reader opened the files read-only (no open marks set).
  bool read_only() const;
  int key_length() const;

  // The live entry with exactly this key (kNotFound when there is none).
  Status find(std::string_view key, Entry& entry);
  Status read(std::uint16_t address, Block& block);
  // The block at `address` without a copy: `block` shows its 256 bytes
  // straight out of the record file's mapping where the store's own Env
  // has the file mapped and the block's pages are there (no copy, no hint),
  // and otherwise out of a buffer of the store's own, read as `read` reads
  // (a writer's blocks, a test Env, an unmapped file).  The checks and the
  // errors are `read`'s; on failure `block` is empty.
  // Lifetime: the bytes stay valid until the next view() on this store and
  // never past its commit, rollback or destruction; read, find, the cursors
  // and the writer's calls leave them as they are, except that a write of
  // the same block is not seen through an older view.
  Status view(std::uint16_t address, std::span<const std::uint8_t>& block);

  // ---- writer side ----
  Status write(std::uint16_t address, const Block& block);
  // Stores a block under the key in its first key_length() bytes: allocates
  // a block, writes it and adds the key with `type`.  The block is given
  // back if the key cannot be added.
  Status add(const Block& block, std::uint16_t& address, std::uint8_t type = 0);
  // Adds a key for an address as it is (the record file is not touched).
  Status add_key(std::string_view key, std::uint16_t address, std::uint8_t type);
  // Marks the key deleted and gives its block back.
  Status remove(std::string_view key);
  // Record blocks (anywhere in the map, as add finds them) and index nodes
  // (from the node map's held block on, as a split takes them) the maps
  // could still hand out; counting stops at `enough`.
  Status free_counts(std::uint32_t& blocks, std::uint32_t& nodes, std::uint32_t enough = 0xFFFFFFFF);

  // The heading text of one side (all blanks when its record is missing),
  // and its replacement (the record rewritten in place when it exists).
  Status heading(HeadingSide side, std::span<char, kHeadingBytes> text);
  Status write_heading(HeadingSide side, std::span<const char, kHeadingBytes> text);

  // Ends a writer's change: commit makes it durable (both files synced,
  // then the journal removed, the commit point); rollback puts both files
  // back as they were.  Either way the store is closed afterwards.  For a
  // reader, commit() is a plain close.
  Status commit();
  Status rollback();

  struct Impl;
  Impl& impl() { return *impl_; }

 private:
  explicit Store(std::unique_ptr<Impl> impl);
  friend class Cursor;
  std::unique_ptr<Impl> impl_;
};

}  // namespace isam
