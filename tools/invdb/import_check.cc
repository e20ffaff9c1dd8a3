#include "invdb/import_check.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <unordered_map>

#include "invdb/csv.h"
#include "report_common/latin1.h"

namespace invdb {

namespace item = report::item;
using report::Field;

namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

// The column a header name means, case aside; null when none.
const Field* column_named(std::string_view name) {
  if (const Field* exact = find_column(name)) return exact;
  for (const Field* f : export_columns())
    if (same_ignoring_case(f->name, name)) return f;
  if (same_ignoring_case(item::RenterPhone.name, name)) return &item::RenterPhone;
  return nullptr;
}

std::string valid_names() {
  std::string names;
  for (const Field* f : export_columns()) names += (names.empty() ? "" : ", ") + std::string(f->name);
  return names + " and " + std::string(item::RenterPhone.name);
}

// The money columns: the decimals of their unit and its name.
struct MoneyColumn {
  int offset;
  int decimals;
  std::string_view unit;
};
constexpr MoneyColumn kMoney[] = {
    {item::Price.offset, 3, "thousandths"},      {item::UntCost.offset, 3, "thousandths"},
    {item::CycPurchAmt.offset, 2, "hundredths"}, {item::YTDPurchAmt.offset, 2, "hundredths"},
    {item::CycSalesAmt.offset, 2, "hundredths"}, {item::YTDSalesAmt.offset, 2, "hundredths"},
};

const MoneyColumn* money_column(const Field& f) {
  for (const MoneyColumn& m : kMoney)
    if (m.offset == f.offset) return &m;
  return nullptr;
}

// A number of currency units ("4.99", "-5", "0.5") in the column's units,
// as decimal text; empty when the cell is not such a number.
std::string in_units(std::string_view cell, int decimals, bool& too_many_decimals) {
  too_many_decimals = false;
  std::string_view rest = cell;
  std::string sign;
  if (!rest.empty() && (rest.front() == '-' || rest.front() == '+')) {
    if (rest.front() == '-') sign = "-";
    rest.remove_prefix(1);
  }
  const std::size_t point = rest.find('.');
  std::string_view whole = rest.substr(0, point);
  std::string_view fraction = point == std::string_view::npos ? std::string_view() : rest.substr(point + 1);
  const auto digits = [](std::string_view t) {
    return std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if ((whole.empty() && fraction.empty()) || !digits(whole) || !digits(fraction)) return {};
  if (fraction.size() > static_cast<std::size_t>(decimals)) {
    too_many_decimals = true;
    return {};
  }
  std::string units = std::string(whole) + std::string(fraction) + std::string(decimals - fraction.size(), '0');
  const std::size_t first = std::min(units.find_first_not_of('0'), units.size() - 1);
  return sign + units.substr(first);
}

// "4990" for "4.99" in thousandths: the cell as the record's units, for the
// refusal's hint; empty when it is no number with a point.
std::string hint_units(std::string_view cell, int decimals) {
  if (cell.find('.') == std::string_view::npos) return {};
  bool too_many = false;
  std::string units = in_units(cell, decimals, too_many);
  if (too_many) {
    // More decimals than the unit: the hint rounds to the unit.
    const std::size_t point = cell.find('.');
    units = in_units(cell.substr(0, point + 1 + decimals), decimals, too_many);
  }
  return units;
}

std::string where(int line, int column, std::string_view name) {
  return "line " + std::to_string(line) + ", column " + std::to_string(column) + " (" + std::string(name) + "): ";
}

bool all_digits(std::string_view t) {
  return !t.empty() && std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string_view trimmed(std::string_view t) { return t.substr(0, t.find_last_not_of(' ') + 1); }

// An item's key, as the table of the keys read so far holds it.
struct Key {
  char bytes[report::kKeyLength];
  bool operator==(const Key& other) const { return std::memcmp(bytes, other.bytes, sizeof bytes) == 0; }
};
struct KeyHash {
  std::size_t operator()(const Key& k) const { return std::hash<std::string_view>()({k.bytes, sizeof k.bytes}); }
};

// A message "line L, column K ..." about the K-th column read, with K made
// that column's place in the file (columns skipped before it count).
std::string in_file_columns(std::string message, int line, const std::vector<std::size_t>& kept) {
  const std::string prefix = "line " + std::to_string(line) + ", column ";
  if (!message.starts_with(prefix)) return message;
  std::size_t end = prefix.size();
  std::size_t n = 0;
  while (end < message.size() && message[end] >= '0' && message[end] <= '9') n = n * 10 + (message[end++] - '0');
  if (n < 1 || n > kept.size()) return message;
  return prefix + std::to_string(kept[n - 1] + 1) + message.substr(end);
}

}  // namespace

bool parse_import_flags(const Args& args, ImportFlags& flags, std::string& bad) {
  for (std::size_t i = 2; i < args.size(); ++i) {
    const std::string_view word = args[i];
    if (word == "--restore") {
      flags.restore = true;
    } else if (word == "--dry-run") {
      flags.dry_run = true;
    } else if (word == "--json") {
      flags.json = true;
    } else if (word == "--decimal-money") {
      flags.decimal_money = true;
    } else if (word == "--ignore-unknown") {
      flags.ignore_unknown = true;
    } else {
      bad = std::string(word);
      return false;
    }
  }
  return true;
}

bool check_import_text(std::string_view text, const ImportFlags& flags, ImportCheck& check) {
  const ImportMode mode = flags.restore ? ImportMode::kRestore : ImportMode::kChecked;
  std::vector<std::string> row_problems;
  std::size_t row_problem_count = 0;
  std::string read_problem;  // a malformed record: reported first
  const auto problem = [&](std::string words) {
    if (row_problems.size() < kProblemsShown) row_problems.push_back(std::move(words));
    ++row_problem_count;
  };

  csv::Reader reader(text);
  csv::RecordView record;
  const bool header = reader.next(record);
  std::vector<std::size_t> kept;        // the file's column of each column read
  std::vector<std::string_view> names;  // their field names
  ItemColumns columns;
  bool columns_ok = false;
  const std::size_t header_size = header ? record.fields.size() : 0;
  if (header) {
    for (std::size_t i = 0; i < record.fields.size(); ++i) {
      const std::string_view name = record.fields[i];
      const Field* f = column_named(name);
      if (f == nullptr && flags.ignore_unknown) {
        check.notes.push_back("column " + std::to_string(i + 1) + " (" + std::string(name) +
                              ") is no item field; it is skipped");
      } else if (f == nullptr) {
        problem(where(record.line, static_cast<int>(i) + 1, name) + "unknown column; the columns are " + valid_names() +
                " (--ignore-unknown skips the others)");
      } else {
        kept.push_back(i);
        names.push_back(f->name);
      }
    }
    std::string error;
    // Unknown columns are refused, but the rows are still read through the
    // others, so that one run names every problem.
    columns_ok = columns.set_header(names, record.line, error);
    if (!columns_ok) problem(in_file_columns(error, record.line, kept));
  }

  if (columns_ok) {
    std::vector<const Field*> fields;
    std::vector<const MoneyColumn*> money;
    for (const std::string_view n : names) {
      fields.push_back(find_column(n));
      money.push_back(money_column(*fields.back()));
    }
    // About a row a line, and no more rows than a record file has blocks
    // (a text of empty lines must not reserve room for millions).
    const std::size_t expected = std::min<std::size_t>(
        static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1, std::size_t{1} << 15);
    check.rows.reserve(expected);
    std::unordered_map<Key, int, KeyHash> lines_of_keys;
    lines_of_keys.reserve(expected);
    std::vector<std::string_view> cells(kept.size());
    std::deque<std::string> converted;
    while (reader.next(record)) {
      bool bad = false;
      if (record.fields.size() != header_size) {
        problem("line " + std::to_string(record.line) + ": " + std::to_string(record.fields.size()) +
                " fields, the header has " + std::to_string(header_size));
        continue;
      }
      converted.clear();
      for (std::size_t c = 0; c < kept.size(); ++c) {
        std::string_view cell = record.fields[kept[c]];
        if (const MoneyColumn* m = money[c]; m != nullptr && !cell.empty()) {
          const std::string at = where(record.line, static_cast<int>(kept[c]) + 1, fields[c]->name);
          if (flags.decimal_money) {
            bool too_many = false;
            const std::string units = in_units(cell, m->decimals, too_many);
            if (units.empty()) {
              problem(at + "\"" + std::string(cell) + "\" " +
                      (too_many ? "has more decimals than " + std::string(m->unit) + " hold"
                                : "is not an amount in currency units"));
              bad = true;
              break;
            }
            cell = converted.emplace_back(units);
          } else if (const std::string units = hint_units(cell, m->decimals); !units.empty()) {
            problem(at + std::string(fields[c]->name) + " is in " + std::string(m->unit) + ": " + std::string(cell) +
                    " is " + units + " (--decimal-money takes currency units)");
            bad = true;
            break;
          }
        }
        cells[c] = cell;
      }
      if (bad) continue;
      std::string error;
      const auto heading = columns.parse_heading_row(cells, record.line, mode, check.headings, error);
      if (heading == ItemColumns::HeadingRow::kFault) {
        problem(in_file_columns(error, record.line, kept));
        continue;
      }
      if (heading == ItemColumns::HeadingRow::kTaken) continue;
      ItemRow& row = check.rows.emplace_back();
      if (!columns.parse_row(cells, record.line, mode, row, error)) {
        check.rows.pop_back();
        problem(in_file_columns(error, record.line, kept));
        continue;
      }
      Key key;
      row.key_into(key.bytes);
      const auto [it, fresh] = lines_of_keys.emplace(key, row.line);
      if (!fresh) {
        problem("lines " + std::to_string(it->second) + " and " + std::to_string(row.line) +
                " name the same item (StockIndex and KeyRest); give each item one row");
        check.rows.pop_back();
      }
    }
  }
  while (reader.next(record)) {}
  if (reader.failed()) {
    const csv::ParseError& e = reader.error();
    read_problem = "line " + std::to_string(e.line) + ", column " + std::to_string(e.column) + ": " + e.message;
  }
  if (!header && read_problem.empty()) read_problem = "no header row";
  check.problems.clear();
  check.problem_count = row_problem_count;
  if (!read_problem.empty()) {
    check.problems.push_back(read_problem);
    ++check.problem_count;
  }
  for (std::string& p : row_problems)
    if (check.problems.size() < kProblemsShown) check.problems.push_back(std::move(p));
  return check.problem_count == 0;
}

void print_problems(const ImportCheck& check, std::string_view shown_file, const Io& io) {
  for (const std::string& p : check.problems) io.fail(std::string(shown_file) + ": " + p);
  if (check.problem_count > check.problems.size())
    io.fail(std::string(shown_file) + ": and " + std::to_string(check.problem_count - check.problems.size()) +
            " more problems");
  if (check.problem_count > 1)
    io.fail(std::string(shown_file) + ": " + std::to_string(check.problem_count) +
            " problems in all; nothing was imported");
}

void LeadingZeros::observe(const report::ItemArea& before, const report::ItemArea& after) {
  for (const Field* f : export_columns()) {
    if (f->kind != report::FieldKind::kText) continue;
    const std::string_view old_text = trimmed(report::text(before, *f));
    const std::string_view new_text = trimmed(report::text(after, *f));
    if (old_text.size() <= new_text.size() || !all_digits(old_text) || !all_digits(new_text)) continue;
    const std::size_t zeros = old_text.size() - new_text.size();
    if (old_text.find_first_not_of('0') < zeros || old_text.substr(zeros) != new_text) continue;
    auto c = std::find_if(columns_.begin(), columns_.end(), [f](const Column& col) { return col.field == f; });
    if (c == columns_.end())
      c = columns_.insert(columns_.end(), Column{f, 0, std::string(old_text), std::string(new_text)});
    ++c->items;
  }
}

std::vector<std::string> LeadingZeros::warnings(bool would) const {
  std::vector<std::string> lines;
  for (const Column& c : columns_)
    lines.push_back("warning: " + std::string(c.field->name) + ": " + std::to_string(c.items) +
                    (c.items == 1 ? " item " : " items ") + (would ? "would lose" : "lost") +
                    " the leading zeros of a digit-only text (" + c.example_old + " " +
                    (would ? "would become " : "became ") + c.example_new +
                    "), as when a spreadsheet reads the column as numbers; "
                    "keep the column as text to keep them");
  return lines;
}

std::string shown_item(const report::ItemArea& item) {
  std::string shown = report::latin1::to_utf8(trimmed(report::text(item, item::StockIndex)));
  const std::string_view rest = trimmed(report::text(item, item::KeyRest));
  if (!rest.empty()) shown += " " + report::latin1::to_utf8(rest);
  return shown;
}

}  // namespace invdb
