// invstore_headings: the page headings of a store as twelve rows.
//
//   SELECT * FROM invstore_headings('DIR/NAME')
//   CREATE VIRTUAL TABLE h USING invstore_headings('DIR/NAME')
//
// A row is one line of one side: (side 'left' or 'right', line 1 to 6, text
// with its trailing blanks dropped, as UTF-8); the left side's lines come
// first.  A side whose control record is missing reads as blank lines.  The
// rowid is the row's place: 1 to 6 the left side, 7 to 12 the right.
//
// Through a table, UPDATE sets a line's text, INSERT sets the line it names
// and DELETE blanks a line (the twelve rows are always there).  A line takes
// the rules of a heading line on import (invdb/headings.h).  The sides changed in a transaction are
// written at its commit, right side first, as `invdb heading` writes them.
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "invdb/headings.h"
#include "invsql/sqlite.h"
#include "invsql/store_table.h"
#include "invsql/stores.h"
#include "report_common/latin1.h"

namespace invsql {

namespace {

constexpr int kLines = 6;
constexpr int kLineWidth = isam::kHeadingBytes / kLines;  // 24
constexpr int kPathColumn = 3;
using Text = std::array<char, isam::kHeadingBytes>;

// Row r (0 to 11): its side and line (0 to 5).
isam::HeadingSide side_of(int r) { return r < kLines ? isam::HeadingSide::kLeft : isam::HeadingSide::kRight; }
int line_of(int r) { return r % kLines; }

struct HeadingTable : StoreTable {
  void transaction_begun() {}
  void transaction_ended() {}
};

// The text of both sides: the transaction's own when it changed them.
int read_texts(HeadingTable* t, OpenStore& open, std::array<Text, 2>& texts) {
  for (const isam::HeadingSide side : {isam::HeadingSide::kLeft, isam::HeadingSide::kRight}) {
    const int s = static_cast<int>(side);
    if (open.headings[s]) {
      texts[s] = *open.headings[s];
      continue;
    }
    if (const isam::Status status = open.store->heading(side, texts[s]); !status)
      return t->fail(result_code(status), status.message());
  }
  return SQLITE_OK;
}

struct HeadingCursor final : sqlite3_vtab_cursor, StoreReader {
  std::array<Text, 2> texts{};
  std::string path;
  int row = 0;
  void store_closing() override {}
};

int connect(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** out, char** error) {
  if (argc > 4) {
    *error = sqlite3_mprintf("invstore_headings takes one argument, the store's path");
    return SQLITE_ERROR;
  }
  const int rc = sqlite3_declare_vtab(db, "CREATE TABLE x(side TEXT, line INTEGER, text TEXT, path HIDDEN)");
  if (rc != SQLITE_OK) return rc;
  auto table = std::make_unique<HeadingTable>();
  if (!table->connect(db, aux, argc, argv, "invstore_headings", error)) return SQLITE_ERROR;
  *out = table.release();
  return SQLITE_OK;
}

int x_best_index(sqlite3_vtab* vtab, sqlite3_index_info* info) {
  auto* t = static_cast<HeadingTable*>(vtab);
  int path = -1;
  bool unusable = false;
  for (int i = 0; i < info->nConstraint; ++i) {
    const auto& c = info->aConstraint[i];
    if (c.iColumn != kPathColumn || c.op != SQLITE_INDEX_CONSTRAINT_EQ || !t->path.empty()) continue;
    if (c.usable)
      path = i;
    else
      unusable = true;
  }
  if (t->path.empty() && path < 0 && unusable) return SQLITE_CONSTRAINT;
  if (path >= 0) {
    info->aConstraintUsage[path].argvIndex = 1;
    info->aConstraintUsage[path].omit = 1;
  }
  info->idxNum = path >= 0 ? 1 : 0;
  info->estimatedCost = t->path.empty() && path < 0 ? 1e12 : 12;
  info->estimatedRows = 12;
  return SQLITE_OK;
}

int x_filter(sqlite3_vtab_cursor* base, int has_path, const char*, int argc, sqlite3_value** argv) {
  auto* c = static_cast<HeadingCursor*>(base);
  auto* t = static_cast<HeadingTable*>(base->pVtab);
  c->row = 2 * kLines;
  c->path = t->path;
  if (has_path && argc > 0) {
    const unsigned char* text = sqlite3_value_text(argv[0]);
    c->path = text == nullptr ? "" : reinterpret_cast<const char*>(text);
  }
  if (c->path.empty())
    return t->fail(SQLITE_ERROR, "invstore_headings: name the store, as in invstore_headings('DIR/NAME')");
  // Twelve short lines: read at once, so the store is held only here.
  Stores& stores = t->connection->stores;
  std::string error;
  int rc = SQLITE_OK;
  OpenStore* open = stores.attach(c->path, c, error, rc);
  if (open == nullptr) return t->fail(rc, error);
  if (!stores.reopen(*open, error, rc)) {
    stores.detach(open, c);
    return t->fail(rc, error);
  }
  rc = read_texts(t, *open, c->texts);
  stores.detach(open, c);
  if (rc == SQLITE_OK) c->row = 0;
  return rc;
}

int x_next(sqlite3_vtab_cursor* base) {
  ++static_cast<HeadingCursor*>(base)->row;
  return SQLITE_OK;
}

int x_eof(sqlite3_vtab_cursor* base) { return static_cast<HeadingCursor*>(base)->row >= 2 * kLines; }

int x_column(sqlite3_vtab_cursor* base, sqlite3_context* ctx, int column) {
  auto* c = static_cast<HeadingCursor*>(base);
  if (sqlite3_vtab_nochange(ctx)) return SQLITE_OK;
  const isam::HeadingSide side = side_of(c->row);
  switch (column) {
    case 0: sqlite3_result_text(ctx, side == isam::HeadingSide::kLeft ? "left" : "right", -1, SQLITE_STATIC); break;
    case 1: sqlite3_result_int(ctx, line_of(c->row) + 1); break;
    case 2: {
      std::string_view line(c->texts[static_cast<int>(side)].data() + line_of(c->row) * kLineWidth, kLineWidth);
      while (!line.empty() && line.back() == ' ') line.remove_suffix(1);
      const std::string text = report::latin1::to_utf8(line);
      sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
      break;
    }
    default: sqlite3_result_text(ctx, c->path.data(), static_cast<int>(c->path.size()), SQLITE_TRANSIENT); break;
  }
  return SQLITE_OK;
}

int x_rowid(sqlite3_vtab_cursor* base, sqlite3_int64* rowid) {
  *rowid = static_cast<HeadingCursor*>(base)->row + 1;
  return SQLITE_OK;
}

// The row a (side, line) pair names, or -1.
int row_of(sqlite3_value* side, sqlite3_value* line) {
  const unsigned char* s = sqlite3_value_text(side);
  if (s == nullptr || sqlite3_value_type(line) != SQLITE_INTEGER) return -1;
  const std::string_view name = reinterpret_cast<const char*>(s);
  const sqlite3_int64 n = sqlite3_value_int64(line);
  if ((name != "left" && name != "right") || n < 1 || n > kLines) return -1;
  return (name == "left" ? 0 : kLines) + static_cast<int>(n) - 1;
}

int x_update(sqlite3_vtab* vtab, int argc, sqlite3_value** argv, sqlite3_int64* rowid) {
  auto* t = static_cast<HeadingTable*>(vtab);
  if (t->path.empty())
    return t->fail(SQLITE_READONLY,
                   "invstore_headings() only reads; to change the headings make it a table: "
                   "CREATE VIRTUAL TABLE headings USING invstore_headings('DIR/NAME')");
  int row = -1;
  std::string text;  // Latin-1 bytes
  if (argc == 1) {
    row = static_cast<int>(sqlite3_value_int64(argv[0])) - 1;
  } else {
    const bool insert = sqlite3_value_type(argv[0]) == SQLITE_NULL;
    const bool side_kept = !insert && sqlite3_value_nochange(argv[2]);
    const bool line_kept = !insert && sqlite3_value_nochange(argv[3]);
    const int old_row = insert ? -1 : static_cast<int>(sqlite3_value_int64(argv[0])) - 1;
    row = side_kept && line_kept ? old_row : row_of(argv[2], argv[3]);
    if (row < 0)
      return t->fail(SQLITE_CONSTRAINT_CHECK, t->path + ": a heading line is side 'left' or 'right' and line 1 to 6");
    if (!insert && row != old_row)
      return t->fail(SQLITE_CONSTRAINT_CHECK, t->path + ": a heading line keeps its side and line; set its text");
    if (!sqlite3_value_nochange(argv[4])) {
      const unsigned char* value = sqlite3_value_text(argv[4]);
      const std::string_view utf8 =
          value == nullptr ? "" : std::string_view(reinterpret_cast<const char*>(value), sqlite3_value_bytes(argv[4]));
      if (const std::string problem = invdb::headings::line_problem(utf8, text); !problem.empty())
        return t->fail(SQLITE_CONSTRAINT_CHECK, t->path + ": heading line \"" + std::string(utf8) + "\": " + problem);
    } else {
      return SQLITE_OK;  // nothing changes
    }
    *rowid = row + 1;
  }
  if (row < 0 || row >= 2 * kLines) return t->fail(SQLITE_NOTFOUND, t->path + ": no heading line has that rowid");
  int rc = SQLITE_OK;
  OpenStore* open = t->writer(rc);
  if (open == nullptr) return rc;
  const int s = static_cast<int>(side_of(row));
  if (!open->headings[s]) {
    Text current;
    if (const isam::Status status = open->store->heading(side_of(row), current); !status)
      return t->fail(result_code(status), status.message());
    open->headings[s] = current;
  }
  char* line = open->headings[s]->data() + line_of(row) * kLineWidth;
  std::memset(line, ' ', kLineWidth);
  std::memcpy(line, text.data(), text.size());
  ++open->changes;
  return SQLITE_OK;
}

}  // namespace

const sqlite3_module kHeadingModule = store_module<HeadingTable, HeadingCursor>(
    {connect, x_best_index, x_filter, x_next, x_eof, x_column, x_rowid, x_update});

}  // namespace invsql
