#include "invdb/item_csv.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <map>

#include "invdb/csv.h"

namespace invdb {

namespace item = report::item;
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

// The text fields that the comma-separated reports print unquoted, and which
// of those reports print them.
struct UnquotedField {
  int offset;
  std::string_view reports;
};
constexpr UnquotedField kUnquoted[] = {
    {item::StockIndex.offset, "2, 6 and 15"}, {item::ShortName.offset, "2"},
    {item::Vendor.offset, "2, 6 and 15"},     {item::LongName.offset, "6 and 15"},
    {item::Alternate.offset, "6 and 15"},
};

bool is_control(unsigned char c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

std::string hex_byte(unsigned char c) {
  constexpr std::string_view kUpper = "0123456789ABCDEF";
  return std::string("0x") + kUpper[c >> 4] + kUpper[c & 15];
}

// Why a checked import refuses these bytes of the text field `f` (trailing
// blanks dropped), or "".
std::string text_problem(const Field& f, std::string_view bytes) {
  const bool key = f.offset == item::StockIndex.offset || f.offset == item::KeyRest.offset;
  if (key && !bytes.empty() && static_cast<unsigned char>(bytes.front()) < ' ')
    return "starts with the byte " + hex_byte(static_cast<unsigned char>(bytes.front())) +
           ", below the blank: the report walk would never reach the item";
  for (std::size_t i = 0; i < bytes.size(); ++i)
    if (is_control(static_cast<unsigned char>(bytes[i])))
      return "character " + std::to_string(i + 1) + " is the control character " +
             hex_byte(static_cast<unsigned char>(bytes[i])) + ", which the reports cannot print";
  for (const UnquotedField& u : kUnquoted)
    if (u.offset == f.offset && bytes.find_first_of(",\"") != std::string_view::npos)
      return "holds a comma or double quote, which would split the records of the comma-separated report" +
             std::string(u.reports.size() > 1 ? "s " : " ") + std::string(u.reports) + " (they print " +
             std::string(f.name) + " unquoted)";
  if (key && bytes.find(' ') != std::string_view::npos) return "holds a blank, which has no place inside a key";
  return "";
}

// UTF-8 text as record bytes: U+0000 to U+00FF become the byte of the same
// value; anything else is refused.
bool utf8_to_bytes(std::string_view cell, std::string& bytes, std::string& problem) {
  bytes.clear();
  for (std::size_t i = 0; i < cell.size();) {
    const auto c = static_cast<unsigned char>(cell[i]);
    const int column = static_cast<int>(bytes.size()) + 1;
    if (c < 0x80) {
      bytes += static_cast<char>(c);
      ++i;
      continue;
    }
    int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
    char32_t code = length == 4 ? c & 0x07u : length == 3 ? c & 0x0Fu : c & 0x1Fu;
    bool valid = length > 0 && c <= 0xF4 && i + length <= cell.size();
    for (int k = 1; valid && k < length; ++k) {
      const auto t = static_cast<unsigned char>(cell[i + k]);
      valid = (t & 0xC0) == 0x80;
      code = code << 6 | (t & 0x3Fu);
    }
    if (!valid || code < 0x80 || (length == 3 && code < 0x800) || (length == 4 && code < 0x10000)) {
      problem = "character " + std::to_string(column) + " is not UTF-8 text (byte " + hex_byte(c) + ")";
      return false;
    }
    if (code > 0xFF) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(code));
      problem = "character " + std::to_string(column) + " (" + hex +
                ") does not fit one byte; the record holds U+0000 to U+00FF only";
      return false;
    }
    bytes += static_cast<char>(code);
    i += static_cast<std::size_t>(length);
  }
  return true;
}

std::string bytes_to_utf8(std::string_view bytes) {
  std::string text;
  for (const char b : bytes) {
    const auto c = static_cast<unsigned char>(b);
    if (c < 0x80) {
      text += b;
    } else {
      text += static_cast<char>(0xC0 | c >> 6);
      text += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return text;
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
      report::set_text(row.values, f, cell);
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
    case FieldKind::kText: return bytes_to_utf8(trimmed_text(item, f));
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
  // The key bytes of apply() over a blank item, without building the item.
  static const report::ItemArea blank = blank_item();
  std::string key(reinterpret_cast<const char*>(blank.data()), report::kKeyLength);
  for (int i = 0; i < report::kKeyLength; ++i)
    if (set[i]) key[i] = static_cast<char>(values[i]);
  return key;
}

void ItemRow::apply(report::ItemArea& base) const {
  for (int i = 0; i < report::kItemSize; ++i)
    if (set[i]) base[i] = values[i];
}

bool ItemColumns::set_header(const std::vector<std::string>& header, int line, std::string& error) {
  columns_.clear();
  std::bitset<report::kItemSize> covered;
  bool has_stock_index = false;
  for (std::size_t i = 0; i < header.size(); ++i) {
    const Field* f = find_column(header[i]);
    const std::string at = where(line, static_cast<int>(i) + 1, header[i]);
    if (f == nullptr) {
      error = at + "unknown column";
      return false;
    }
    for (int b = f->offset; b < f->offset + f->width; ++b) {
      if (covered[b]) {
        error = at + "repeats bytes another column already sets";
        return false;
      }
      covered[b] = true;
    }
    has_stock_index |= f->offset == item::StockIndex.offset;
    columns_.push_back(f);
  }
  if (!has_stock_index) {
    error = "line " + std::to_string(line) + ": the header names no StockIndex column";
    return false;
  }
  return true;
}

std::optional<ItemRow> ItemColumns::parse_row(const std::vector<std::string>& cells, int line, ImportMode mode,
                                              std::string& error) const {
  if (cells.size() != columns_.size()) {
    error = "line " + std::to_string(line) + ": " + std::to_string(cells.size()) + " fields, the header has " +
            std::to_string(columns_.size());
    return std::nullopt;
  }
  ItemRow row;
  row.line = line;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const Field& f = *columns_[i];
    // The place is spelled out only for an error: most rows have none.
    const auto at = [&] { return where(line, static_cast<int>(i) + 1, f.name); };
    if (mode == ImportMode::kChecked && f.offset == item::StockIndex.offset &&
        cells[i].find_first_not_of(' ') == std::string::npos) {
      error = at() + "StockIndex is empty";
      return std::nullopt;
    }
    if (cells[i].empty()) continue;
    std::string problem, bytes;
    std::string_view cell = cells[i];
    if (f.kind == FieldKind::kText) {
      if (!utf8_to_bytes(cell, bytes, problem)) {
        error = at() + problem;
        return std::nullopt;
      }
      std::string_view trimmed = bytes;
      while (!trimmed.empty() && trimmed.back() == ' ') trimmed.remove_suffix(1);
      if (mode == ImportMode::kChecked) problem = text_problem(f, trimmed);
      if (!problem.empty()) {
        error = at() + problem;
        return std::nullopt;
      }
      cell = bytes;
    }
    if (!put_cell(f, cell, row, problem)) {
      error = at() + problem;
      return std::nullopt;
    }
    for (int b = f.offset; b < f.offset + f.width; ++b) row.set[b] = true;
  }
  return row;
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

bool parse_item_csv(std::string_view text, std::vector<ItemRow>& rows, std::string& error, ImportMode mode) {
  std::vector<csv::Record> records;
  csv::ParseError fault;
  if (!csv::parse(text, records, fault)) {
    error = "line " + std::to_string(fault.line) + ", column " + std::to_string(fault.column) + ": " + fault.message;
    return false;
  }
  if (records.empty()) {
    error = "no header row";
    return false;
  }
  ItemColumns columns;
  if (!columns.set_header(records.front().fields, records.front().line, error)) return false;
  rows.clear();
  rows.reserve(records.size() - 1);
  std::map<std::string, int> line_of_key;
  for (std::size_t i = 1; i < records.size(); ++i) {
    auto row = columns.parse_row(records[i].fields, records[i].line, mode, error);
    if (!row) return false;
    const auto [earlier, first] = line_of_key.emplace(row->key(), row->line);
    if (!first) {
      error = "lines " + std::to_string(earlier->second) + " and " + std::to_string(row->line) +
              " name the same item (StockIndex and KeyRest); give each item one row";
      return false;
    }
    rows.push_back(std::move(*row));
  }
  return true;
}

}  // namespace invdb
