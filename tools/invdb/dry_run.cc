// import --dry-run: what an import would change, with nothing changed.
//
// The database is opened as a reader (shared with other readers; no journal,
// no block written).  Each good row is applied to a copy of its item (the
// stored block, or a blank item for a new key) and the copy compared with the
// stored one column by column, the columns as export writes them.
//
// Text output:
//   dry run: nothing was changed; importing FILE into NAME would
//     add 2 items, update 3, leave 1 unchanged (6 rows)
//   added: 900, 901
//   updated:
//     100003: Price 4990 -> 5490; PLU 015013983578 -> 15013983578
//     ... (the first 20 items in full, then how many more)
//   changes per column: PLU 3, Price 1
// --json: one object {"dry_run": true, "rows", "added", "updated",
//   "unchanged", "added_items": [...first 20...], "updated_items":
//   [{"item", "changes": [{"column", "old", "new"}]}] (first 20),
//   "changes_per_column": {...}, "leading_zeros_lost": {...},
//   "heading_changes": [...], "room": true}; the page-heading lines the
//   file's heading rows would change are listed after the items.
// Warnings (leading zeros) go to standard error as for the import itself;
// the room check (new items against free blocks) is made as the import makes
// it.  Exit status 0 when the import would go through, 1 when it would not.
#include <cstdio>
#include <map>
#include <optional>
#include <string>

#include "invdb/commands.h"
#include "invdb/database.h"
#include "invdb/db_files.h"
#include "invdb/headings.h"
#include "invdb/import_check.h"
#include "invdb/item_csv.h"
#include "invdb/json.h"
#include "report_common/latin1.h"

namespace invdb {

namespace {

constexpr std::size_t kItemsInFull = 20;

struct Change {
  std::string column, before, after;
};

struct Updated {
  std::string item;
  std::vector<Change> changes;
};

// JSON strings escape record bytes; the cells are UTF-8 already, so each is
// passed as the bytes they spell.
std::string json_utf8(const std::string& utf8) {
  std::string bytes, problem;
  if (!report::latin1::from_utf8(utf8, bytes, problem)) bytes = utf8;
  return json_string(bytes);
}

std::string json_list(const std::vector<std::string>& items) {
  std::string text = "[";
  for (std::size_t i = 0; i < items.size(); ++i) text += (i > 0 ? ", " : "") + json_utf8(items[i]);
  return text + "]";
}

}  // namespace

void print_problems_json(const ImportCheck& check, const Io& io) {
  const std::string out = "{\"dry_run\": true, \"problems\": " + json_list(check.problems) +
                          ", \"problem_count\": " + std::to_string(check.problem_count) + "}\n";
  std::fwrite(out.data(), 1, out.size(), io.out);
}

int import_dry_run(const DbPath& path, std::string_view shown_file, const ImportCheck& check, const ImportFlags& flags,
                   const Io& io) {
  const std::vector<ItemRow>& rows = check.rows;
  std::string error;
  Database db(Database::Access::kRead, {}, io.session);
  if (!db.open(path, error)) return io.fail(error);
  // The page headings the file gives, against the stored ones: each line
  // that would change.
  std::vector<std::string> heading_changes;
  long new_headings = 0;
  for (const auto side : headings::kSides) {
    if (!check.headings.given(side)) continue;
    std::optional<report::control::HeadingText> stored;
    if (!headings::read(db, side, stored, error)) {
      db.close(error);
      return io.fail(error + "; nothing was changed");
    }
    if (!stored) ++new_headings;
    report::control::HeadingText blank_text;
    blank_text.fill(' ');
    const report::control::HeadingText& old_text = stored ? *stored : blank_text;
    const report::control::HeadingText& new_text = check.headings.text[static_cast<int>(side)];
    for (int n = 0; n < report::control::kHeadingLines; ++n) {
      const std::string_view before = headings::line(old_text, n), after = headings::line(new_text, n);
      if (before == after) continue;
      heading_changes.push_back(std::string(headings::side_name(side)) + " heading " + std::to_string(n + 1) + ": \"" +
                                headings::shown_line(before) + "\" -> \"" + headings::shown_line(after) + "\"");
    }
  }
  const std::vector<std::string> names = export_header();
  std::vector<std::string> added;
  std::vector<Updated> updated;
  std::map<std::string, long> per_column;
  std::size_t added_count = 0, updated_count = 0, unchanged = 0;
  LeadingZeros zeros;
  static const isam::Block blank = blank_item();
  for (const ItemRow& row : rows) {
    char key[report::kKeyLength];
    row.key_into(key);
    const auto found = db.find({key, sizeof key});
    isam::Block before = blank;
    if (found && !db.read_block(found->address, before, error)) {
      db.close(error);
      return io.fail("line " + std::to_string(row.line) + ": " + error + "; nothing was changed");
    }
    isam::Block after = before;
    row.apply(after);
    if (!found) {
      if (added.size() < kItemsInFull) added.push_back(shown_item(after));
      ++added_count;
      continue;
    }
    if (before == after) {  // the common case: nothing to compare column by column
      ++unchanged;
      continue;
    }
    zeros.observe(before, after);
    const std::vector<std::string> old_cells = export_row(before), new_cells = export_row(after);
    Updated u{shown_item(after), {}};
    for (std::size_t c = 0; c < names.size(); ++c) {
      if (old_cells[c] == new_cells[c]) continue;
      u.changes.push_back({names[c], old_cells[c], new_cells[c]});
      ++per_column[names[c]];
    }
    if (u.changes.empty()) {
      ++unchanged;
      continue;
    }
    if (updated.size() < kItemsInFull) updated.push_back(std::move(u));
    ++updated_count;
  }
  if (!db.close(error)) return io.fail(error);
  // The import's own room check, on the files as they are.
  const long free = free_record_blocks(path, error, nullptr);
  if (free < 0) return io.fail(error);
  for (const std::string& w : zeros.warnings(true)) io.fail(std::string(shown_file) + ": " + w);

  std::string out;
  if (flags.json) {
    out = "{\"dry_run\": true, \"rows\": " + std::to_string(rows.size()) +
          ", \"added\": " + std::to_string(added_count) + ", \"updated\": " + std::to_string(updated_count) +
          ", \"unchanged\": " + std::to_string(unchanged) + ", \"added_items\": " + json_list(added) +
          ", \"updated_items\": [";
    for (std::size_t i = 0; i < updated.size(); ++i) {
      out += (i > 0 ? ", " : "") + std::string("{\"item\": ") + json_utf8(updated[i].item) + ", \"changes\": [";
      for (std::size_t c = 0; c < updated[i].changes.size(); ++c) {
        const Change& ch = updated[i].changes[c];
        out += (c > 0 ? ", " : "") + std::string("{\"column\": ") + json_string(ch.column) +
               ", \"old\": " + json_utf8(ch.before) + ", \"new\": " + json_utf8(ch.after) + "}";
      }
      out += "]}";
    }
    out += "], \"changes_per_column\": {";
    bool first = true;
    for (const auto& [column, count] : per_column) {
      out += (first ? "" : ", ") + json_string(column) + ": " + std::to_string(count);
      first = false;
    }
    out += "}, \"leading_zeros_lost\": {";
    first = true;
    for (const LeadingZeros::Column& c : zeros.columns()) {
      out += (first ? "" : ", ") + json_string(c.field->name) + ": " + std::to_string(c.items);
      first = false;
    }
    out += "}, \"heading_changes\": " + json_list(heading_changes) +
           ", \"room\": " + std::string(static_cast<long>(added_count) + new_headings > free ? "false" : "true") +
           "}\n";
  } else {
    out = "dry run: nothing was changed; importing " + std::string(shown_file) + " into " + path.given +
          " would\n  add " + std::to_string(added_count) + (added_count == 1 ? " item" : " items") + ", update " +
          std::to_string(updated_count) + ", leave " + std::to_string(unchanged) + " unchanged (" +
          std::to_string(rows.size()) + " rows)\n";
    if (!added.empty()) {
      out += "added:";
      for (std::size_t i = 0; i < added.size(); ++i) out += (i > 0 ? ", " : " ") + added[i];
      if (added_count > added.size()) out += " and " + std::to_string(added_count - added.size()) + " more";
      out += "\n";
    }
    if (!updated.empty()) {
      out += "updated:\n";
      for (const Updated& u : updated) {
        out += "  " + u.item + ":";
        for (std::size_t c = 0; c < u.changes.size(); ++c)
          out += (c > 0 ? "; " : " ") + u.changes[c].column + " " + u.changes[c].before + " -> " + u.changes[c].after;
        out += "\n";
      }
      if (updated_count > updated.size())
        out += "  and " + std::to_string(updated_count - updated.size()) + " more items\n";
      out += "changes per column:";
      bool first = true;
      for (const auto& [column, count] : per_column) {
        out += (first ? " " : ", ") + column + " " + std::to_string(count);
        first = false;
      }
      out += "\n";
    }
    if (!heading_changes.empty()) {
      out += "page headings:\n";
      for (const std::string& h : heading_changes) out += "  " + h + "\n";
    }
  }
  std::fwrite(out.data(), 1, out.size(), io.out);
  if (static_cast<long>(added_count) + new_headings > free)
    return io.fail(std::string(shown_file) + ": " + std::to_string(added_count) + " new items, but only " +
                   std::to_string(free) + " free blocks in the record file; the import would change nothing");
  return 0;
}

}  // namespace invdb
