// A database opened through the library's store API (isam/store.h), with
// the writer's side wrapped in calls that return readable errors.
//
// A database NAME is the index file NAME.XXX and the record file NAME.  A
// name given with a directory ("demo/STOCK") is opened there by its path.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "invdb/db_files.h"
#include "isam/call_interface.h"
#include "isam/store.h"
#include "report_common/control_records.h"

namespace invdb {

inline constexpr int kKeyLength = report::kKeyLength;
inline constexpr std::uint8_t kDeletedType = isam::format::kDeleted;

struct DbPath {
  std::filesystem::path dir;  // absolute
  std::string name;           // 1 to 8 characters
  std::string given;          // as the command line wrote it, for messages
  std::filesystem::path store() const { return dir / name; }
  std::filesystem::path index_file() const { return isam::index_name_of(store().string()); }
  std::filesystem::path record_file() const { return store(); }
  std::filesystem::path journal_file() const { return isam::journal_name_of(store().string()); }
  std::string shown_index() const { return isam::index_name_of(given); }
  std::string shown_records() const { return given; }
};

// Splits NAME or DIR/NAME; fails on an empty name, one longer than 8
// characters, or one holding a blank or a point.
std::optional<DbPath> parse_db_path(std::string_view arg, std::string& error);

// Refuses an output file that is one of the database's own files (the same
// device and inode: links and other spellings of the name are caught too).
bool refuse_own_file(const DbPath& db, const std::filesystem::path& output, std::string& error);

// Creates both files with the given capacity (blocks and nodes the maps
// cover).  Refuses when either file exists; leaves nothing behind on failure.
bool create_database(const DbPath& db, std::uint16_t capacity, std::string& error);

struct KeyEntry {
  std::string key;  // kKeyLength bytes
  std::uint16_t address = 0;
  std::uint8_t type = 0;
};

// The library's options for a command that writes many blocks (an import, a
// sample store): up to 1 MiB of changed blocks wait before they are written,
// eight times the default, so that the files grow in long runs, which later
// readers walk faster (bench/README.md).  The change is still one
// journalled whole.
inline isam::LibraryOptions bulk_load_options() { return {.write_batch_blocks = 4096}; }

// Free data blocks in the record file's map, read from disk (-1 when the
// file cannot be read; `error` says why).
long free_record_blocks(const DbPath& db, std::string& error, files::Session* session);

class Database {
 public:
  // A command that only reads shares the database with other readers; one
  // that changes it holds it alone, and its changes are all-or-nothing.
  // kClearMark changes it too, and accepts files marked open.
  enum class Access { kRead, kWrite, kClearMark };
  // `options` adjusts the library (tests pass a file system seam); its role
  // follows `access`.  `session`, when given, is the command's one wait for
  // another program using the database (and the line saying so).
  explicit Database(Access access = Access::kWrite, isam::LibraryOptions options = {},
                    files::Session* session = nullptr);
  // A reader closes both files.  A writer that was not closed gives up every
  // change it made (the command failed part way).
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Opens both files.  A writer that finds them marked open, with no journal
  // and no other program using them, checks them: when the marks are all
  // the check finds (a reader stopped without closing), it clears them with
  // one notice on the library's notices and goes on; otherwise it refuses,
  // naming the findings.
  bool open(const DbPath& db, std::string& error);
  // Closes both files; a writer's close commits its change.  A writer asked
  // to stop by a signal (report/stop_signal.h) before its commit rolls back
  // instead and fails with "interrupted: NAME is unchanged".  Failures say
  // the file, what failed and why, and whether the database was changed.
  bool close(std::string& error);
  // A writer gives up every change made since the open (both files closed).
  void abandon();

  // The live entry with exactly this key.
  std::optional<KeyEntry> find(std::string_view key);
  // Calls `visit` for each live key from the first one not below `start`, in
  // ascending order, while it returns true.  False when the walk ended
  // because the index could not be read on (a node unreadable, a level chain
  // that loops, a file cut short): the keys after the last one visited were
  // not seen.
  bool walk_from(std::string_view start, const std::function<bool(const KeyEntry&)>& visit);

  bool read_block(std::uint16_t address, isam::Block& block, std::string& error);
  bool write_block(std::uint16_t address, const isam::Block& block, std::string& error);
  // Stores a block under a new key (its first 22 bytes): allocates it,
  // writes it and adds the key with the type byte.  The block is given back
  // if the key cannot be added.  Returns the block's address, 0 on failure.
  std::uint16_t add_record(const isam::Block& block, std::string& error, std::uint8_t type = 0);
  // Adds a key for a block address as it is, without touching the record file.
  bool add_key(std::string_view key, std::uint16_t address, std::uint8_t type, std::string& error);
  // Marks the key deleted and gives its block back.
  bool delete_record(const KeyEntry& entry, std::string& error);
  // Writes a page-header text into its control record, rewriting the record
  // in place when it exists.
  bool write_heading(report::control::Heading side, const report::control::HeadingText& text, std::string& error);

 private:
  // Why the latest call failed, in words: ": " and the reason, or nothing.
  std::string last_failure() const;
  // Why opening one of the files failed, in words (and, for a writer, that
  // nothing was changed).
  std::string open_failure(const DbPath& db) const;
  // Both files through the library; `marked` when one was refused for its
  // open mark (and nothing is left open then).
  bool open_files(const DbPath& db, std::string& error, bool& marked);
  // The check of a writer that found the marks set (see open).
  bool clear_dead_marks(const DbPath& db, std::string& error);
  // What became of the database after a failed close, for its message.
  std::string close_outcome() const;
  // "; nothing was changed" after a failed step of a writer.
  std::string change_given_up() const;
  // A key that could not be added, as a message.
  std::string add_key_failure(std::string_view key) const;

  Access access_;
  isam::LibraryOptions options_;
  files::Session* session_ = nullptr;
  DbPath db_;
  isam::StoreOptions store_options_;
  std::unique_ptr<isam::Store> store_;
  isam::Status last_;  // the latest failure
  std::string name_;
};

}  // namespace invdb
