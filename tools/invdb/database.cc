#include "invdb/database.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "invdb/db_files.h"

namespace invdb {

namespace fs = std::filesystem;

namespace {

// The store's options for the access and the library options given.
isam::StoreOptions options_for(Database::Access access, const isam::LibraryOptions& library) {
  isam::StoreOptions options;
  options.access =
      access == Database::Access::kRead ? isam::StoreOptions::Access::kRead : isam::StoreOptions::Access::kWrite;
  options.accept_open_mark = access == Database::Access::kClearMark;
  options.lock_wait_ms = library.lock_wait_ms;
  options.write_batch_blocks = library.write_batch_blocks;
  options.env = library.env;
  std::FILE* notices = library.notices;
  options.on_notice = [notices](std::string_view line) {
    std::fprintf(notices, "%.*s\n", static_cast<int>(line.size()), line.data());
    std::fflush(notices);
  };
  return options;
}

// The report program keeps the codes 44 (",") to 122 ("z") of a database
// name and reads any other character as the end of the name.  A point would
// end the file name's name part, and "/" separates directories.
bool report_keeps(char c) { return c >= ',' && c <= 'z' && c != '.' && c != '/'; }

}  // namespace

std::optional<DbPath> parse_db_path(std::string_view arg, std::string& error) {
  const fs::path path(arg);
  DbPath db;
  db.given = std::string(arg);
  db.name = path.filename().string();
  if (db.name.empty() || db.name.size() > 8 || !std::all_of(db.name.begin(), db.name.end(), report_keeps)) {
    error = "database name \"" + db.name +
            "\" must be 1 to 8 characters that the report program keeps in a name: letters, digits and "
            ", - : ; < = > ? @ [ \\ ] ^ _ `";
    return std::nullopt;
  }
  std::error_code ec;
  db.dir = fs::absolute(path.has_parent_path() ? path.parent_path() : fs::path("."), ec).lexically_normal();
  if (ec) {
    error = std::string(arg) + ": " + ec.message();
    return std::nullopt;
  }
  return db;
}

bool refuse_own_file(const DbPath& db, const fs::path& output, std::string& error) {
  struct stat out {};
  if (::stat(output.c_str(), &out) != 0) return true;  // not there yet: a new file
  // The journal counts too: a journal left by a failed writer is what puts
  // the database back.
  for (const auto& [p, shown] : {std::pair{db.index_file(), db.shown_index()},
                                 {db.record_file(), db.shown_records()},
                                 {db.dir / isam::journal_name_of(db.name), isam::journal_name_of(db.given)}}) {
    struct stat own {};
    if (::stat(p.c_str(), &own) == 0 && own.st_dev == out.st_dev && own.st_ino == out.st_ino) {
      error = output.string() + " is the database file " + shown + "; refusing to write over it";
      return false;
    }
  }
  return true;
}

bool create_database(const DbPath& db, std::uint16_t capacity, std::string& error) {
  for (const auto& [p, shown] :
       {std::pair{db.index_file(), db.shown_index()}, {db.record_file(), db.shown_records()}}) {
    std::error_code ec;
    if (fs::exists(fs::symlink_status(p, ec))) {
      error = shown + " already exists; nothing was created";
      return false;
    }
  }
  const isam::Status status = isam::Store::create(db.store_path(), capacity, kKeyLength);
  if (status) return true;
  const bool index = status.file() == isam::index_name_of(db.store_path());
  if (status.system_errno() == ENOENT && index)
    error = db.dir.string() + ": no such directory";
  else if (index)
    error = db.shown_index() + ": cannot create the index file";
  else
    error = db.shown_records() + ": cannot create the record file";
  return false;
}

Database::Database(Access access, isam::LibraryOptions options)
    : access_(access), options_(options_for(access, options)) {}

Database::~Database() = default;  // the store closes a reader, rolls a writer back

std::string Database::message(const isam::Status& status) const {
  std::string text = status.message();  // the files named as the command line did
  if (status.kind() == isam::Status::Kind::kMarkedOpen)
    text += "; run \"invdb check " + db_.given + "\" and, if it is clean, \"invdb clear-mark " + db_.given + "\"";
  return text;
}

bool Database::open(const DbPath& db, std::string& error) {
  db_ = db;
  store_.reset();
  const isam::Status status = isam::Store::open(db.store_path(), options_, store_);
  if (status) return true;
  error = message(status);
  return false;
}

bool Database::close(std::string& error) {
  if (!store_) return true;
  const isam::Status status = store_->commit();
  store_.reset();
  if (status) return true;
  error = message(status);
  return false;
}

std::optional<KeyEntry> Database::find(std::string_view key) {
  isam::Entry entry;
  if (!store_ || !store_->find(key.substr(0, std::min<std::size_t>(key.size(), kKeyLength)), entry))
    return std::nullopt;
  return KeyEntry{entry.key, entry.address, entry.type};
}

bool Database::walk_from(std::string_view start, const std::function<bool(const KeyEntry&)>& visit) {
  if (!store_) return false;
  isam::Cursor cursor(*store_);
  isam::Status status = cursor.seek(start.substr(0, std::min<std::size_t>(start.size(), kKeyLength)));
  for (; status && cursor.valid(); status = cursor.next()) {
    const isam::Entry& e = cursor.entry();
    if (!visit({e.key, e.address, e.type})) return true;
  }
  return status.is_ok();
}

bool Database::read_block(std::uint16_t address, isam::Block& block, std::string& error) {
  const isam::Status status = store_->read(address, block);
  if (!status) error = message(status);
  return status.is_ok();
}

bool Database::write_block(std::uint16_t address, const isam::Block& block, std::string& error) {
  const isam::Status status = store_->write(address, block);
  if (!status) error = message(status);
  return status.is_ok();
}

std::uint16_t Database::add_record(const isam::Block& block, std::string& error, std::uint8_t type) {
  std::uint16_t address = 0;
  const isam::Status status = store_->add(block, address, type);
  if (status) return address;
  if (status.kind() == isam::Status::Kind::kFull && status.file() == db_.store_path())
    error = db_.shown_records() + ": no free block left in the record file";
  else
    error = add_key_failure(status, {reinterpret_cast<const char*>(block.data()), kKeyLength});
  return 0;
}

bool Database::add_key(std::string_view key, std::uint16_t address, std::uint8_t type, std::string& error) {
  const isam::Status status = store_->add_key(key, address, type);
  if (!status) error = add_key_failure(status, key);
  return status.is_ok();
}

std::string Database::add_key_failure(const isam::Status& status, std::string_view key) const {
  if (status.file() != isam::index_name_of(db_.store_path())) return message(status);
  std::string words = status.words();
  if (const std::size_t colon = words.find(": "); colon != std::string::npos) words = words.substr(colon + 2);
  if (status.kind() == isam::Status::Kind::kFull) words = "no free node left, or the tree is full";
  return db_.shown_index() + ": cannot add the key " + files::printable_key(key) + " (" + words + ")";
}

bool Database::delete_record(const KeyEntry& entry, std::string& error) {
  const isam::Status status = store_->remove(entry.key);
  if (status) return true;
  error = db_.shown_index() + ": cannot delete the key " + files::printable_key(entry.key) + ": " + status.words();
  return false;
}

bool Database::write_heading(report::control::Heading side, const report::control::HeadingText& text,
                             std::string& error) {
  const isam::Status status = store_->write_heading(
      side == report::control::Heading::kRight ? isam::HeadingSide::kRight : isam::HeadingSide::kLeft, text);
  if (!status) error = message(status);
  return status.is_ok();
}

}  // namespace invdb
