// The commands that change a database: create, heading and delete.
#include <algorithm>
#include <optional>
#include <string>

#include "invdb/commands.h"
#include "invdb/database.h"
#include "invdb/db_files.h"
#include "invdb/headings.h"
#include "invdb/json.h"
#include "invdb/stat_dump.h"
#include "report_common/control_records.h"
#include "report_common/latin1.h"

namespace invdb {

namespace control = report::control;
namespace latin1 = report::latin1;  // stock indexes

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

namespace {

// `heading NAME [--json]`: both headings as stored, every line.
int show_headings(const DbPath& path, bool json, const Io& io) {
  std::string error;
  Database db(Database::Access::kRead, {}, io.session);
  if (!db.open(path, error)) return io.fail(error);
  std::optional<control::HeadingText> text[2];
  for (const control::Heading side : headings::kSides)
    if (!headings::read(db, side, text[static_cast<int>(side)], error)) {
      db.close(error);
      return io.fail(error);
    }
  if (!db.close(error)) return io.fail(error);
  std::string out = json ? "{" : "";
  for (const control::Heading side : {control::Heading::kLeft, control::Heading::kRight}) {
    const auto& t = text[static_cast<int>(side)];
    const std::string name(headings::side_name(side));
    if (json) {
      out += (out.size() > 1 ? ", " : "") + json_string(name) + ": ";
      if (!t) {
        out += "null";
        continue;
      }
      for (int n = 0; n < control::kHeadingLines; ++n)
        out += (n == 0 ? "[" : ", ") + json_string(headings::line(*t, n));
      out += "]";
    } else if (!t) {
      out += name + ": none (the page headers print it blank)\n";
    } else {
      for (int n = 0; n < control::kHeadingLines; ++n) {
        const std::string shown = headings::shown_line(headings::line(*t, n));
        out += name + " " + std::to_string(n + 1) + ":" + (shown.empty() ? "" : " " + shown) + "\n";
      }
    }
  }
  if (json) out += "}\n";
  std::fputs(out.c_str(), io.out);
  return 0;
}

}  // namespace

int cmd_heading(const Args& args, const Io& io) {
  constexpr std::string_view kUsage = "heading NAME [--json | [--left L1 ... L6] [--right R1 ... R6]]";
  std::vector<std::string_view> left, right, *current = nullptr;
  bool has_left = false, has_right = false, json = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--left") {
      current = &left;
      has_left = true;
    } else if (args[i] == "--right") {
      current = &right;
      has_right = true;
    } else if (args[i] == "--json") {
      json = true;
      current = nullptr;
    } else if (current == nullptr) {
      return io.usage(kUsage);
    } else {
      current->push_back(args[i]);
    }
  }
  if (args.empty() || (json && (has_left || has_right))) return io.usage(kUsage);
  std::string error;
  const auto path = parse_db_path(args[0], error);
  if (!path) return io.fail(error);
  if (!has_left && !has_right) return show_headings(*path, json, io);
  // The lines as record bytes, under the text rules of an import.
  std::vector<std::string> bytes[2];
  for (const auto side : headings::kSides) {
    const auto& lines = side == control::Heading::kLeft ? left : right;
    if (lines.size() > control::kHeadingLines) return io.fail("a heading has at most 6 lines");
    for (std::size_t n = 0; n < lines.size(); ++n) {
      std::string& b = bytes[static_cast<int>(side)].emplace_back();
      if (const std::string problem = headings::line_problem(lines[n], b); !problem.empty())
        return io.fail("--" + std::string(headings::side_name(side)) + " line " + std::to_string(n + 1) + ": " +
                       problem + "; nothing was changed");
    }
  }
  const auto text = [&](control::Heading side) {
    const auto& b = bytes[static_cast<int>(side)];
    const std::vector<std::string_view> lines(b.begin(), b.end());
    return control::heading_text(lines);
  };
  Database db(Database::Access::kWrite, {}, io.session);
  if (!db.open(*path, error)) return io.fail(error);
  if ((has_right && !db.write_heading(control::Heading::kRight, text(control::Heading::kRight), error)) ||
      (has_left && !db.write_heading(control::Heading::kLeft, text(control::Heading::kLeft), error)) ||
      !db.close(error))
    return io.fail(error);
  return 0;
}

int cmd_delete(const Args& args, const Io& io) {
  if (args.size() < 2) return io.usage("delete NAME [--] STOCKINDEX...");
  std::string error;
  const auto path = parse_db_path(args[0], error);
  Database db(Database::Access::kWrite, {}, io.session);
  if (!path || !db.open(*path, error)) return io.fail(error);
  // Every stock index must name at least one item before anything is deleted.
  // A stock index is given as UTF-8, and kept one Latin-1 byte per character.
  std::vector<std::string> indexes;
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string& bytes = indexes.emplace_back();
    std::string problem;
    if (!latin1::from_utf8(args[i], bytes, problem) || bytes.empty() || bytes.size() > 12)
      return io.fail("\"" + std::string(args[i]) + "\" is not a stock index" +
                     (problem.empty() ? std::string() : ": " + problem));
  }
  std::vector<KeyEntry> victims;
  std::string missing;
  int missing_count = 0;
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string prefix = "12" + indexes[i - 1];
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
