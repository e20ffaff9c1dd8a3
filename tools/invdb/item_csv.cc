#include "invdb/item_csv.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>

#include "invdb/csv.h"
#include "invdb/headings.h"
#include "report_common/latin1.h"
#include "reports/catalogue.h"

namespace invdb {

namespace item = report::item;
namespace latin1 = report::latin1;
using report::Field;
using report::FieldKind;

namespace {

constexpr std::string_view kHexDigits = "0123456789abcdef";

std::string where(int line, int column, std::string_view name) {
  return "line " + std::to_string(line) + ", column " + std::to_string(column) + " (" + std::string(name) + "): ";
}

// A decimal integer with an optional sign, within [lo, hi].
bool parse_integer(std::string_view cell, std::int64_t lo, std::int64_t hi, std::int64_t& value, std::string& problem) {
  std::string_view digits = cell;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  std::int64_t v = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
  if (digits.empty() || end != digits.data() + digits.size() ||
      (ec != std::errc() && ec != std::errc::result_out_of_range)) {
    problem = "\"" + std::string(cell) + "\" is not a whole number";
    return false;
  }
  if (ec == std::errc::result_out_of_range || v < lo || v > hi) {
    problem = std::string(cell) + " does not fit the field (" + std::to_string(lo) + " to " + std::to_string(hi) + ")";
    return false;
  }
  value = v;
  return true;
}

// Why a checked import refuses these bytes of the text field `f` (trailing
// blanks dropped), or "".
std::string text_problem(const Field& f, std::string_view bytes) {
  const bool key = f.offset == item::StockIndex.offset || f.offset == item::KeyRest.offset;
  if (key && !bytes.empty() && static_cast<unsigned char>(bytes.front()) < ' ')
    return "starts with the byte " + latin1::hex_byte(static_cast<unsigned char>(bytes.front())) +
           ", below the blank: the report walk would never reach the item";
  if (std::string control = latin1::control_problem(bytes); !control.empty()) return control;
  if (bytes.find_first_of(",\"") == std::string_view::npos) return "";
  const std::string reports = report::reports_printing_unquoted(f);
  if (reports.empty()) return "";
  return "holds a comma or double quote, which would split the records of the comma-separated report" +
         std::string(reports.size() > 1 ? "s " : " ") + reports + " (they print " + std::string(f.name) + " unquoted)";
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(c | 0x20);
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// Writes one non-empty cell into `row`; false with `problem` when it does not fit.
bool put_cell(const Field& f, std::string_view cell, ItemRow& row, std::string& problem) {
  switch (f.kind) {
    case FieldKind::kText:
      if (static_cast<int>(cell.size()) > f.width) {
        problem = "text of " + std::to_string(cell.size()) + " characters is longer than the field's " +
                  std::to_string(f.width);
        return false;
      }
      std::memcpy(row.values.data() + f.offset, cell.data(), cell.size());
      std::memset(row.values.data() + f.offset + cell.size(), ' ', f.width - cell.size());
      return true;
    case FieldKind::kInt16:
    case FieldKind::kInt32: {
      const bool wide = f.kind == FieldKind::kInt32;
      const std::int64_t lo =
          wide ? std::numeric_limits<std::int32_t>::min() : std::numeric_limits<std::int16_t>::min();
      const std::int64_t hi =
          wide ? std::numeric_limits<std::int32_t>::max() : std::numeric_limits<std::int16_t>::max();
      std::int64_t v = 0;
      if (!parse_integer(cell, lo, hi, v, problem)) return false;
      if (wide)
        report::set_i32(row.values, f, static_cast<std::int32_t>(v));
      else
        report::set_i16(row.values, f, static_cast<std::int16_t>(v));
      return true;
    }
    case FieldKind::kOpaque:
      if (cell.size() % 2 != 0 || static_cast<int>(cell.size()) > 2 * f.width) {
        problem = "expected up to " + std::to_string(f.width) + " bytes as pairs of hexadecimal digits";
        return false;
      }
      for (int i = 0; i < f.width; ++i) row.values[f.offset + i] = 0;
      for (std::size_t i = 0; i < cell.size(); i += 2) {
        const int hi = hex_value(cell[i]), lo = hex_value(cell[i + 1]);
        if (hi < 0 || lo < 0) {
          problem = "\"" + std::string(cell) + "\" is not hexadecimal";
          return false;
        }
        row.values[f.offset + i / 2] = static_cast<std::uint8_t>(hi * 16 + lo);
      }
      return true;
  }
  return false;
}

std::string trimmed_text(const report::ItemArea& item, const Field& f) {
  std::string_view t = report::text(item, f);
  while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
  return std::string(t);
}

std::string cell_of(const report::ItemArea& item, const Field& f) {
  switch (f.kind) {
    case FieldKind::kText: return latin1::to_utf8(trimmed_text(item, f));
    case FieldKind::kInt16: return std::to_string(report::i16(item, f));
    case FieldKind::kInt32: return std::to_string(report::i32(item, f));
    case FieldKind::kOpaque: break;
  }
  std::string hex;
  for (int i = 0; i < f.width; ++i) {
    hex += kHexDigits[item[f.offset + i] >> 4];
    hex += kHexDigits[item[f.offset + i] & 15];
  }
  return hex;
}

}  // namespace

std::vector<const Field*> export_columns() {
  std::vector<const Field*> columns;
  for (const Field& f : item::kAllFields)
    if (f.offset != item::RecordClass.offset) columns.push_back(&f);
  return columns;
}

const Field* find_column(std::string_view name) {
  if (name == item::RenterPhone.name) return &item::RenterPhone;
  for (const Field& f : item::kAllFields)
    if (f.name == name && f.offset != item::RecordClass.offset) return &f;
  return nullptr;
}

report::ItemArea blank_item() {
  report::ItemArea area{};
  for (const Field& f : item::kAllFields)
    if (f.kind == FieldKind::kText) report::set_text(area, f, "");
  report::set_text(area, item::RecordClass, "12");
  return area;
}

std::string ItemRow::key() const {
  char bytes[report::kKeyLength];
  key_into(bytes);
  return {bytes, sizeof bytes};
}

void ItemRow::key_into(char (&key)[report::kKeyLength]) const {
  // The key bytes of apply() over a blank item, without building the item.
  static const report::ItemArea blank = blank_item();
  for (int i = 0; i < report::kKeyLength; ++i) key[i] = static_cast<char>(sets(i) ? values[i] : blank[i]);
}

void ItemRow::apply(report::ItemArea& base) const {
  // A row usually sets whole stretches of 64 bytes.
  for (int w = 0; w < static_cast<int>(set.size()); ++w) {
    if (set[w] == ~std::uint64_t{0}) {
      std::memcpy(base.data() + 64 * w, values.data() + 64 * w, 64);
      continue;
    }
    for (std::uint64_t bits = set[w]; bits != 0; bits &= bits - 1) {
      const int i = 64 * w + std::countr_zero(bits);
      base[i] = values[i];
    }
  }
}

bool ItemColumns::set_header(std::span<const std::string_view> header, int line, std::string& error) {
  columns_.clear();
  bytes_.clear();
  stock_index_ = long_name_ = -1;
  ItemRow covered;
  bool has_stock_index = false;
  for (std::size_t i = 0; i < header.size(); ++i) {
    const Field* f = find_column(header[i]);
    const std::string at = where(line, static_cast<int>(i) + 1, header[i]);
    if (f == nullptr) {
      error = at + "unknown column";
      return false;
    }
    ByteSet bytes{};
    for (int b = f->offset; b < f->offset + f->width; ++b) {
      if (covered.sets(b)) {
        error = at + "repeats bytes another column already sets";
        return false;
      }
      covered.set[b / 64] |= std::uint64_t{1} << (b % 64);
      bytes[b / 64] |= std::uint64_t{1} << (b % 64);
    }
    has_stock_index |= f->offset == item::StockIndex.offset;
    if (f->offset == item::StockIndex.offset) stock_index_ = static_cast<int>(i);
    if (f->name == item::LongName.name) long_name_ = static_cast<int>(i);
    columns_.push_back(f);
    bytes_.push_back(bytes);
  }
  if (!has_stock_index) {
    error = "line " + std::to_string(line) + ": the header names no StockIndex column";
    return false;
  }
  return true;
}

bool ItemColumns::parse_row(std::span<const std::string_view> cells, int line, ImportMode mode, ItemRow& row,
                            std::string& error) const {
  if (cells.size() != columns_.size()) {
    error = "line " + std::to_string(line) + ": " + std::to_string(cells.size()) + " fields, the header has " +
            std::to_string(columns_.size());
    return false;
  }
  row.line = line;
  std::string problem, bytes;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const Field& f = *columns_[i];
    // The place is spelled out only for an error: most rows have none.
    const auto fault = [&] {
      error = where(line, static_cast<int>(i) + 1, f.name) + problem;
      return false;
    };
    std::string_view cell = cells[i];
    if (mode == ImportMode::kChecked && f.offset == item::StockIndex.offset &&
        cell.find_first_not_of(' ') == std::string_view::npos) {
      problem = "StockIndex is empty";
      return fault();
    }
    if (cell.empty()) continue;
    if (f.kind == FieldKind::kText) {
      if (!latin1::decode(cell, bytes, cell, problem)) return fault();
      std::string_view trimmed = cell;
      while (!trimmed.empty() && trimmed.back() == ' ') trimmed.remove_suffix(1);
      if (mode == ImportMode::kChecked) problem = text_problem(f, trimmed);
      if (!problem.empty()) return fault();
    }
    if (!put_cell(f, cell, row, problem)) return fault();
    for (std::size_t w = 0; w < row.set.size(); ++w) row.set[w] |= bytes_[i][w];
  }
  return true;
}

bool FileHeadings::given(report::control::Heading side) const {
  for (const int line : lines[static_cast<int>(side)])
    if (line != 0) return true;
  return false;
}

ItemColumns::HeadingRow ItemColumns::parse_heading_row(std::span<const std::string_view> cells, int line,
                                                       ImportMode mode, FileHeadings& headings,
                                                       std::string& error) const {
  report::control::Heading side{};
  int n = 0;
  if (cells.size() != columns_.size() || stock_index_ < 0 ||
      !headings::parse_row_name(cells[static_cast<std::size_t>(stock_index_)], side, n))
    return HeadingRow::kNo;
  const auto s = static_cast<int>(side);
  for (std::size_t i = 0; i < cells.size(); ++i)
    if (!cells[i].empty() && static_cast<int>(i) != stock_index_ && static_cast<int>(i) != long_name_) {
      error = where(line, static_cast<int>(i) + 1, columns_[i]->name) +
              "a heading row holds its text in LongName alone; this cell must be empty";
      return HeadingRow::kFault;
    }
  std::string bytes;
  const std::string_view cell = long_name_ < 0 ? std::string_view() : cells[static_cast<std::size_t>(long_name_)];
  if (const std::string problem = headings::line_problem(cell, bytes, mode == ImportMode::kChecked); !problem.empty()) {
    error = where(line, long_name_ + 1, item::LongName.name) + headings::row_name(side, n) + ": " + problem;
    return HeadingRow::kFault;
  }
  int& given = headings.lines[s][n];
  if (given != 0) {
    error = "lines " + std::to_string(given) + " and " + std::to_string(line) + " give the same heading line " +
            headings::row_name(side, n) + "; give each line one row";
    return HeadingRow::kFault;
  }
  if (!headings.given(side)) headings.text[s].fill(' ');
  given = line;
  std::copy(bytes.begin(), bytes.end(), headings.text[s].begin() + n * report::control::kHeadingLineWidth);
  return HeadingRow::kTaken;
}

std::vector<std::string> export_heading_row(report::control::Heading side, int n, std::string_view line) {
  std::vector<std::string> cells;
  for (const Field* f : export_columns())
    cells.push_back(f->name == item::StockIndex.name ? headings::row_name(side, n)
                    : f->name == item::LongName.name ? latin1::to_utf8(line)
                                                     : std::string());
  return cells;
}

std::vector<std::string> export_header() {
  std::vector<std::string> names;
  for (const Field* f : export_columns()) names.emplace_back(f->name);
  return names;
}

std::vector<std::string> export_row(const report::ItemArea& item) {
  std::vector<std::string> cells;
  for (const Field* f : export_columns()) cells.push_back(cell_of(item, *f));
  return cells;
}

std::string refused_text(const report::ItemArea& item) {
  for (const Field* f : export_columns()) {
    if (f->kind != FieldKind::kText) continue;
    const std::string problem = text_problem(*f, trimmed_text(item, *f));
    if (!problem.empty()) return std::string(f->name) + " " + problem;
  }
  return "";
}

namespace {

// The keys of the rows read so far: an open-addressing table of row numbers.
class KeyTable {
 public:
  // Enters the key of rows[r]; the line of an earlier row with the same key,
  // or 0.
  int enter(const std::vector<ItemRow>& rows, std::size_t r) {
    if (2 * (count_ + 1) > slots_.size()) grow();
    Key key;
    rows[r].key_into(key.bytes);
    const std::uint32_t hash = key.hash();
    for (std::size_t i = hash & (slots_.size() - 1);; i = (i + 1) & (slots_.size() - 1)) {
      Slot& slot = slots_[i];
      if (slot.row == 0) {
        slot = {static_cast<std::uint32_t>(r + 1), hash};
        ++count_;
        return 0;
      }
      if (slot.hash != hash) continue;
      Key other;
      rows[slot.row - 1].key_into(other.bytes);
      if (std::memcmp(key.bytes, other.bytes, sizeof key.bytes) == 0) return rows[slot.row - 1].line;
    }
  }

 private:
  struct Key {
    char bytes[report::kKeyLength];
    std::uint32_t hash() const {
      return static_cast<std::uint32_t>(std::hash<std::string_view>()({bytes, sizeof bytes}));
    }
  };
  struct Slot {
    std::uint32_t row = 0;  // 1-based; 0: empty
    std::uint32_t hash = 0;
  };
  void grow() {
    std::vector<Slot> old(std::max<std::size_t>(1024, 2 * slots_.size()));
    old.swap(slots_);
    for (const Slot& s : old) {
      if (s.row == 0) continue;
      std::size_t i = s.hash & (slots_.size() - 1);
      while (slots_[i].row != 0) i = (i + 1) & (slots_.size() - 1);
      slots_[i] = s;
    }
  }
  std::vector<Slot> slots_;
  std::size_t count_ = 0;
};

std::size_t count_lines(std::string_view text) {
  std::size_t lines = 0;
  for (const char *p = text.data(), *end = p + text.size();
       (p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)))) != nullptr; ++p)
    ++lines;
  return lines + 1;
}

}  // namespace

bool parse_item_csv(std::string_view text, std::vector<ItemRow>& rows, std::string& error, ImportMode mode,
                    FileHeadings* headings) {
  rows.clear();
  FileHeadings ignored;
  FileHeadings& file_headings = headings != nullptr ? *headings : ignored;
  file_headings = {};
  csv::Reader reader(text);
  csv::RecordView record;
  // The first fault of the items; a malformed record anywhere in the text
  // is reported before it.
  std::string fault;
  const bool header = reader.next(record);
  if (header) {
    ItemColumns columns;
    if (columns.set_header(record.fields, record.line, fault)) {
      // About a row a line, and no more rows than a record file has blocks
      // (a text of empty lines must not reserve room for millions).
      rows.reserve(std::min<std::size_t>(count_lines(text), std::size_t{1} << 15));
      KeyTable keys;
      while (reader.next(record)) {
        const auto heading = columns.parse_heading_row(record.fields, record.line, mode, file_headings, fault);
        if (heading == ItemColumns::HeadingRow::kFault) break;
        if (heading == ItemColumns::HeadingRow::kTaken) continue;
        ItemRow& row = rows.emplace_back();
        if (!columns.parse_row(record.fields, record.line, mode, row, fault)) break;
        if (const int earlier = keys.enter(rows, rows.size() - 1); earlier != 0) {
          fault = "lines " + std::to_string(earlier) + " and " + std::to_string(row.line) +
                  " name the same item (StockIndex and KeyRest); give each item one row";
          break;
        }
      }
    }
    while (reader.next(record)) {}
  }
  if (reader.failed()) {
    const csv::ParseError& e = reader.error();
    error = "line " + std::to_string(e.line) + ", column " + std::to_string(e.column) + ": " + e.message;
    return false;
  }
  if (!header) fault = "no header row";
  if (fault.empty()) return true;
  error = fault;
  return false;
}

}  // namespace invdb
