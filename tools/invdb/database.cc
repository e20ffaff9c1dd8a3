#include "invdb/database.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "invdb/check.h"
#include "invdb/db_files.h"
#include "invdb/open_reason.h"
#include "report_common/stop_signal.h"

namespace invdb {

namespace fs = std::filesystem;

namespace {

constexpr std::int16_t kSlot = 1;

using files::InDirectory;

isam::LibraryOptions options_for(Database::Access access, isam::LibraryOptions options) {
  options.role =
      access == Database::Access::kRead ? isam::LibraryOptions::Role::kReader : isam::LibraryOptions::Role::kWriter;
  options.accept_open_mark = access == Database::Access::kClearMark;
  return options;
}

// The report program keeps the codes 44 (",") to 122 ("z") of a database
// name and reads any other character as the end of the name.  A point would
// end the file name's name part, and "/" separates directories.
bool report_keeps(char c) { return c >= ',' && c <= 'z' && c != '.' && c != '/'; }

std::span<const std::uint8_t> key_span(std::string_view key) {
  return {reinterpret_cast<const std::uint8_t*>(key.data()), key.size()};
}

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
                                 {db.dir / (db.name + ".JNL"), db.given + ".JNL"}}) {
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
  InDirectory here(db.dir);
  if (!here.ok()) {
    error = db.dir.string() + ": no such directory";
    return false;
  }
  isam::Library lib;
  std::int16_t status = 1;
  lib.ccrfx(isam::make_name_field(db.name, "XXX"), kKeyLength, capacity, status);
  if (status != 0) {
    error = db.shown_index() + ": cannot create the index file";
    return false;
  }
  lib.ccrfd(isam::make_name_field(db.name, ""), capacity, status);
  if (status != 0) {
    std::error_code ec;
    fs::remove(db.index_file(), ec);
    error = db.shown_records() + ": cannot create the record file";
    return false;
  }
  return true;
}

Database::Database(Access access, isam::LibraryOptions options, files::Session* session)
    : access_(access), options_(options), session_(session), lib_([&] {
        if (session && !options.on_wait) options.on_wait = [session] { session->say_waiting(); };
        return options_for(access, options);
      }()) {
  lib_.set_error_hook([this](std::string_view tag, std::string_view message) {
    hook_tag_ = tag;
    hook_message_ = message;
  });
}

Database::~Database() {
  std::string ignored;
  if (access_ == Access::kRead || (!index_open_ && !records_open_)) {
    close(ignored);
  } else {
    lib_.rollback();
  }
}

std::string Database::last_failure() const {
  const std::int16_t code = lib_.core_error();
  if (lib_.system_error() != 0 &&
      (code == isam::kIoFailed || code == isam::kHeaderRead || code == isam::kHeaderWrite || code == isam::kOpenFailed))
    return ": " + files::system_reason(lib_.system_error());
  if (code == isam::kIoFailed || code == isam::kHeaderRead) return ": a block of the file is damaged (run invdb check)";
  if (code == isam::kNoMemory) return ": out of memory";
  return "";
}

bool Database::open_files(const DbPath& db, std::string& error, bool& marked) {
  marked = false;
  // The library opens by bare name in the working directory: without the
  // database's own directory it would open (and mark) a namesake there.
  InDirectory here(db.dir);
  if (!here.ok()) {
    error = db.shown_index() + ": cannot open: " + files::system_reason(here.error());
    return false;
  }
  std::int16_t status = 1;
  hook_tag_.clear();
  if (session_) lib_.set_lock_wait(session_->remaining_ms());
  lib_.copfx(kSlot, isam::make_name_field(db.name, "XXX"), status);
  if (status != 0) {
    marked = lib_.core_error() == isam::kWasOpen;
    error = db.shown_index() + ": cannot open: " + open_failure(db, DbFile::kIndex);
    return false;
  }
  index_open_ = true;
  if (session_) lib_.set_lock_wait(session_->remaining_ms());
  lib_.copfd(isam::make_name_field(db.name, ""), fcb_, status);
  if (status != 0) {
    marked = lib_.core_error() == isam::kWasOpen;
    error = db.shown_records() + ": cannot open: " + open_failure(db, DbFile::kRecords);
    // The index's open changed nothing that stays: its mark is rolled back.
    if (access_ != Access::kRead) {
      lib_.rollback();
    } else {
      lib_.cclfx(kSlot, status);
    }
    index_open_ = false;
    return false;
  }
  records_open_ = true;
  return true;
}

bool Database::clear_dead_marks(const DbPath& db, std::string& error) {
  CheckReport report;
  {
    files::FileImage index, records;
    if (!files::load_file(db.index_file(), db.shown_index(), index, error, session_) ||
        !files::load_file(db.record_file(), db.shown_records(), records, error, session_)) {
      error += "; nothing was changed";
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
  for (const auto& [p, shown] :
       {std::pair{db.index_file(), db.shown_index()}, {db.record_file(), db.shown_records()}}) {
    std::error_code ec;
    if (!fs::is_regular_file(p, ec)) {
      // No file to change: nothing to say about changes.
      error =
          shown + ": cannot open: " + open_failure(db, p == db.index_file() ? DbFile::kIndex : DbFile::kRecords, false);
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
  // The record file's header gives the first data address, below which the
  // library must never hand out a block.
  isam::Block header{};
  std::int16_t status = 1;
  lib_.crdbk(fcb_, isam::format::kHeaderAddress, header, status);
  first_data_address_ = isam::format::HeaderView(header).data_start();
  return true;
}

std::string Database::open_failure(const DbPath& db, DbFile kind, bool say_unchanged) const {
  if (lib_.core_error() == isam::kWasOpen)
    return "it is marked open, so a program that used it stopped without closing it or changed it without a "
           "journal; run \"invdb check " +
           db.given + "\" and, if it is clean, \"invdb clear-mark " + db.given + "\"";
  const std::string fate = access_ == Access::kRead || !say_unchanged ? "" : "; nothing was changed";
  if (lib_.system_error() == EWOULDBLOCK) return "in use by another program" + fate;
  if (access_ != Access::kRead && (lib_.system_error() == EACCES || lib_.system_error() == EROFS))
    return std::string(lib_.system_error() == EACCES ? "permission denied" : "read-only file system") +
           ": it can be read but not written, and this command changes it" + fate;
  // The library only says that the open failed: look at the file itself.
  const std::string reason =
      open_failure_reason(kind == DbFile::kIndex ? db.index_file() : db.record_file(), kind, access_ != Access::kRead);
  if (!reason.empty()) return reason + fate;
  if (lib_.system_error() != 0) return files::system_reason(lib_.system_error()) + fate;
  return "the file could not be read as a database file" + fate;
}

std::string Database::close_outcome() const {
  if (access_ == Access::kRead) return "; the items are unchanged";
  std::error_code ec;
  if (fs::exists(db_.dir / (db_.name + ".JNL"), ec))
    return "; nothing was changed (its journal " + db_.given + ".JNL puts it back at the next use)";
  return "; nothing was changed";
}

std::string Database::change_given_up() const {
  // A writer's command gives its whole change up when one step fails.
  return access_ == Access::kRead ? "" : "; nothing was changed";
}

void Database::abandon() {
  if (access_ == Access::kRead) return;
  lib_.rollback();
  index_open_ = records_open_ = false;
}

bool Database::close(std::string& error) {
  if (access_ != Access::kRead && (index_open_ || records_open_) && report::stop::requested() != 0) {
    // Stopped before the commit: the change is given up whole.
    abandon();
    error = "interrupted: " + db_.given + " is unchanged";
    if (session_) session_->told_stop = true;
    return false;
  }
  bool ok = true;
  std::int16_t status = 0;
  const bool writer = access_ != Access::kRead;
  const char* what = writer ? "cannot complete the change" : "cannot close (clearing its open mark failed)";
  if (index_open_) {
    index_open_ = false;
    lib_.cclfx(kSlot, status);
    if (status != 0) {
      error = db_.shown_index() + ": " + what + last_failure();
      ok = false;
    }
  }
  if (records_open_) {
    records_open_ = false;
    status = 0;
    lib_.cclfd(fcb_, status);
    if (status != 0 && ok) {
      error = db_.shown_records() + ": " + what + last_failure();
      ok = false;
    }
    if (writer && ok && session_) session_->changed = true;
  }
  if (!ok) error += close_outcome();
  return ok;
}

std::optional<KeyEntry> Database::find(std::string_view key) {
  std::array<std::uint8_t, kKeyLength> area;
  area.fill(' ');
  std::copy_n(key.begin(), std::min<std::size_t>(key.size(), area.size()), area.begin());
  KeyEntry entry;
  bool found = false;
  lib_.cfind(kSlot, isam::kFindExact, area, entry.address, entry.type, found);
  if (!found) return std::nullopt;
  entry.key.assign(reinterpret_cast<const char*>(area.data()), area.size());
  return entry;
}

bool Database::walk_from(std::string_view start, const std::function<bool(const KeyEntry&)>& visit) {
  std::string area(start);
  area.resize(kKeyLength, '\0');
  const std::string first = area;
  auto key = std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(area.data()), area.size());
  KeyEntry entry;
  bool found = false;
  // Mode 2 stands on the greatest live key not above the start, mode 3 then
  // steps on; the start key itself is only taken when it is present.
  // A search that finds nothing has reached the end of the keys when the
  // core reports no error, and met damage when it does.
  lib_.cfind(kSlot, isam::kFindPosition, key, entry.address, entry.type, found);
  if (!found) return lib_.core_error() == isam::kNoError;
  if (area == first) {
    entry.key = area;
    if (!visit(entry)) return true;
  }
  for (;;) {
    lib_.cfind(kSlot, isam::kFindNext, key, entry.address, entry.type, found);
    if (!found) return lib_.core_error() == isam::kNoError;
    entry.key = area;
    if (!visit(entry)) return true;
  }
}

bool Database::read_block(std::uint16_t address, isam::Block& block, std::string& error) {
  std::int16_t status = 1;
  lib_.crdbk(fcb_, address, block, status);
  if (status == 0) return true;
  error = name_ + ": cannot read block " + std::to_string(address) + last_failure() + change_given_up();
  return false;
}

bool Database::write_block(std::uint16_t address, const isam::Block& block, std::string& error) {
  std::int16_t status = 1;
  lib_.cwrbk(fcb_, address, block, status);
  if (status == 0) return true;
  error = name_ + ": cannot write block " + std::to_string(address) + last_failure() + change_given_up();
  return false;
}

std::uint16_t Database::add_record(const isam::Block& block, std::string& error, std::uint8_t type) {
  std::uint16_t address = 0;
  std::uint8_t flag = 1;
  lib_.cgetr(fcb_, address, flag);
  if (address == 0) {
    // The allocator only scans forward from the map block it holds; testing
    // the first data block's bit moves it back to the first map block, where
    // blocks given back earlier may be free.
    bool in_use = false;
    lib_.cckrc(fcb_, first_data_address_, in_use);
    lib_.cgetr(fcb_, address, flag);
  }
  if (address == 0) {
    error = name_ + ": no free block left in the record file" + change_given_up();
    return 0;
  }
  if (!write_block(address, block, error) ||
      !add_key({reinterpret_cast<const char*>(block.data()), kKeyLength}, address, type, error)) {
    lib_.cgivr(fcb_, address);
    return 0;
  }
  return address;
}

bool Database::add_key(std::string_view key, std::uint16_t address, std::uint8_t type, std::string& error) {
  std::int16_t status = 1;
  lib_.caddk(kSlot, key_span(key), address, type, status);
  if (status == 0) return true;
  const std::int16_t code = lib_.core_error();
  error = name_ + ".XXX: cannot add the key " + files::printable_key(key) +
          (code == isam::kNoFreeNode || code == isam::kTooDeep ? " (no free node left, or the tree is full)"
                                                               : last_failure()) +
          change_given_up();
  return false;
}

bool Database::delete_record(const KeyEntry& entry, std::string& error) {
  bool done = false;
  lib_.cmdky(kSlot, key_span(entry.key), 0, kDeletedType, done);
  if (!done) {
    error =
        name_ + ".XXX: cannot delete the key " + files::printable_key(entry.key) + last_failure() + change_given_up();
    return false;
  }
  lib_.cgivr(fcb_, entry.address);
  return true;
}

bool Database::write_heading(report::control::Heading side, const report::control::HeadingText& text,
                             std::string& error) {
  isam::Block block{};
  const auto existing = find(report::control::heading_key(side));
  if (existing && !read_block(existing->address, block, error)) return false;
  report::control::put_heading(block, side, text);
  return existing ? write_block(existing->address, block, error) : add_record(block, error) != 0;
}

}  // namespace invdb
