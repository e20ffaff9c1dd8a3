// import and export: items to and from comma-separated text.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <set>
#include <sstream>

#include "invdb/commands.h"
#include "invdb/csv.h"
#include "invdb/database.h"
#include "invdb/db_files.h"
#include "invdb/item_csv.h"

namespace invdb {

namespace {

// The whole file, or standard input for "-".
bool read_text_file(const std::filesystem::path& path, std::string& text, std::string& error) {
  if (path == "-") {
    std::ostringstream s;
    s << std::cin.rdbuf();
    text = s.str();
    return true;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path.string() + ": cannot open: " + std::strerror(errno);
    return false;
  }
  std::ostringstream s;
  s << in.rdbuf();
  text = s.str();
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
  if (args.size() != 2) return io.usage("import NAME FILE.csv");
  std::string error, text;
  const auto path = parse_db_path(args[0], error);
  if (!path) return io.fail(error);
  const std::filesystem::path csv_path(args[1]);
  if (!read_text_file(csv_path, text, error)) return io.fail(error);
  std::vector<ItemRow> rows;
  if (!parse_item_csv(text, rows, error)) return io.fail(csv_path.string() + ": " + error);
  // Counted from the files before the command holds the database: the
  // count needs the shared lock that the command's own would exclude.
  std::string count_error;
  const long free = free_blocks(*path, count_error);
  Database db;
  if (!db.open(*path, error)) return io.fail(error);
  if (free < 0) return io.fail(count_error);
  // The new keys must all find a block before the first one is written.
  std::set<std::string> new_keys;
  for (const ItemRow& row : rows)
    if (!db.find(row.key())) new_keys.insert(row.key());
  if (static_cast<long>(new_keys.size()) > free)
    return io.fail(csv_path.string() + ": " + std::to_string(new_keys.size()) + " new items, but only " +
                   std::to_string(free) + " free blocks in the record file");
  long added = 0, updated = 0;
  for (const ItemRow& row : rows) {
    isam::Block block = blank_item();
    const auto existing = db.find(row.key());
    if (existing && !db.read_block(existing->address, block, error))
      return io.fail("line " + std::to_string(row.line) + ": " + error);
    row.apply(block);
    const bool ok = existing ? db.write_block(existing->address, block, error) : db.add_record(block, error);
    if (!ok) return io.fail("line " + std::to_string(row.line) + ": " + error + "; nothing was imported");
    ++(existing ? updated : added);
  }
  if (!db.close(error)) return io.fail(error);
  std::fprintf(io.out, "imported %zu rows: %ld items added, %ld updated\n", rows.size(), added, updated);
  return 0;
}

int cmd_export(const Args& args, const Io& io) {
  if (args.empty() || args.size() > 2) return io.usage("export NAME [FILE.csv]");
  std::string error;
  const auto path = parse_db_path(args[0], error);
  Database db(Database::Access::kRead);
  if (!path || !db.open(*path, error)) return io.fail(error);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(nullptr, std::fclose);
  std::FILE* out = io.out;
  const bool to_file = args.size() == 2 && args[1] != "-";
  if (to_file) {
    file.reset(std::fopen(std::string(args[1]).c_str(), "wb"));
    if (!file) return io.fail(std::string(args[1]) + ": cannot create: " + std::strerror(errno));
    out = file.get();
  }
  std::string line;
  csv::append_record(line, export_header());
  bool ok = write_all(out, line);
  long count = 0;
  db.walk_from("12", [&](const KeyEntry& e) {
    if (!e.key.starts_with("12")) return false;
    isam::Block block{};
    if (!db.read_block(e.address, block, error)) return ok = false;
    // The index key is the item's identity; the block's own copy of it is
    // not trusted.
    std::copy(e.key.begin(), e.key.end(), block.begin());
    line.clear();
    csv::append_record(line, export_row(block));
    ++count;
    return ok = ok && write_all(out, line);
  });
  if (!ok) return io.fail(error.empty() ? "cannot write the export" : error);
  if (file && std::fclose(file.release()) != 0) return io.fail(std::string(args[1]) + ": write failed");
  if (!db.close(error)) return io.fail(error);
  if (to_file) std::fprintf(io.out, "exported %ld items to %s\n", count, std::string(args[1]).c_str());
  return 0;
}

}  // namespace invdb
