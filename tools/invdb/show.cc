// show: the items with given stock indexes, every field by name.
//
// Text output, one item after another with an empty line between them, one
// field a line, the names in a column of their own, the values as export
// writes them (text without trailing blanks, UTF-8; numbers in the record's
// units; the opaque stretches in hexadecimal):
//
//   StockIndex   100003
//   KeyRest
//   LongName     PAINT TRAY 1/4 IN
//   ...
//
// --json: one JSON array of objects, one per item, the fields in the same
// order: text as strings, numbers as numbers, opaque stretches as strings of
// hexadecimal.  Every key with the stock index is shown (several items may
// share one, told apart by KeyRest).  A stock index that names no item is
// said on standard error and fails the command; the others are still shown.
#include <algorithm>
#include <cstdio>
#include <string>

#include "invdb/commands.h"
#include "invdb/database.h"
#include "invdb/db_files.h"
#include "invdb/item_csv.h"
#include "invdb/json.h"
#include "report_common/latin1.h"

namespace invdb {

namespace {

constexpr std::size_t kIndexWidth = report::item::StockIndex.width;

std::string show_text(const report::ItemArea& item) {
  const std::vector<std::string> names = export_header();
  const std::vector<std::string> cells = export_row(item);
  std::size_t width = 0;
  for (const std::string& n : names) width = std::max(width, n.size());
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::string line = names[i];
    if (!cells[i].empty()) line += std::string(width + 2 - names[i].size(), ' ') + cells[i];
    text += line + "\n";
  }
  return text;
}

std::string show_json(const report::ItemArea& item) {
  const std::vector<const report::Field*> columns = export_columns();
  const std::vector<std::string> cells = export_row(item);
  std::string text = "{";
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const report::Field& f = *columns[i];
    if (i > 0) text += ", ";
    text += json_string(f.name) + ": ";
    if (f.kind == report::FieldKind::kInt16 || f.kind == report::FieldKind::kInt32) {
      text += cells[i];
    } else if (f.kind == report::FieldKind::kText) {
      // json_string takes record bytes (one character each).
      std::string_view bytes = report::text(item, f);
      text += json_string(bytes.substr(0, bytes.find_last_not_of(' ') + 1));
    } else {
      text += json_string(cells[i]);
    }
  }
  return text + "}";
}

}  // namespace

int cmd_show(const Args& args, const Io& io) {
  constexpr std::string_view kUsage = "show NAME STOCKINDEX... [--json]";
  const bool json = !args.empty() && args.back() == "--json";
  const std::size_t indexes_end = args.size() - (json ? 1 : 0);
  if (indexes_end < 2) return io.usage(kUsage);
  std::string error;
  const auto path = parse_db_path(args[0], error);
  if (!path) return io.fail(error);
  std::vector<std::string> prefixes;
  for (std::size_t i = 1; i < indexes_end; ++i) {
    std::string bytes, problem;
    if (!report::latin1::from_utf8(args[i], bytes, problem) || bytes.empty() || bytes.size() > kIndexWidth)
      return io.usage_error("\"" + std::string(args[i]) + "\" is not a stock index (1 to 12 characters)" +
                                (problem.empty() ? "" : ": " + problem),
                            "show");
    bytes.resize(kIndexWidth, ' ');
    prefixes.push_back("12" + bytes);
  }
  Database db(Database::Access::kRead, {}, io.session);
  if (!db.open(*path, error)) return io.fail(error);
  std::string out = json ? "[" : "";
  int shown = 0, status = 0;
  for (std::size_t i = 0; i < prefixes.size(); ++i) {
    const std::string& prefix = prefixes[i];
    int found = 0;
    bool ok = true;
    const bool whole = db.walk_from(prefix, [&](const KeyEntry& e) {
      if (!e.key.starts_with(prefix)) return false;
      isam::Block block{};
      if (!db.read_block(e.address, block, error)) {
        io.fail("item " + files::printable_key(e.key) + ": " + error);
        return ok = false;
      }
      // The index key is the item's identity, as export takes it.
      std::copy(e.key.begin(), e.key.end(), block.begin());
      if (json) {
        out += (shown > 0 ? ",\n " : "") + show_json(block);
      } else {
        out += (shown > 0 ? "\n" : "") + show_text(block);
      }
      ++found;
      ++shown;
      return true;
    });
    if (!whole) {
      io.fail(path->shown_index() + ": the index could not be read on; run invdb check " + path->given);
      ok = false;
    }
    if (found == 0 && ok) io.fail("no item has the stock index \"" + std::string(args[i + 1]) + "\"");
    if (found == 0 || !ok) status = 1;
  }
  if (json) out += "]\n";
  std::fwrite(out.data(), 1, out.size(), io.out);
  if (!db.close(error)) return io.fail(error);
  return status;
}

}  // namespace invdb
