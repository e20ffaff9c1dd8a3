// A database opened through the library's store API (isam/store.h), with
// every failure turned into a message that names the file as the command
// line wrote it.
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
  std::filesystem::path index_file() const { return dir / (name + ".XXX"); }
  std::filesystem::path record_file() const { return dir / name; }
  std::string shown_index() const { return given + ".XXX"; }
  std::string shown_records() const { return given; }
  // The store's path for the library: as given, so that the library's
  // messages name the files as the command line did.
  const std::string& store_path() const { return given; }
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

class Database {
 public:
  // A command that only reads shares the database with other readers; one
  // that changes it holds it alone, and its changes are all-or-nothing.
  // kClearMark changes it too, and accepts files marked open.
  enum class Access { kRead, kWrite, kClearMark };
  // `options` adjusts the library (tests pass a file system seam, notices
  // go to its stream); its role follows `access`.
  explicit Database(Access access = Access::kWrite, isam::LibraryOptions options = {});
  // A reader closes both files.  A writer that was not closed gives up every
  // change it made (the command failed part way).
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  bool open(const DbPath& db, std::string& error);
  bool close(std::string& error);

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
  // A failure as a message: the file as the command line named it, then
  // the status's words.
  std::string message(const isam::Status& status) const;
  // A key that could not be added: what was found against it.
  std::string add_key_failure(const isam::Status& status, std::string_view key) const;

  Access access_;
  isam::StoreOptions options_;
  std::unique_ptr<isam::Store> store_;
  DbPath db_;
};

}  // namespace invdb
