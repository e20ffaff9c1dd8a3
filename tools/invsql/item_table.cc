// invstore: the items of a store as rows.
//
//   SELECT * FROM invstore('DIR/NAME')                 the table-valued function
//   CREATE VIRTUAL TABLE t USING invstore('DIR/NAME')  a table that also changes it
//
// A row is an item: a live index key beginning with the record class "12",
// in key order, exactly the rows of `invdb export`.  The columns are
// export's, in its order: text columns as UTF-8 with the trailing blanks
// dropped, number columns as INTEGER in the record's own units, the opaque
// stretches as BLOB.  StockIndex and KeyRest come from the index key, the
// rest from the item's block, which is read only when a query asks for a
// column of it.  The rowid is the block's address.  The function has the
// store's path as a hidden last column, so `invstore(s.path)` joins with a
// table of paths.
//
// Constraints on StockIndex (=, <, <=, >, >=, IN) become ranges of the index
// (key_range.h), so a lookup reads one path from the root to a leaf; ORDER
// BY StockIndex or StockIndex, KeyRest is the walk's own order.
//
// Changes take the rules of a checked `invdb import` and make its change:
// INSERT adds a new item over a blank one (an existing key is a constraint
// failure; INSERT OR REPLACE updates it as import does), UPDATE puts the
// changed columns over the item's block, DELETE is `invdb delete`'s removal,
// and a changed StockIndex or KeyRest removes the item and adds it anew.  A
// NULL gives a column its blank value (blanks, zero, zero bytes).
#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "invdb/item_csv.h"
#include "invsql/key_range.h"
#include "invsql/sqlite.h"
#include "invsql/store_table.h"
#include "invsql/stores.h"
#include "report_common/latin1.h"

namespace invsql {

namespace {

using report::Field;
using report::FieldKind;

constexpr std::string_view kItemClass = "12";
constexpr int kKeyLength = report::kKeyLength;

const std::vector<const Field*>& item_columns() {
  static const std::vector<const Field*> columns = invdb::export_columns();
  return columns;
}
int path_column() { return static_cast<int>(item_columns().size()); }

std::string schema() {
  std::string sql = "CREATE TABLE x(";
  for (const Field* f : item_columns()) {
    sql += std::string(f->name);
    sql += f->kind == FieldKind::kText ? " TEXT, " : f->kind == FieldKind::kOpaque ? " BLOB, " : " INTEGER, ";
  }
  return sql + "path HIDDEN)";
}

// Text bytes without their trailing blanks, as SQL text.
void result_text(sqlite3_context* ctx, const unsigned char* bytes, int width) {
  while (width > 0 && bytes[width - 1] == ' ') --width;
  bool ascii = true;
  for (int i = 0; i < width; ++i) ascii &= bytes[i] < 0x80;
  if (ascii) {
    sqlite3_result_text(ctx, reinterpret_cast<const char*>(bytes), width, SQLITE_TRANSIENT);
    return;
  }
  const std::string text =
      report::latin1::to_utf8({reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(width)});
  sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string trimmed(std::string_view bytes) {
  while (!bytes.empty() && bytes.back() == ' ') bytes.remove_suffix(1);
  return std::string(bytes);
}

// "StockIndex "A1" KeyRest "B"" of a key, for messages.
std::string item_words(std::string_view key) {
  return "StockIndex \"" + report::latin1::to_utf8(trimmed(key.substr(2, 12))) + "\" KeyRest \"" +
         report::latin1::to_utf8(trimmed(key.substr(14, 8))) + "\"";
}

// A column as xColumn reads it: where its bytes are and what they hold.
struct Column {
  int offset;
  int width;
  FieldKind kind;
  bool in_key;        // from the index key, not the block
  bool block_number;  // a number of the block: the common case, read first
};

struct ItemTable : StoreTable {
  std::vector<Column> columns;  // export's, in its order, then the path's (never a block number)
  bool in_transaction = false;
  // The keys of the rowids the table's cursors gave inside a transaction:
  // an UPDATE or DELETE names its rows by rowid.
  std::unordered_map<std::int64_t, std::string> keys;
  long row_number = 0;  // rows changed, for messages

  void transaction_begun() {
    in_transaction = true;
    row_number = 0;
  }
  void transaction_ended() {
    in_transaction = false;
    keys.clear();
  }
};

// The plan xBestIndex hands xFilter: one letter for each argument.
//   p  the store's path        =  StockIndex equals     i  StockIndex IN (all values)
//   <  less   l  not above     >  greater   g  not below
// and a leading 'o' when the rows must come in key order.
struct ItemCursor final : sqlite3_vtab_cursor, StoreReader {
  ItemTable* table() { return static_cast<ItemTable*>(pVtab); }
  Stores& stores() { return table()->connection->stores; }

  OpenStore* open = nullptr;
  std::string open_path;
  std::unique_ptr<isam::Cursor> cursor;
  std::uint64_t generation = 0;
  bool ahead = false;  // the library cursor is past `entry` already

  std::vector<KeyRange> ranges;
  std::size_t range = 0;
  bool eof = true;
  bool ordered = false;
  std::string previous;  // the last row's StockIndex and KeyRest text, in ordered walks

  // The row: its key and block address (a copy: the library cursor's own
  // entry is gone once the store is replaced under it).
  std::array<char, kKeyLength> key{};
  std::uint16_t address = 0;
  std::string_view key_view() const { return {key.data(), key.size()}; }
  // The row's block as the store shows it (Store::view), or null until a
  // column of the block is asked for.  Valid while this cursor's view is
  // the store's latest: another cursor's view and the store's closing drop
  // it (view_lost, store_closing).
  const std::uint8_t* block = nullptr;

  void view_lost() override { block = nullptr; }
  void store_closing() override {
    cursor.reset();
    block = nullptr;
  }

  void close_store() {
    cursor.reset();
    stores().detach(open, this);
    open = nullptr;
    open_path.clear();
  }
  ~ItemCursor() { close_store(); }

  int fail(const isam::Status& status) { return table()->fail(result_code(status), status.message()); }

  // The library cursor on the store as it is now, at `entry` (or just past
  // it when it is gone) after the store was replaced.
  int ready() {
    if (cursor && open->store && generation == open->generation) return SQLITE_OK;
    std::string error;
    int rc = SQLITE_OK;
    if (!stores().reopen(*open, error, rc)) return table()->fail(rc, error);
    if (cursor && generation == open->generation) return SQLITE_OK;
    cursor = std::make_unique<isam::Cursor>(*open->store);
    generation = open->generation;
    if (eof) return SQLITE_OK;
    if (const isam::Status s = cursor->seek(key_view()); !s) return fail(s);
    ahead = !(cursor->valid() && cursor->entry().key == key_view());
    return SQLITE_OK;
  }

  int seek_range() {
    std::string key(kItemClass);
    key.append(reinterpret_cast<const char*>(ranges[range].low.data()), kStockIndexBytes);
    if (const isam::Status s = cursor->seek(key); !s) return fail(s);
    return SQLITE_OK;
  }

  // From the library cursor's place to the first key in a range.
  int settle() {
    for (;;) {
      if (!cursor->valid() || !cursor->entry().key.starts_with(kItemClass)) {
        eof = true;
        return SQLITE_OK;
      }
      const std::string& at = cursor->entry().key;
      if (at.size() == kKeyLength && std::memcmp(at.data() + 2, ranges[range].high.data(), kStockIndexBytes) <= 0)
        break;
      if (++range == ranges.size()) {
        eof = true;
        return SQLITE_OK;
      }
      if (int rc = seek_range(); rc != SQLITE_OK) return rc;
    }
    std::memcpy(key.data(), cursor->entry().key.data(), kKeyLength);
    address = cursor->entry().address;
    block = nullptr;
    if (ordered) return check_order();
    return SQLITE_OK;
  }

  // SQL orders texts, the index orders blank-padded bytes: they part only
  // where a key holds a byte below the blank, and then the query fails
  // rather than give rows out of their order.
  int check_order() {
    const std::string_view key = key_view();
    std::string now = trimmed(key.substr(2, 12));
    const std::size_t split = now.size();
    now += trimmed(key.substr(14, 8));
    const std::string joined = now.substr(0, split) + std::string(1, '\0') + now.substr(split);
    if (!previous.empty() && joined < previous)
      return table()->fail(SQLITE_ERROR, open_path + ": the item " + item_words(key) +
                                             " holds a byte below the blank, so the index does not keep "
                                             "SQL's order here; sort by an expression instead "
                                             "(ORDER BY StockIndex || '', KeyRest || '')");
    previous = joined;
    return SQLITE_OK;
  }

  int load_block() {
    if (int rc = ready(); rc != SQLITE_OK) return rc;
    // The view about to be taken ends the latest one (even when it fails).
    if (open->viewer != this) {
      if (open->viewer != nullptr) open->viewer->view_lost();
      open->viewer = this;
    }
    std::span<const std::uint8_t> bytes;
    if (const isam::Status s = open->store->view(address, bytes); !s) return fail(s);
    block = bytes.data();
    return SQLITE_OK;
  }
};

// Both CREATE VIRTUAL TABLE and a use of the function connect here (one
// function for both makes the module also a table-valued function).  A
// table's store is not opened until it is used: a table whose store has
// gone can still be dropped.
int x_connect(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** out, char** error) {
  if (argc > 4) {
    *error = sqlite3_mprintf("invstore takes one argument, the store's path: USING invstore('DIR/NAME')");
    return SQLITE_ERROR;
  }
  int rc = sqlite3_declare_vtab(db, schema().c_str());
  if (rc != SQLITE_OK) return rc;
  auto table = std::make_unique<ItemTable>();
  for (const Field* f : item_columns()) {
    const bool in_key = f->offset + f->width <= kKeyLength;
    const bool number = f->kind == FieldKind::kInt32 || f->kind == FieldKind::kInt16;
    table->columns.push_back({f->offset, f->width, f->kind, in_key, number && !in_key});
  }
  table->columns.push_back({0, 0, FieldKind::kText, false, false});  // the path
  if (!table->connect(db, aux, argc, argv, "invstore", error)) return SQLITE_ERROR;
  if (!table->function()) sqlite3_vtab_config(db, SQLITE_VTAB_CONSTRAINT_SUPPORT, 1);
  *out = table.release();
  return SQLITE_OK;
}

int x_best_index(sqlite3_vtab* vtab, sqlite3_index_info* info) {
  auto* table = static_cast<ItemTable*>(vtab);
  int path = -1;
  bool path_unusable = false;
  std::vector<int> keys;
  for (int i = 0; i < info->nConstraint; ++i) {
    const auto& c = info->aConstraint[i];
    if (c.iColumn == path_column()) {
      if (!table->function()) continue;  // a table's store is its own; SQLite tests the column
      if (c.op == SQLITE_INDEX_CONSTRAINT_EQ && c.usable) path = i;
      if (c.op == SQLITE_INDEX_CONSTRAINT_EQ && !c.usable) path_unusable = true;
      continue;
    }
    if (c.iColumn != 0 || !c.usable) continue;
    switch (c.op) {
      case SQLITE_INDEX_CONSTRAINT_EQ:
      case SQLITE_INDEX_CONSTRAINT_LT:
      case SQLITE_INDEX_CONSTRAINT_LE:
      case SQLITE_INDEX_CONSTRAINT_GT:
      case SQLITE_INDEX_CONSTRAINT_GE: keys.push_back(i); break;
      default: break;
    }
  }
  // The function needs its path: a plan without a usable one is no plan.
  if (table->function() && path < 0 && path_unusable) return SQLITE_CONSTRAINT;
  std::string plan;
  int argument = 0;
  if (path >= 0) {
    info->aConstraintUsage[path].argvIndex = ++argument;
    info->aConstraintUsage[path].omit = 1;
    plan += 'p';
  }
  double cost = 1e6, rows = 1e5;
  bool equal = false, bounded = false;
  for (const int i : keys) {
    info->aConstraintUsage[i].argvIndex = ++argument;
    // SQLite tests each row again: a range covers what the constraint selects.
    info->aConstraintUsage[i].omit = 0;
    switch (info->aConstraint[i].op) {
      case SQLITE_INDEX_CONSTRAINT_EQ:
        if (sqlite3_vtab_in(info, i, -1)) {
          sqlite3_vtab_in(info, i, 1);
          plan += 'i';
          if (!equal) cost = 200, rows = 10;
        } else {
          plan += '=';
          cost = 20, rows = 1;
        }
        equal = true;
        break;
      case SQLITE_INDEX_CONSTRAINT_LT:
        plan += '<';
        bounded = true;
        break;
      case SQLITE_INDEX_CONSTRAINT_LE:
        plan += 'l';
        bounded = true;
        break;
      case SQLITE_INDEX_CONSTRAINT_GT:
        plan += '>';
        bounded = true;
        break;
      default:
        plan += 'g';
        bounded = true;
        break;
    }
  }
  if (bounded && !equal) cost = 1e4, rows = 1e3;
  if (table->function() && path < 0) cost = 1e12;
  const int n = info->nOrderBy;
  const auto* by = info->aOrderBy;
  if (n >= 1 && n <= 2 && by[0].iColumn == 0 && !by[0].desc && (n == 1 || (by[1].iColumn == 1 && !by[1].desc))) {
    info->orderByConsumed = 1;
    plan.insert(plan.begin(), 'o');
  }
  info->estimatedCost = cost;
  info->estimatedRows = static_cast<sqlite3_int64>(rows);
  info->idxStr = sqlite3_mprintf("%s", plan.c_str());
  info->needToFreeIdxStr = 1;
  return SQLITE_OK;
}

Compare compare_of(char letter) {
  switch (letter) {
    case '<': return Compare::kLess;
    case 'l': return Compare::kLessEqual;
    case '>': return Compare::kGreater;
    case 'g': return Compare::kGreaterEqual;
    default: return Compare::kEqual;
  }
}

// The range a value selects: a text narrows the walk; NULL selects nothing;
// a number or blob compares with text by SQL's type order, so it is left to
// SQLite over every key.
KeyRange value_range(Compare op, sqlite3_value* value) {
  switch (sqlite3_value_type(value)) {
    case SQLITE_TEXT: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
      return range_of(op, {text, static_cast<std::size_t>(sqlite3_value_bytes(value))});
    }
    case SQLITE_NULL: {
      KeyRange none = whole_range();
      std::swap(none.low, none.high);
      return none;
    }
    default: return whole_range();
  }
}

int x_filter(sqlite3_vtab_cursor* base, int, const char* plan, int argc, sqlite3_value** argv) {
  auto* c = static_cast<ItemCursor*>(base);
  ItemTable* table = c->table();
  c->eof = true;
  c->ordered = plan != nullptr && plan[0] == 'o';
  c->previous.clear();
  std::string path = table->path;
  KeyRange bounds = whole_range();
  std::vector<KeyRange> in;
  bool has_in = false;
  const std::string_view letters = plan == nullptr ? "" : plan + (c->ordered ? 1 : 0);
  for (int i = 0; i < argc && i < static_cast<int>(letters.size()); ++i) {
    const char letter = letters[static_cast<std::size_t>(i)];
    if (letter == 'p') {
      const unsigned char* text = sqlite3_value_text(argv[i]);
      path = text == nullptr ? "" : reinterpret_cast<const char*>(text);
      if (path.empty()) return table->fail(SQLITE_ERROR, "invstore: the store's path is NULL or empty");
    } else if (letter == 'i') {
      std::vector<KeyRange> values;
      sqlite3_value* v = nullptr;
      int rc = sqlite3_vtab_in_first(argv[i], &v);
      for (; rc == SQLITE_OK && v != nullptr; rc = sqlite3_vtab_in_next(argv[i], &v))
        values.push_back(value_range(Compare::kEqual, v));
      if (rc != SQLITE_OK && rc != SQLITE_DONE) return rc;
      if (has_in) {  // two IN lists: the second only bounds the walk
        KeyRange cover = whole_range();
        std::swap(cover.low, cover.high);
        for (const KeyRange& r : merge(values)) cover = {std::min(cover.low, r.low), std::max(cover.high, r.high)};
        bounds = intersect(bounds, cover);
      } else {
        in = merge(std::move(values));
        has_in = true;
      }
    } else {
      bounds = intersect(bounds, value_range(compare_of(letter), argv[i]));
    }
  }
  if (path.empty())
    return table->fail(SQLITE_ERROR, "invstore: name the store, as in SELECT * FROM invstore('DIR/NAME')");
  if (c->open == nullptr || path != c->open_path) {
    c->close_store();
    std::string error;
    int rc = SQLITE_OK;
    // A statement that changes the table reads through the writer from its
    // first row: the rows it picks are the rows it changes.
    if (!table->function() && table->in_transaction) {
      OpenStore* open = c->stores().writer(path, error, rc);
      if (open == nullptr) return table->fail(rc, error);
      table->written = open;
    }
    c->open = c->stores().attach(path, c, error, rc);
    if (c->open == nullptr) return table->fail(rc, error);
    c->open_path = path;
  }
  c->ranges.clear();
  if (has_in) {
    for (const KeyRange& r : in)
      if (const KeyRange both = intersect(r, bounds); !both.empty()) c->ranges.push_back(both);
  } else if (!bounds.empty()) {
    c->ranges.push_back(bounds);
  }
  c->range = 0;
  if (int rc = c->ready(); rc != SQLITE_OK) return rc;
  if (c->ranges.empty()) return SQLITE_OK;
  c->eof = false;
  if (int rc = c->seek_range(); rc != SQLITE_OK) return rc;
  c->ahead = false;
  return c->settle();
}

int x_next(sqlite3_vtab_cursor* base) {
  auto* c = static_cast<ItemCursor*>(base);
  if (int rc = c->ready(); rc != SQLITE_OK) return rc;
  if (!c->ahead) {
    if (const isam::Status s = c->cursor->next(); !s) return c->fail(s);
  }
  c->ahead = false;
  return c->settle();
}

int x_eof(sqlite3_vtab_cursor* base) { return static_cast<ItemCursor*>(base)->eof ? 1 : 0; }

// A number column's bytes (little-endian, of its kind's width) as SQL INTEGER.
inline void result_number(sqlite3_context* ctx, const unsigned char* bytes, FieldKind kind) {
  if (kind == FieldKind::kInt32) {
    std::int32_t v;
    std::memcpy(&v, bytes, 4);
    sqlite3_result_int(ctx, v);
  } else {
    std::int16_t v;
    std::memcpy(&v, bytes, 2);
    sqlite3_result_int(ctx, v);
  }
}

// Every column but a number of a block already shown (x_column).
[[gnu::noinline]] int column_value(ItemCursor* c, sqlite3_context* ctx, int column) {
  // An UPDATE asks for the columns it leaves alone this way: they stay as
  // the block holds them.  (Only a changing statement asks.)
  if (c->table()->in_transaction && sqlite3_vtab_nochange(ctx)) return SQLITE_OK;
  if (column == path_column()) {
    sqlite3_result_text(ctx, c->open_path.data(), static_cast<int>(c->open_path.size()), SQLITE_TRANSIENT);
    return SQLITE_OK;
  }
  const Column& f = c->table()->columns[static_cast<std::size_t>(column)];
  const unsigned char* bytes;
  if (f.in_key) {
    bytes = reinterpret_cast<const unsigned char*>(c->key.data()) + f.offset;
  } else {
    if (c->block == nullptr)
      if (int rc = c->load_block(); rc != SQLITE_OK) return rc;
    bytes = c->block + f.offset;
  }
  switch (f.kind) {
    case FieldKind::kText: result_text(ctx, bytes, f.width); break;
    case FieldKind::kInt32:
    case FieldKind::kInt16: result_number(ctx, bytes, f.kind); break;
    case FieldKind::kOpaque: sqlite3_result_blob(ctx, bytes, f.width, SQLITE_TRANSIENT); break;
  }
  return SQLITE_OK;
}

// A query asks for a row's columns one call at a time, mostly numbers of
// the block: those take the short way here, the rest column_value's.
int x_column(sqlite3_vtab_cursor* base, sqlite3_context* ctx, int column) {
  auto* c = static_cast<ItemCursor*>(base);
  const ItemTable* t = c->table();
  const Column& f = t->columns[static_cast<std::size_t>(column)];
  if (!f.block_number || c->block == nullptr || t->in_transaction) return column_value(c, ctx, column);
  result_number(ctx, c->block + f.offset, f.kind);
  return SQLITE_OK;
}

int x_rowid(sqlite3_vtab_cursor* base, sqlite3_int64* rowid) {
  auto* c = static_cast<ItemCursor*>(base);
  *rowid = c->address;
  if (c->table()->in_transaction) c->table()->keys[c->address] = std::string(c->key_view());
  return SQLITE_OK;
}

// ---- changes ----

// The cell an import row would hold for a value, or empty when the column
// is left as it is.
std::string cell_of(const Field& f, sqlite3_value* v) {
  if (sqlite3_value_nochange(v)) return "";
  const int type = sqlite3_value_type(v);
  const auto blank = [&] {
    return std::string(f.kind == FieldKind::kText ? " " : f.kind == FieldKind::kOpaque ? "00" : "0");
  };
  if (type == SQLITE_NULL) return blank();
  if (type == SQLITE_INTEGER) return std::to_string(sqlite3_value_int64(v));
  if (type == SQLITE_FLOAT) {
    const double d = sqlite3_value_double(v);
    if (d == static_cast<double>(static_cast<std::int64_t>(d)) && d > -1e15 && d < 1e15)
      return std::to_string(static_cast<std::int64_t>(d));
  }
  if (type == SQLITE_BLOB && f.kind == FieldKind::kOpaque) {
    const auto* p = static_cast<const unsigned char*>(sqlite3_value_blob(v));
    std::string hex;
    for (int i = 0; i < sqlite3_value_bytes(v); ++i) {
      hex += "0123456789abcdef"[p[i] >> 4];
      hex += "0123456789abcdef"[p[i] & 15];
    }
    return hex.empty() ? blank() : hex;
  }
  const auto* text = reinterpret_cast<const char*>(type == SQLITE_BLOB ? sqlite3_value_blob(v) : sqlite3_value_text(v));
  std::string cell(text == nullptr ? "" : text, static_cast<std::size_t>(sqlite3_value_bytes(v)));
  return cell.empty() ? blank() : cell;
}

// The row of values argv[2...] as a checked import reads it.  For an
// UPDATE, `old` holds export's cells of the item as it is: a value that
// equals its cell is left out, so the columns an UPDATE does not set keep
// their bytes whatever SQLite hands back for them.
int parse_values(ItemTable* t, sqlite3_value** values, invdb::ItemRow& row, const std::vector<std::string>* old) {
  static const invdb::ItemColumns columns = [] {
    invdb::ItemColumns c;
    std::vector<std::string> names = invdb::export_header();
    std::vector<std::string_view> header(names.begin(), names.end());
    std::string ignored;
    c.set_header(header, 1, ignored);
    return c;
  }();
  std::vector<std::string> cells;
  cells.reserve(item_columns().size());
  for (std::size_t i = 0; i < item_columns().size(); ++i) {
    std::string cell = cell_of(*item_columns()[i], values[i]);
    if (old != nullptr && (cell.empty() || cell == (*old)[i] || (cell == " " && (*old)[i].empty()))) cell.clear();
    cells.push_back(std::move(cell));
  }
  // A StockIndex left out is still given (a checked row must have one), and
  // then taken out of the bytes the row sets.
  const bool keep_stock_index = old != nullptr && cells[0].empty();
  if (keep_stock_index) cells[0] = (*old)[0].empty() ? " " : (*old)[0];
  std::vector<std::string_view> views(cells.begin(), cells.end());
  std::string error;
  ++t->row_number;
  if (columns.parse_row(views, static_cast<int>(t->row_number), invdb::ImportMode::kChecked, row, error)) {
    if (keep_stock_index)
      for (int b = report::item::StockIndex.offset;
           b < report::item::StockIndex.offset + report::item::StockIndex.width; ++b)
        row.set[static_cast<std::size_t>(b / 64)] &= ~(std::uint64_t{1} << (b % 64));
    return SQLITE_OK;
  }
  // "line N, column C (Name): why": the line is the file's; here the column says it.
  if (error.starts_with("line ")) {
    if (const std::size_t comma = error.find(", "); comma != std::string::npos) error.erase(0, comma + 2);
  }
  return t->fail(SQLITE_CONSTRAINT_CHECK, t->path + ": " + error);
}

int item_key(ItemTable* t, OpenStore& open, std::int64_t rowid, std::string& key) {
  if (const auto it = t->keys.find(rowid); it != t->keys.end()) {
    key = it->second;
    return SQLITE_OK;
  }
  // A rowid that no cursor gave: the block's own key, if the index agrees.
  isam::Block block{};
  isam::Entry entry;
  if (rowid > 0 && rowid <= 0xFFFF && open.store->read(static_cast<std::uint16_t>(rowid), block)) {
    key.assign(reinterpret_cast<const char*>(block.data()), kKeyLength);
    if (open.store->find(key, entry) && entry.address == rowid) return SQLITE_OK;
  }
  return t->fail(SQLITE_NOTFOUND, t->path + ": no item has the rowid " + std::to_string(rowid));
}

int change(ItemTable* t, OpenStore& open, int argc, sqlite3_value** argv, sqlite3_int64* new_rowid) {
  isam::Store& store = *open.store;
  const auto failed = [&](const isam::Status& s) { return t->fail(result_code(s), s.message()); };
  if (argc == 1) {  // DELETE
    std::string key;
    if (int rc = item_key(t, open, sqlite3_value_int64(argv[0]), key); rc != SQLITE_OK) return rc;
    if (const isam::Status s = store.remove(key); !s) return failed(s);
    t->keys.erase(sqlite3_value_int64(argv[0]));
    return SQLITE_OK;
  }
  invdb::ItemRow row;
  isam::Entry existing;
  std::string old_key, key;
  isam::Block block = invdb::blank_item();
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {  // INSERT
    if (int rc = parse_values(t, argv + 2, row, nullptr); rc != SQLITE_OK) return rc;
    if (sqlite3_value_type(argv[1]) != SQLITE_NULL)
      return t->fail(SQLITE_MISMATCH, t->path + ": the rowid is the item's record address, given by the store");
    key = row.key();
    const isam::Status found = store.find(key, existing);
    if (found) {
      const int mode = sqlite3_vtab_on_conflict(t->db);
      if (mode == SQLITE_IGNORE) return SQLITE_OK;
      if (mode != SQLITE_REPLACE)
        return t->fail(SQLITE_CONSTRAINT_PRIMARYKEY,
                       t->path + ": the item " + item_words(key) + " is already there (INSERT OR REPLACE changes it)");
      if (const isam::Status s = store.read(existing.address, block); !s) return failed(s);
      row.apply(block);
      if (const isam::Status s = store.write(existing.address, block); !s) return failed(s);
      *new_rowid = existing.address;
    } else if (found.kind() != isam::Status::Kind::kNotFound) {
      return failed(found);
    } else {
      row.apply(block);
      std::uint16_t address = 0;
      if (const isam::Status s = store.add(block, address); !s) return failed(s);
      *new_rowid = address;
    }
    if (t->in_transaction) t->keys[*new_rowid] = key;
    return SQLITE_OK;
  }
  // UPDATE
  const std::int64_t rowid = sqlite3_value_int64(argv[0]);
  if (sqlite3_value_int64(argv[1]) != rowid)
    return t->fail(SQLITE_MISMATCH, t->path + ": the rowid is the item's record address; it cannot be set");
  if (int rc = item_key(t, open, rowid, old_key); rc != SQLITE_OK) return rc;
  const auto address = static_cast<std::uint16_t>(rowid);
  if (const isam::Status s = store.read(address, block); !s) return failed(s);
  isam::Block shown = block;  // as export shows it: the index key is the item's
  std::copy(old_key.begin(), old_key.end(), shown.begin());
  const std::vector<std::string> old_cells = invdb::export_row(shown);
  if (int rc = parse_values(t, argv + 2, row, &old_cells); rc != SQLITE_OK) return rc;
  key = old_key;
  for (int b = 2; b < kKeyLength; ++b)
    if (row.sets(b)) key[static_cast<std::size_t>(b)] = static_cast<char>(row.values[static_cast<std::size_t>(b)]);
  row.apply(block);
  if (key == old_key) {
    if (const isam::Status s = store.write(address, block); !s) return failed(s);
    *new_rowid = rowid;
    return SQLITE_OK;
  }
  // A new key: the item leaves its old place and is added under the new one.
  const isam::Status found = store.find(key, existing);
  if (found)
    return t->fail(SQLITE_CONSTRAINT_PRIMARYKEY, t->path + ": the item " + item_words(key) + " is already there");
  if (found.kind() != isam::Status::Kind::kNotFound) return failed(found);
  std::copy(key.begin(), key.end(), block.begin());
  if (const isam::Status s = store.remove(old_key); !s) return failed(s);
  ++open.changes;  // the store has changed even if the add fails
  t->keys.erase(rowid);
  std::uint16_t added = 0;
  if (const isam::Status s = store.add(block, added); !s) return failed(s);
  t->keys[added] = key;
  return SQLITE_OK;
}

int x_update(sqlite3_vtab* vtab, int argc, sqlite3_value** argv, sqlite3_int64* rowid) {
  auto* t = static_cast<ItemTable*>(vtab);
  if (t->function())
    return t->fail(SQLITE_READONLY,
                   "invstore() only reads; to change a store make it a table: "
                   "CREATE VIRTUAL TABLE stock USING invstore('DIR/NAME')");
  Stores& stores = t->stores();
  int rc = SQLITE_OK;
  OpenStore* open = t->writer(rc);
  if (open == nullptr) return rc;
  const long before = open->changes;
  rc = change(t, *open, argc, argv, rowid);
  if (rc == SQLITE_OK) {
    ++open->changes;
    return rc;
  }
  // A row that fails has changed nothing, except a new key whose old one was
  // removed already: that cannot be taken back alone, so the transaction's
  // change is given up.  Earlier rows of a failing statement are taken back
  // by SQLite through the statement's savepoint (Stores::rollback_to), or,
  // outside a transaction, by the rollback of the whole.
  if (open->changes != before) {
    const std::string why = t->zErrMsg == nullptr ? std::string("a change failed") : std::string(t->zErrMsg);
    stores.give_up(*open, why + "; the transaction's change to " + t->path +
                              " was given up, nothing of it was written (ROLLBACK, then run it again)");
  }
  return rc;
}

}  // namespace

const sqlite3_module kItemModule = store_module<ItemTable, ItemCursor>(
    {x_connect, x_best_index, x_filter, x_next, x_eof, x_column, x_rowid, x_update});

}  // namespace invsql
