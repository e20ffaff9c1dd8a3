// import and export: items to and from comma-separated text.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "invdb/commands.h"
#include "invdb/csv.h"
#include "invdb/database.h"
#include "invdb/db_files.h"
#include "invdb/import_check.h"
#include "invdb/item_csv.h"

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

// Free data blocks in the record file's map, read from disk.
long free_blocks(const DbPath& db, std::string& error) {
  files::FileImage records;
  if (!files::load_file(db.record_file(), db.shown_records(), records, error)) return -1;
  const std::uint16_t nb = files::read_header(records).map_blocks;
  long free = 0;
  for (std::uint32_t a = files::first_data_address(nb); a < files::map_end(nb); a += 2)
    if (!files::map_bit(records, nb, a)) ++free;
  return free;
}

bool write_all(std::FILE* f, const std::string& text) {
  return std::fwrite(text.data(), 1, text.size(), f) == text.size();
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
    return 1;
  }
  for (const std::string& note : check.notes) io.fail(csv_path.string() + ": " + note);
  const std::vector<ItemRow>& rows = check.rows;
  if (flags.dry_run) return import_dry_run(*path, csv_path.string(), rows, flags, io);
  // Counted from the files before the command holds the database: the
  // count needs the shared lock that the command's own would exclude.
  std::string count_error;
  const long free = free_blocks(*path, count_error);
  Database db(Database::Access::kWrite, bulk_load_options());
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
  if (new_items > free)
    return io.fail(csv_path.string() + ": " + std::to_string(new_items) + " new items, but only " +
                   std::to_string(free) + " free blocks in the record file");
  static const isam::Block blank = blank_item();
  long added = 0, updated = 0;
  LeadingZeros zeros;
  for (std::size_t i = 0; i < rows.size(); ++i) {
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
    if (!ok) return io.fail("line " + std::to_string(row.line) + ": " + error + "; nothing was imported");
    ++(update ? updated : added);
  }
  if (!db.close(error)) return io.fail(error);
  std::fprintf(io.out, "imported %zu rows: %ld items added, %ld updated\n", rows.size(), added, updated);
  for (const std::string& w : zeros.warnings(false)) io.fail(csv_path.string() + ": " + w);
  return 0;
}

int cmd_export(const Args& args, const Io& io) {
  if (args.empty() || args.size() > 2) return io.usage("export NAME [FILE.csv]");
  std::string error;
  const auto path = parse_db_path(args[0], error);
  if (!path) return io.fail(error);
  const bool to_file = args.size() == 2 && args[1] != "-";
  const std::string shown_out = to_file ? std::string(args[1]) : "standard output";
  if (to_file && !refuse_own_file(*path, shown_out, error)) return io.fail(error + "; nothing was written");
  Database db(Database::Access::kRead);
  if (!db.open(*path, error)) return io.fail(error);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(nullptr, std::fclose);
  std::FILE* out = io.out;
  if (to_file) {
    file.reset(std::fopen(shown_out.c_str(), "wb"));
    if (!file) return io.fail(shown_out + ": cannot create: " + std::strerror(errno));
    out = file.get();
  }
  std::string line, write_error;
  csv::append_record(line, export_header());
  auto write = [&] {
    if (write_all(out, line)) return true;
    write_error = shown_out + ": cannot write: " + std::strerror(errno);
    return false;
  };
  bool ok = write();
  long count = 0;
  std::string last_key;
  const bool whole = db.walk_from("12", [&](const KeyEntry& e) {
    if (!e.key.starts_with("12")) return false;
    isam::Block block{};
    if (!db.read_block(e.address, block, error)) return ok = false;
    // The index key is the item's identity; the block's own copy of it is
    // not trusted.
    std::copy(e.key.begin(), e.key.end(), block.begin());
    const std::string refused = refused_text(block);
    if (!refused.empty())
      io.fail("item " + files::printable_key(e.key) + ": " + refused + "; only import --restore takes it back");
    line.clear();
    csv::append_record(line, export_row(block));
    ++count;
    last_key = e.key;
    return ok = ok && write();
  });
  if (ok && std::fflush(out) != 0) {
    write_error = shown_out + ": cannot write: " + std::strerror(errno);
    ok = false;
  }
  if (!ok) {
    db.close(error);
    return io.fail(write_error.empty() ? error : write_error);
  }
  if (file && std::fclose(file.release()) != 0) return io.fail(shown_out + ": write failed: " + std::strerror(errno));
  if (!db.close(error)) return io.fail(error);
  if (!whole)
    return io.fail(
        path->shown_index() + ": the index could not be read " +
        (last_key.empty() ? std::string("up to the first item") : "past the key " + files::printable_key(last_key)) +
        "; the export stops there, after " + std::to_string(count) + " items");
  if (to_file) std::fprintf(io.out, "exported %ld items to %s\n", count, shown_out.c_str());
  return 0;
}

}  // namespace invdb
