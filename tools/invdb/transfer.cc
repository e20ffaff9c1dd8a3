// import and export: items to and from comma-separated text.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "invdb/commands.h"
#include "invdb/csv.h"
#include "invdb/database.h"
#include "invdb/db_files.h"
#include "invdb/headings.h"
#include "invdb/import_check.h"
#include "invdb/item_csv.h"
#include "report_common/latin1.h"
#include "report_common/stop_signal.h"

namespace invdb {

namespace {

// The whole file, or standard input for "-".
bool read_text_file(const std::filesystem::path& path, std::string& text, std::string& error) {
  const bool standard_input = path == "-";
  const int fd = standard_input ? 0 : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = path.string() + ": cannot open: " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  std::size_t size = 0;
  text.resize(::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? static_cast<std::size_t>(st.st_size) + 1 : 65536);
  for (;;) {
    if (size == text.size()) text.resize(2 * size);
    const ssize_t n = ::read(fd, text.data() + size, text.size() - size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error =
          (standard_input ? std::string("standard input") : path.string()) + ": cannot read: " + std::strerror(errno);
      if (!standard_input) ::close(fd);
      return false;
    }
    if (n == 0) break;
    size += static_cast<std::size_t>(n);
  }
  if (!standard_input) ::close(fd);
  text.resize(size);
  return true;
}

bool write_all(std::FILE* f, const std::string& text) {
  return std::fwrite(text.data(), 1, text.size(), f) == text.size();
}

// An export's file, written whole or not at all: the text goes to a new file
// beside the target ("x.csv.tmpXXXXXX", in the same directory, so that the
// rename cannot cross file systems), which is flushed to the disk and then
// renamed over the target.  Until then the old file, if any, stays as it was;
// a failed or abandoned export removes its temporary file.  A target that is
// not a regular file (a terminal, a pipe, /dev/null) is written in place.  A
// new file gets the permissions the umask gives, a replaced one keeps its
// own; a symbolic link is followed and the file it names replaced.
class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() {
    if (file_ != nullptr) std::fclose(file_);
    if (!temp_.empty()) ::unlink(temp_.c_str());
  }

  bool open(const std::string& shown, std::string& error) {
    namespace fs = std::filesystem;
    shown_ = shown;
    fs::path target(shown);
    std::error_code ec;
    if (fs::is_symlink(target, ec)) target = fs::weakly_canonical(target, ec);
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
      file_ = std::fopen(target.c_str(), "wb");
      if (file_ == nullptr) error = shown + ": cannot open: " + std::strerror(errno);
      return file_ != nullptr;
    }
    mode_t mode = 0;
    if (exists) {
      mode = st.st_mode & 07777;
    } else {
      mode = ::umask(0);
      ::umask(mode);
      mode = 0666 & ~mode;
    }
    target_ = target.string();
    std::string temp = target_ + ".tmpXXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
      error = shown + ": cannot create a new file beside it (" + temp + "): " + std::strerror(errno);
      return false;
    }
    temp_ = temp;
    file_ = ::fchmod(fd, mode) == 0 ? ::fdopen(fd, "wb") : nullptr;
    if (file_ == nullptr) {
      error = shown + ": cannot create: " + std::strerror(errno);
      ::close(fd);
      return false;
    }
    return true;
  }

  std::FILE* get() const { return file_; }
  // Whether the target is replaced whole (not written in place).
  bool replaces() const { return !temp_.empty(); }

  // Puts the whole text in place of the target.
  bool commit(std::string& error) {
    const auto failed = [&](const char* what) {
      error = shown_ + ": " + what + ": " + std::strerror(errno);
      return false;
    };
    if (std::fflush(file_) != 0) return failed("cannot write");
    if (!temp_.empty() && ::fsync(::fileno(file_)) != 0) return failed("cannot write to the disk");
    const int closed = std::fclose(file_);
    file_ = nullptr;
    if (closed != 0) return failed("write failed");
    if (temp_.empty()) return true;
    if (::rename(temp_.c_str(), target_.c_str()) != 0) return failed("cannot put the new file in place");
    temp_.clear();
    // The rename itself reaches the disk with the directory.
    const std::string dir = std::filesystem::path(target_).parent_path().string();
    const int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
      ::fsync(dfd);
      ::close(dfd);
    }
    return true;
  }

 private:
  std::string shown_, target_, temp_;  // temp_: empty once renamed, or when written in place
  std::FILE* file_ = nullptr;
};

// The notes of an export on the rows that only a restore takes back: the
// first kShown of them, then (at the end) how many more there were.
class RestoreNotes {
 public:
  static constexpr long kShown = 10;
  RestoreNotes(const Io& io, bool verbose) : io_(io), verbose_(verbose) {}
  void note(const std::string& what) {
    if (verbose_ || count_ < kShown) io_.fail(what + "; only import --restore takes it back");
    ++count_;
  }
  void finish() const {
    if (!verbose_ && count_ > kShown)
      io_.fail("and " + std::to_string(count_ - kShown) + " more that only import --restore takes back (" +
               std::to_string(count_) + " in all; --verbose names every one)");
  }

 private:
  const Io& io_;
  bool verbose_;
  long count_ = 0;
};

// "both page headings", "the left page heading", or "" for none.
std::string headings_phrase(bool right, bool left) {
  if (right && left) return "both page headings";
  if (right || left) return std::string("the ") + (right ? "right" : "left") + " page heading";
  return "";
}

}  // namespace

int cmd_import(const Args& args, const Io& io) {
  constexpr std::string_view kUsage =
      "import NAME FILE.csv [--restore] [--dry-run [--json]] [--decimal-money] [--ignore-unknown]";
  ImportFlags flags;
  std::string bad;
  if (args.size() < 2 || !parse_import_flags(args, flags, bad) || (flags.json && !flags.dry_run))
    return io.usage(kUsage);
  std::string error, text;
  const auto path = parse_db_path(args[0], error);
  if (!path) return io.fail(error);
  const std::filesystem::path csv_path(args[1]);
  if (!read_text_file(csv_path, text, error)) return io.fail(error);
  ImportCheck check;
  if (!check_import_text(text, flags, check)) {
    print_problems(check, csv_path.string(), io);
    if (flags.dry_run && flags.json) print_problems_json(check, io);
    return 1;
  }
  for (const std::string& note : check.notes) io.fail(csv_path.string() + ": " + note);
  const std::vector<ItemRow>& rows = check.rows;
  const FileHeadings& file_headings = check.headings;
  if (flags.dry_run) return import_dry_run(*path, csv_path.string(), check, flags, io);
  // Counted from the files before the command holds the database: the
  // count needs the shared lock that the command's own would exclude.
  std::string count_error;
  const long free = free_record_blocks(*path, count_error, io.session);
  Database db(Database::Access::kWrite, bulk_load_options(), io.session);
  if (!db.open(*path, error)) return io.fail(error);
  if (free < 0) return io.fail(count_error);
  // The new keys must all find a block before the first one is written.
  // No row adds the key of another (the keys are distinct), so what the
  // search finds now is what each row meets when its turn comes.
  std::vector<std::int32_t> existing(rows.size(), -1);  // -1: a new item
  long new_items = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    char key[kKeyLength];
    rows[i].key_into(key);
    const auto found = db.find({key, sizeof key});
    if (found)
      existing[i] = found->address;
    else
      ++new_items;
  }
  long new_headings = 0;  // a heading the database does not hold yet takes a block too
  for (const auto side : headings::kSides)
    if (file_headings.given(side) && !db.find(report::control::heading_key(side))) ++new_headings;
  if (new_items + new_headings > free)
    return io.fail(csv_path.string() + ": " + std::to_string(new_items) + " new items" +
                   (new_headings > 0 ? " and " + std::to_string(new_headings) + " new page headings" : "") +
                   ", but only " + std::to_string(free) + " free blocks in the record file");
  static const isam::Block blank = blank_item();
  long added = 0, updated = 0;
  LeadingZeros zeros;
  for (std::size_t i = 0; i < rows.size() && report::stop::requested() == 0; ++i) {
    const ItemRow& row = rows[i];
    isam::Block block = blank;
    const bool update = existing[i] >= 0;
    const auto address = static_cast<std::uint16_t>(existing[i]);
    if (update && !db.read_block(address, block, error))
      return io.fail("line " + std::to_string(row.line) + ": " + error);
    const isam::Block before = block;
    row.apply(block);
    if (update) zeros.observe(before, block);
    const bool ok = update ? db.write_block(address, block, error) : db.add_record(block, error) != 0;
    if (!ok) return io.fail("line " + std::to_string(row.line) + ": " + error);
    ++(update ? updated : added);
  }
  for (const auto side : headings::kSides)
    if (file_headings.given(side) && !db.write_heading(side, file_headings.text[static_cast<int>(side)], error))
      return io.fail(std::string(headings::side_name(side)) + " page heading: " + error + "; nothing was imported");
  if (!db.close(error)) return io.fail(error);
  std::size_t heading_rows = 0;
  for (const auto& lines : file_headings.lines)
    heading_rows += lines.size() - std::count(lines.begin(), lines.end(), 0);
  std::string set = headings_phrase(file_headings.given(report::control::Heading::kRight),
                                    file_headings.given(report::control::Heading::kLeft));
  if (!set.empty()) set = "; " + set + " set";
  std::fprintf(io.out, "imported %zu rows: %ld items added, %ld updated%s\n", rows.size() + heading_rows, added,
               updated, set.c_str());
  for (const std::string& w : zeros.warnings(false)) io.fail(csv_path.string() + ": " + w);
  return 0;
}

int cmd_export(const Args& args, const Io& io) {
  constexpr std::string_view kUsage = "export NAME [FILE.csv] [--verbose]";
  const bool verbose = !args.empty() && args.back() == "--verbose";
  const std::size_t words = args.size() - (verbose ? 1 : 0);
  if (words < 1 || words > 2) return io.usage(kUsage);
  std::string error;
  const auto path = parse_db_path(args[0], error);
  if (!path) return io.fail(error);
  const bool to_file = words == 2 && args[1] != "-";
  const std::string shown_out = to_file ? std::string(args[1]) : "standard output";
  if (to_file && !refuse_own_file(*path, shown_out, error)) return io.fail(error + "; nothing was written");
  Database db(Database::Access::kRead, {}, io.session);
  if (!db.open(*path, error)) return io.fail(error);
  OutputFile file;
  std::FILE* out = io.out;
  if (to_file) {
    if (std::string ignored; !file.open(shown_out, error)) {
      db.close(ignored);
      return io.fail(error + "; nothing was written");
    }
    out = file.get();
  }
  RestoreNotes notes(io, verbose);
  std::string line, write_error;
  csv::append_record(line, export_header());
  auto write = [&] {
    if (write_all(out, line)) return true;
    write_error = shown_out + ": cannot write: " + std::strerror(errno);
    return false;
  };
  // The headings first: their keys sort before the items'.
  bool has[2] = {false, false};
  for (const auto side : headings::kSides) {
    std::optional<report::control::HeadingText> text;
    if (std::string ignored; !headings::read(db, side, text, error)) {
      db.close(ignored);
      return io.fail(error + "; nothing was written");
    }
    if (!text) continue;
    has[static_cast<int>(side)] = true;
    for (int n = 0; n < headings::exported_lines(*text); ++n) {
      const std::string_view bytes = headings::line(*text, n);
      std::string problem = report::latin1::control_problem(bytes);
      if (!problem.empty()) notes.note("heading row " + headings::row_name(side, n) + ": " + problem);
      csv::append_record(line, export_heading_row(side, n, bytes));
    }
  }
  bool ok = write();
  long count = 0;
  std::string last_key;
  const bool whole = db.walk_from("12", [&](const KeyEntry& e) {
    if (!e.key.starts_with("12") || report::stop::requested() != 0) return false;
    isam::Block block{};
    if (!db.read_block(e.address, block, error)) return ok = false;
    // The index key is the item's identity; the block's own copy of it is
    // not trusted.
    std::copy(e.key.begin(), e.key.end(), block.begin());
    const std::string refused = refused_text(block);
    if (!refused.empty()) notes.note("item " + files::printable_key(e.key) + ": " + refused);
    line.clear();
    csv::append_record(line, export_row(block));
    ++count;
    last_key = e.key;
    return ok = ok && write();
  });
  notes.finish();
  if (ok && !to_file && std::fflush(out) != 0) {
    write_error = shown_out + ": cannot write: " + std::strerror(errno);
    ok = false;
  }
  if (report::stop::requested() != 0) {
    db.close(error);
    return io.stopped();
  }
  std::string ignored;
  if (!ok) {
    db.close(ignored);
    return io.fail((write_error.empty() ? error : write_error) + (file.replaces() ? "; nothing was written" : ""));
  }
  // An index that cannot be read to its end still gives the items before the
  // damage (said below): what can be saved of a damaged store.
  if (to_file && !file.commit(error)) {
    db.close(ignored);
    return io.fail(error + (file.replaces() ? "; nothing was written" : ""));
  }
  if (!db.close(error)) return io.fail(error);
  if (!whole)
    return io.fail(
        path->shown_index() + ": the index could not be read " +
        (last_key.empty() ? std::string("up to the first item") : "past the key " + files::printable_key(last_key)) +
        "; the export stops there, after " + std::to_string(count) + " items");
  const std::string with = headings_phrase(has[0], has[1]);
  if (to_file)
    std::fprintf(io.out, "exported %ld items%s to %s\n", count, with.empty() ? "" : (" and " + with).c_str(),
                 shown_out.c_str());
  return 0;
}

}  // namespace invdb
