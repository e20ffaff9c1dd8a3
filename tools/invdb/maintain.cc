// The commands that change a database: create, heading and delete.
#include <algorithm>
#include <string>

#include "invdb/commands.h"
#include "invdb/database.h"
#include "invdb/db_files.h"
#include "invdb/stat_dump.h"
#include "report_common/control_records.h"

namespace invdb {

namespace control = report::control;

int cmd_create(const Args& args, const Io& io) {
  constexpr std::string_view kUsage = "create NAME [--capacity N]";
  long capacity = 32767;
  const bool asked = args.size() == 3 && args[1] == "--capacity";
  if (asked) {
    if (!parse_number_option("--capacity", args[2], 1, 32767, capacity, io)) return 2;
  } else if (args.size() != 1) {
    return io.usage(kUsage);
  }
  std::string error;
  const auto db = parse_db_path(args[0], error);
  if (!db || !create_database(*db, static_cast<std::uint16_t>(capacity), error)) return io.fail(error);
  // What the file really holds: the map covers whole map blocks.
  files::FileImage records;
  if (!files::load_file(db->record_file(), db->shown_records(), records, error)) return io.fail(error);
  const long room = record_room(records);
  std::fprintf(io.out, "created %s and %s: room for %ld records (one per item, one per heading)",
               db->shown_index().c_str(), db->shown_records().c_str(), room);
  if (asked && room != capacity)
    std::fprintf(io.out, "; --capacity %ld: the maps cover whole blocks of 2048 addresses, less their own", capacity);
  std::fputc('\n', io.out);
  return 0;
}

int cmd_heading(const Args& args, const Io& io) {
  constexpr std::string_view kUsage = "heading NAME [--left L1 ... L6] [--right R1 ... R6]";
  std::vector<std::string_view> left, right, *current = nullptr;
  bool has_left = false, has_right = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--left") {
      current = &left;
      has_left = true;
    } else if (args[i] == "--right") {
      current = &right;
      has_right = true;
    } else if (current == nullptr) {
      return io.usage(kUsage);
    } else {
      current->push_back(args[i]);
    }
  }
  if (args.empty() || (!has_left && !has_right)) return io.usage(kUsage);
  for (const auto* lines : {&left, &right}) {
    if (lines->size() > control::kHeadingLines) return io.fail("a heading has at most 6 lines");
    for (std::string_view line : *lines)
      if (line.size() > control::kHeadingLineWidth)
        return io.fail("heading line \"" + std::string(line) + "\" is longer than 24 characters");
  }
  std::string error;
  const auto path = parse_db_path(args[0], error);
  Database db(Database::Access::kWrite, {}, io.session);
  if (!path || !db.open(*path, error)) return io.fail(error);
  if ((has_right && !db.write_heading(control::Heading::kRight, control::heading_text(right), error)) ||
      (has_left && !db.write_heading(control::Heading::kLeft, control::heading_text(left), error)) || !db.close(error))
    return io.fail(error);
  return 0;
}

int cmd_delete(const Args& args, const Io& io) {
  if (args.size() < 2) return io.usage("delete NAME STOCKINDEX...");
  std::string error;
  const auto path = parse_db_path(args[0], error);
  Database db(Database::Access::kWrite, {}, io.session);
  if (!path || !db.open(*path, error)) return io.fail(error);
  // Every stock index must name at least one item before anything is deleted.
  for (std::size_t i = 1; i < args.size(); ++i)
    if (args[i].empty() || args[i].size() > 12) return io.fail("\"" + std::string(args[i]) + "\" is not a stock index");
  std::vector<KeyEntry> victims;
  std::string missing;
  int missing_count = 0;
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string prefix = "12" + std::string(args[i]);
    prefix.resize(2 + 12, ' ');
    const std::size_t before = victims.size();
    const bool whole = db.walk_from(prefix, [&](const KeyEntry& e) {
      if (!e.key.starts_with(prefix)) return false;
      victims.push_back(e);
      return true;
    });
    if (!whole) return io.fail(path->shown_index() + ": the index cannot be read; run check. Nothing was deleted");
    if (victims.size() == before) missing += (missing_count++ == 0 ? "\"" : ", \"") + std::string(args[i]) + "\"";
  }
  if (!missing.empty())
    return io.fail("no item with the stock index" + std::string(missing_count == 1 ? " " : "es ") + missing +
                   "; nothing was deleted");
  std::sort(victims.begin(), victims.end(), [](const auto& a, const auto& b) { return a.key < b.key; });
  victims.erase(
      std::unique(victims.begin(), victims.end(), [](const auto& a, const auto& b) { return a.key == b.key; }),
      victims.end());
  for (const KeyEntry& e : victims)
    if (!db.delete_record(e, error)) return io.fail(error);
  if (!db.close(error)) return io.fail(error);
  std::fprintf(io.out, "deleted %zu item%s\n", victims.size(), victims.size() == 1 ? "" : "s");
  return 0;
}

}  // namespace invdb
