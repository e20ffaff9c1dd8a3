#include "invdb/item_csv.h"

#include <charconv>
#include <cstdint>
#include <limits>

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
    case FieldKind::kText: return trimmed_text(item, f);
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

std::optional<ItemRow> ItemColumns::parse_row(const std::vector<std::string>& cells, int line,
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
    if (f.offset == item::StockIndex.offset && cells[i].find_first_not_of(' ') == std::string::npos) {
      error = at() + "StockIndex is empty";
      return std::nullopt;
    }
    if (cells[i].empty()) continue;
    std::string problem;
    if (!put_cell(f, cells[i], row, problem)) {
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

bool parse_item_csv(std::string_view text, std::vector<ItemRow>& rows, std::string& error) {
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
  for (std::size_t i = 1; i < records.size(); ++i) {
    auto row = columns.parse_row(records[i].fields, records[i].line, error);
    if (!row) return false;
    rows.push_back(std::move(*row));
  }
  return true;
}

}  // namespace invdb
