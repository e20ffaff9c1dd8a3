// create, heading, delete, check, stat and dump.
#include <algorithm>
#include <string>

#include "invdb/check.h"
#include "invdb/commands.h"
#include "invdb/database.h"
#include "invdb/db_files.h"
#include "invdb/stat_dump.h"

namespace invdb {

namespace {

constexpr int kHeadingLines = 6;
constexpr int kHeadingWidth = 24;
constexpr int kHeadingOffset = 22;

// Both files read straight from disk.
bool load_images(std::string_view name, files::FileImage& index, files::FileImage& records, const Io& io) {
  std::string error;
  const auto db = parse_db_path(name, error);
  if (!db || !files::load_file(db->index_file(), db->shown_index(), index, error) ||
      !files::load_file(db->record_file(), db->shown_records(), records, error)) {
    io.fail(error);
    return false;
  }
  return true;
}

}  // namespace

static std::string control_key(char last) {
  std::string key = "00160";
  key += last;
  key.resize(kKeyLength, ' ');
  return key;
}

// Writes the 144 characters of heading text into the control record with
// this key, rewriting the record in place when it exists.
static bool put_heading(Database& db, const std::string& key, const std::vector<std::string_view>& lines,
                        std::string& error) {
  isam::Block block{};
  const auto existing = db.find(key);
  if (existing && !db.read_block(existing->address, block, error)) return false;
  std::copy(key.begin(), key.end(), block.begin());
  for (int i = 0; i < kHeadingLines; ++i) {
    std::string line = i < static_cast<int>(lines.size()) ? std::string(lines[i]) : std::string();
    line.resize(kHeadingWidth, ' ');
    std::copy(line.begin(), line.end(), block.begin() + kHeadingOffset + i * kHeadingWidth);
  }
  return existing ? db.write_block(existing->address, block, error) : db.add_record(block, error);
}

bool write_heading(Database& db, bool left, const std::vector<std::string_view>& lines, std::string& error) {
  // The right heading is kept under "001600", the left one under "001601".
  return put_heading(db, control_key(left ? '1' : '0'), lines, error);
}

int cmd_create(const Args& args, const Io& io) {
  constexpr std::string_view kUsage = "create NAME [--capacity N]";
  long capacity = 32767;
  if (args.size() == 3 && args[1] == "--capacity") {
    if (!parse_number_option("--capacity", args[2], 1, 32767, capacity, io)) return 2;
  } else if (args.size() != 1) {
    return io.usage(kUsage);
  }
  std::string error;
  const auto db = parse_db_path(args[0], error);
  if (!db || !create_database(*db, static_cast<std::uint16_t>(capacity), error)) return io.fail(error);
  std::fprintf(io.out, "created %s and %s (capacity %ld)\n", db->shown_index().c_str(), db->shown_records().c_str(),
               capacity);
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
    if (lines->size() > kHeadingLines) return io.fail("a heading has at most 6 lines");
    for (std::string_view line : *lines)
      if (line.size() > kHeadingWidth)
        return io.fail("heading line \"" + std::string(line) + "\" is longer than 24 characters");
  }
  std::string error;
  const auto path = parse_db_path(args[0], error);
  Database db;
  if (!path || !db.open(*path, error)) return io.fail(error);
  if ((has_right && !write_heading(db, false, right, error)) || (has_left && !write_heading(db, true, left, error)) ||
      !db.close(error))
    return io.fail(error);
  return 0;
}

int cmd_delete(const Args& args, const Io& io) {
  if (args.size() < 2) return io.usage("delete NAME STOCKINDEX...");
  std::string error;
  const auto path = parse_db_path(args[0], error);
  Database db;
  if (!path || !db.open(*path, error)) return io.fail(error);
  // Every stock index must name at least one item before anything is deleted.
  std::vector<KeyEntry> victims;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i].empty() || args[i].size() > 12) return io.fail("\"" + std::string(args[i]) + "\" is not a stock index");
    std::string prefix = "12" + std::string(args[i]);
    prefix.resize(2 + 12, ' ');
    const std::size_t before = victims.size();
    db.walk_from(prefix, [&](const KeyEntry& e) {
      if (!e.key.starts_with(prefix)) return false;
      victims.push_back(e);
      return true;
    });
    if (victims.size() == before) return io.fail("no item with the stock index \"" + std::string(args[i]) + "\"");
  }
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

int cmd_check(const Args& args, const Io& io) {
  if (args.size() != 1) return io.usage("check NAME");
  files::FileImage index, records;
  if (!load_images(args[0], index, records, io)) return 1;
  const CheckReport report = check_database(index, records);
  for (const std::string& f : report.findings) std::fprintf(io.out, "%s\n", f.c_str());
  if (!report.clean()) {
    std::fprintf(io.out, "%zu problem%s found\n", report.findings.size(), report.findings.size() == 1 ? "" : "s");
    return 1;
  }
  std::fprintf(
      io.out, "clean: %ld items, %ld other keys, %ld deleted entries, %d levels, %ld nodes, %ld blocks in use\n",
      report.items, report.live_keys - report.items, report.deleted, report.levels, report.nodes, report.blocks_in_use);
  return 0;
}

int cmd_stat(const Args& args, const Io& io) {
  if (args.size() != 1) return io.usage("stat NAME");
  files::FileImage index, records;
  if (!load_images(args[0], index, records, io)) return 1;
  std::fputs(stat_text(index, records).c_str(), io.out);
  return 0;
}

int cmd_dump(const Args& args, const Io& io) {
  if (args.size() != 1) return io.usage("dump NAME");
  std::string error;
  const auto db = parse_db_path(args[0], error);
  files::FileImage index;
  if (!db || !files::load_file(db->index_file(), db->shown_index(), index, error)) return io.fail(error);
  const std::string text = dump_text(index);
  std::fwrite(text.data(), 1, text.size(), io.out);
  return 0;
}

}  // namespace invdb
