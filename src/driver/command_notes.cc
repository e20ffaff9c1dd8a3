#include "driver/command_notes.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>

#include "driver/period_calendar.h"
#include "report_common/field_routines.h"

namespace driver {

namespace {

constexpr std::array<std::string_view, 8> kOptionNames{"-RPT",     "-F",    "-DT",    "--dept",
                                                       "--vendor", "--cat", "--from", "--to"};

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_but_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && a != b &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

// The value word of the first `name`, as find_option takes it: absent when
// the option is missing, empty when it has no value.
std::optional<std::string_view> option_value(Words words, std::string_view name) {
  const auto hit = std::find(words.begin(), words.end(), name);
  if (hit == words.end()) return std::nullopt;
  if (hit + 1 == words.end() || (hit + 1)->starts_with('-')) return std::string_view();
  return *(hit + 1);
}

std::string shown_date(const report::RunDate& date) { return std::string(date.data(), date.size()); }

std::string period_words(const report::RunDate& date) {
  const std::array<char, 12> label = period_label(date);
  std::string text(label.data(), label.size());
  text.erase(std::unique(text.begin(), text.end(), [](char a, char b) { return a == ' ' && b == ' '; }), text.end());
  return text;
}

// Why six digits MMDDYY are not a real date, or empty.
std::string date_problem(std::string_view digits) {
  const int month = (digits[0] - '0') * 10 + (digits[1] - '0');
  const int day = (digits[2] - '0') * 10 + (digits[3] - '0');
  const int year = (digits[4] - '0') * 10 + (digits[5] - '0');
  if (month < 1 || month > 12) return "there is no month " + std::string(digits.substr(0, 2));
  constexpr std::array<int, 12> kDays{31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const int days = month == 2 ? (year % 4 == 0 ? 29 : 28) : kDays[month - 1];
  if (day < 1 || day > days)
    return "month " + std::string(digits.substr(0, 2)) + " has no day " + std::string(digits.substr(2, 2));
  return {};
}

void date_notes(Words words, const std::tm& today, std::vector<std::string>& notes) {
  const std::optional<std::string_view> value = option_value(words, "-DT");
  if (!value) return;
  const report::RunDate used = run_date_text(words, today);
  ValueArea area;
  const std::int16_t count = find_option(words, "-DT", area);
  if (count != 6) {
    notes.push_back((value->empty() ? std::string("-DT has no value")
                                    : "-DT " + quoted(*value) + ": the run date takes six digits, MMDDYY") +
                    "; today's date " + shown_date(used) + " is used instead");
    return;
  }
  const bool digits = std::all_of(value->begin(), value->end(), [](char c) { return c >= '0' && c <= '9'; });
  const std::string problem = digits ? date_problem(*value) : "it is not six digits";
  if (problem.empty()) return;
  notes.push_back("-DT " + quoted(*value) + ": not a real date (" + problem + "); the page headers print it as " +
                  shown_date(used) + ", with the period " + quoted(period_words(used)));
}

std::string shown_char(char c) {
  if (c == ' ') return "a blank";
  const auto byte = static_cast<unsigned char>(c);
  if (byte < 32 || byte > 126) {
    constexpr std::string_view kHex = "0123456789ABCDEF";
    return std::string("the byte 0x") + kHex[byte >> 4] + kHex[byte & 15];
  }
  return "\"" + std::string(1, c) + "\"";
}

void name_notes(Words words, std::vector<std::string>& notes) {
  const std::optional<std::string_view> value = option_value(words, "-F");
  if (!value || value->empty()) return;
  const std::string given = "-F " + quoted(*value);
  constexpr std::size_t kNameLength = std::tuple_size_v<DatabaseName>;
  std::string_view used = value->substr(0, kNameLength);
  if (value->size() > kNameLength)
    notes.push_back(given + ": a database name has at most 8 characters; the first 8, " + quoted(used) + ", are taken");
  const auto stop = std::find_if(used.begin(), used.end(), [](char c) { return c < ',' || c > 'z'; });
  if (stop != used.end()) {
    const std::string_view before = used.substr(0, static_cast<std::size_t>(stop - used.begin()));
    notes.push_back(given + ": " + shown_char(*stop) +
                    " cannot stand in a database name, so the name ends before it: " + quoted(before));
    used = before;
  }
  const std::size_t slash = value->rfind('/');
  if (slash != std::string_view::npos) {
    const std::string_view directory = slash == 0 ? std::string_view("/") : value->substr(0, slash);
    notes.push_back(given + ": the name holds a directory, but invreport writes its report (and report 12 reads " +
                    "StoreSales.csv) in the directory it runs in; run it in the database's directory: change to " +
                    quoted(directory) + " and give -F " + quoted(value->substr(slash + 1)));
  }
}

}  // namespace

std::vector<std::string> command_line_notes(Words words, const std::tm& today) {
  std::vector<std::string> notes;
  for (const std::string_view word : words) {
    for (const std::string_view name : kOptionNames)
      if (same_but_case(word, name))
        notes.push_back(quoted(word) + " is not an option: option names are exact, case included (" +
                        std::string(name) + ")");
    if (words.size() > 1 && (word == "--help" || word == "-h" || word == "--version"))
      notes.push_back(std::string(word) + " is taken only alone: invreport " + std::string(word));
  }
  date_notes(words, today, notes);
  name_notes(words, notes);
  return notes;
}

std::string report_number_problem(Words words) {
  const std::optional<std::string_view> value = option_value(words, "-RPT");
  constexpr std::string_view kList = "; the reports are 01 to 15 (invreport --help lists them)";
  if (!value) return "no -RPT option: give the report as -RPT NN" + std::string(kList);
  if (value->empty()) return "-RPT has no value: give the report number in two characters" + std::string(kList);
  const std::string given = "-RPT " + quoted(*value);
  if (value->size() != 2) {
    std::string text = given + ": the report number takes exactly two characters";
    if (value->size() == 1 && (*value)[0] >= '1' && (*value)[0] <= '9') text += ", as in 0" + std::string(*value);
    return text + std::string(kList);
  }
  const std::int32_t number = report::text_to_int(*value, 2);
  if (number >= 1 && number <= 15) return {};
  return given + ": no such report" + std::string(kList);
}

}  // namespace driver
