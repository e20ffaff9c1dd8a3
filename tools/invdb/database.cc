#include "invdb/database.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "invdb/check.h"
#include "invdb/db_files.h"
#include "report_common/stop_signal.h"

namespace invdb {

namespace fs = std::filesystem;

namespace {

// Why a store file that is not there as a regular file cannot be opened.
std::string absent_reason(const fs::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return "not a regular file";
  if (errno == ENOENT) return "no such file";
  if (errno == EACCES) return "permission denied";
  return files::system_reason(errno);
}

// The store's options for the access, the library options given and the
// command's session.
isam::StoreOptions options_for(Database::Access access, const isam::LibraryOptions& library, files::Session* session) {
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
  options.on_wait = library.on_wait;
  if (session && !options.on_wait) options.on_wait = [session] { session->say_waiting(); };
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
                                 {db.journal_file(), isam::journal_name_of(db.given)}}) {
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
  const isam::Status status = isam::Store::create(db.given, capacity, kKeyLength);
  if (status) return true;
  const bool index = status.file() == isam::index_name_of(db.given);
  if (status.system_errno() == ENOENT && index)
    error = db.dir.string() + ": no such directory";
  else if (index)
    error = db.shown_index() + ": cannot create the index file";
  else
    error = db.shown_records() + ": cannot create the record file";
  return false;
}

Database::Database(Access access, isam::LibraryOptions options, files::Session* session)
    : access_(access), options_(options), session_(session), store_options_(options_for(access, options, session)) {}

Database::~Database() = default;  // the store closes a reader and rolls a writer back

std::string Database::last_failure() const {
  using Kind = isam::Status::Kind;
  const int e = last_.system_errno();
  const Kind kind = last_.kind();
  if (e != 0 && e != EWOULDBLOCK && kind != Kind::kNoMemory) return ": " + files::system_reason(e);
  if (kind == Kind::kDamaged) return ": a block of the file is damaged (run invdb check)";
  if (kind == Kind::kNoMemory) return ": out of memory";
  return "";
}

bool Database::open_files(const DbPath& db, std::string& error, bool& marked) {
  marked = false;
  isam::StoreOptions options = store_options_;
  if (session_) options.lock_wait_ms = session_->remaining_ms();
  store_.reset();
  // A stop ends the open's wait for another program at once; after the open
  // the command itself looks for stops at its own safe points.
  auto opening = std::make_shared<bool>(true);
  options.stop = [opening] { return *opening && report::stop::requested() != 0; };
  last_ = isam::Store::open(db.given, options, store_);
  *opening = false;
  if (last_) return true;
  if (last_.kind() == isam::Status::Kind::kInterrupted) {
    error.clear();  // the command says it was interrupted, in one line
    return false;
  }
  marked = last_.kind() == isam::Status::Kind::kMarkedOpen;
  const bool index = last_.file() == isam::index_name_of(db.given);
  error = (index ? db.shown_index() : db.shown_records()) + ": cannot open: " + open_failure(db);
  return false;
}

bool Database::clear_dead_marks(const DbPath& db, std::string& error) {
  CheckReport report;
  {
    files::FileImage index, records;
    if (!files::load_file(db.index_file(), db.shown_index(), index, error, session_) ||
        !files::load_file(db.record_file(), db.shown_records(), records, error, session_)) {
      if (!error.empty()) error += "; nothing was changed";
      return false;
    }
    report = check_database(index, records);
  }
  if (!report.only_open_marks()) {
    // Name what was found besides the marks.
    std::string named;
    std::size_t shown = 0;
    const std::size_t others = report.findings.size() - report.open_marks();
    for (std::size_t i = 0; i < report.findings.size() && shown < 3; ++i)
      if (!report.is_open_mark(i)) named += (shown++ ? "; " : "") + report.findings[i];
    error = db.given + " is marked open and its check finds " + std::to_string(others) + " other problem" +
            (others == 1 ? "" : "s") + " (" + named + (others > shown ? "; ..." : "") + "); run \"invdb check " +
            db.given + "\"; nothing was changed";
    return false;
  }
  Database clearer(Access::kClearMark, options_, session_);
  std::string why;
  if (!clearer.open(db, why) || !clearer.close(why)) {
    error = db.given + " is marked open, and clearing the marks failed: " + why;
    return false;
  }
  std::fprintf(options_.notices,
               "invdb: %s was marked open by a program that stopped without closing it; the "
               "files check clean otherwise, so the marks were cleared\n",
               db.given.c_str());
  std::fflush(options_.notices);
  return true;
}

bool Database::open(const DbPath& db, std::string& error) {
  name_ = db.name;
  db_ = db;
  last_ = isam::Status::ok();
  for (const auto& [p, shown] :
       {std::pair{db.index_file(), db.shown_index()}, {db.record_file(), db.shown_records()}}) {
    std::error_code ec;
    if (!fs::is_regular_file(p, ec)) {
      // No file to change: nothing to say about changes.
      error = shown + ": cannot open: " + absent_reason(p);
      return false;
    }
  }
  // A change needs its journal beside the files.
  if (access_ != Access::kRead && ::access(db.dir.c_str(), W_OK | X_OK) != 0) {
    error = db.given + ": cannot change the database: its directory " + db.dir.string() + " cannot be written (" +
            std::strerror(errno) + "), and a change keeps its journal there; nothing was changed";
    return false;
  }
  bool marked = false;
  if (!open_files(db, error, marked)) {
    if (!marked || access_ != Access::kWrite) return false;
    if (!clear_dead_marks(db, error) || !open_files(db, error, marked)) return false;
  }
  return true;
}

std::string Database::open_failure(const DbPath& db) const {
  if (last_.kind() == isam::Status::Kind::kMarkedOpen)
    return "it is marked open, so a program that used it stopped without closing it or changed it without a "
           "journal; run \"invdb check " +
           db.given + "\" and, if it is clean, \"invdb clear-mark " + db.given + "\"";
  const std::string fate = access_ == Access::kRead ? "" : "; nothing was changed";
  const int e = last_.system_errno();
  if (e == EWOULDBLOCK) return "in use by another program" + fate;
  if (access_ != Access::kRead && (e == EACCES || e == EROFS))
    return std::string(e == EACCES ? "permission denied" : "read-only file system") +
           ": it can be read but not written, and this command changes it" + fate;
  // The store says why: its words after what failed.
  std::string words = last_.words();
  if (const std::size_t colon = words.find(": "); colon != std::string::npos) words = words.substr(colon + 2);
  if (last_.kind() == isam::Status::Kind::kDamaged || e == ENOENT) return words + fate;
  if (e != 0) return files::system_reason(e) + fate;
  return words + fate;
}

std::string Database::close_outcome() const {
  if (access_ == Access::kRead) return "; the items are unchanged";
  std::error_code ec;
  if (fs::exists(db_.journal_file(), ec))
    return "; nothing was changed (its journal " + isam::journal_name_of(db_.given) + " puts it back at the next use)";
  return "; nothing was changed";
}

std::string Database::change_given_up() const {
  // A writer's command gives its whole change up when one step fails.
  return access_ == Access::kRead ? "" : "; nothing was changed";
}

void Database::abandon() {
  if (access_ == Access::kRead || !store_) return;
  store_->rollback();
  store_.reset();
}

bool Database::close(std::string& error) {
  if (access_ != Access::kRead && store_ && report::stop::requested() != 0) {
    // Stopped before the commit: the change is given up whole.
    abandon();
    error = "interrupted: " + db_.given + " is unchanged";
    if (session_) session_->told_stop = true;
    return false;
  }
  if (!store_) return true;
  const bool writer = access_ != Access::kRead;
  const char* what = writer ? "cannot complete the change" : "cannot close (clearing its open mark failed)";
  last_ = store_->commit();
  store_.reset();
  if (last_) {
    if (writer && session_) session_->changed = true;
    return true;
  }
  const bool index = last_.file() == isam::index_name_of(db_.given);
  error = (index ? db_.shown_index() : db_.shown_records()) + ": " + what + last_failure() + close_outcome();
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
  last_ = store_->read(address, block);
  if (last_) return true;
  error = name_ + ": cannot read block " + std::to_string(address) + last_failure() + change_given_up();
  return false;
}

bool Database::write_block(std::uint16_t address, const isam::Block& block, std::string& error) {
  last_ = store_->write(address, block);
  if (last_) return true;
  error = name_ + ": cannot write block " + std::to_string(address) + last_failure() + change_given_up();
  return false;
}

std::uint16_t Database::add_record(const isam::Block& block, std::string& error, std::uint8_t type) {
  std::uint16_t address = 0;
  last_ = store_->add(block, address, type);
  if (last_) return address;
  const std::string key(reinterpret_cast<const char*>(block.data()), kKeyLength);
  if (last_.file() == isam::index_name_of(db_.given)) {
    error = add_key_failure(key);
  } else if (last_.kind() == isam::Status::Kind::kFull) {
    error = name_ + ": no free block left in the record file" + change_given_up();
  } else {
    // The words start with the step: "cannot write block 17", "cannot find a free block".
    const std::string& words = last_.words();
    error = name_ + ": " + words.substr(0, words.find(": ")) + last_failure() + change_given_up();
  }
  return 0;
}

bool Database::add_key(std::string_view key, std::uint16_t address, std::uint8_t type, std::string& error) {
  last_ = store_->add_key(key, address, type);
  if (last_) return true;
  error = add_key_failure(key);
  return false;
}

std::string Database::add_key_failure(std::string_view key) const {
  return name_ + ".XXX: cannot add the key " + files::printable_key(key) +
         (last_.kind() == isam::Status::Kind::kFull ? " (no free node left, or the tree is full)" : last_failure()) +
         change_given_up();
}

bool Database::delete_record(const KeyEntry& entry, std::string& error) {
  last_ = store_->remove(entry.key);
  if (last_) return true;
  error = name_ + ".XXX: cannot delete the key " + files::printable_key(entry.key) + last_failure() + change_given_up();
  return false;
}

bool Database::write_heading(report::control::Heading side, const report::control::HeadingText& text,
                             std::string& error) {
  isam::Block block{};
  const auto existing = find(report::control::heading_key(side));
  if (existing && !read_block(existing->address, block, error)) return false;
  report::control::put_heading(block, side, text);
  return existing ? write_block(existing->address, block, error) : add_record(block, error) != 0;
}

// Free data blocks in the record file's map, read from disk.
long free_record_blocks(const DbPath& db, std::string& error, files::Session* session) {
  files::FileImage records;
  if (!files::load_file(db.record_file(), db.shown_records(), records, error, session)) return -1;
  const std::uint16_t nb = files::read_header(records).map_blocks;
  long free = 0;
  for (std::uint32_t a = files::first_data_address(nb); a < files::map_end(nb); a += 2)
    if (!files::map_bit(records, nb, a)) ++free;
  return free;
}

}  // namespace invdb
