#include "driver/options.h"

#include <algorithm>
#include <string>

#include "driver/console.h"
#include "report_common/field_routines.h"

namespace driver {

std::int16_t find_option(Words words, std::string_view name, std::span<char> area) {
  const auto hit = std::find(words.begin(), words.end(), name);
  if (hit == words.end()) return -1;
  if (hit + 1 == words.end()) return 0;
  const std::string_view value = *(hit + 1);
  if (value.starts_with('-')) return 0;
  const std::size_t count = std::min(value.size(), area.size());
  std::copy_n(value.data(), count, area.data());
  return static_cast<std::int16_t>(count);
}

namespace {

// Codes 44 (",") to 122 ("z") survive in a database name; a byte above 127
// is a negative char and so counts as below 44.
bool allowed_in_name(char c) { return c >= ',' && c <= 'z'; }

}  // namespace

DatabaseName database_name(Words words, std::FILE* console_in, std::FILE* console_out) {
  DatabaseName name;
  name.fill(' ');
  ValueArea value;
  value.fill(' ');
  const std::int16_t count = find_option(words, "-F", value);
  if (count > 0) {
    std::copy_n(value.data(), std::min<int>(count, name.size()), name.data());
  } else {
    write_line(console_out, kNamePrompt);
    std::fflush(console_out);
    const std::string line = read_line(console_in, name.size());
    std::copy(line.begin(), line.end(), name.data());
  }
  std::replace_if(
      name.begin(), name.end(), [](char c) { return !allowed_in_name(c); }, ' ');
  return name;
}

report::RunDate run_date_text(Words words, const std::tm& today) {
  // Date text MMDDYY: each element two digits with a leading zero, the year
  // as its last two digits.
  std::array<char, 6> date;
  report::int_to_digits(static_cast<std::int16_t>(today.tm_mon + 1), std::span(date).subspan(0, 2), 2);
  report::int_to_digits(static_cast<std::int16_t>(today.tm_mday), std::span(date).subspan(2, 2), 2);
  report::int_to_digits(static_cast<std::int16_t>((today.tm_year + 1900) % 100), std::span(date).subspan(4, 2), 2);

  ValueArea value;
  value.fill(' ');
  if (find_option(words, "-DT", value) == 6) std::copy_n(value.data(), 6, date.data());

  return {date[0], date[1], '-', date[2], date[3], '-', date[4], date[5]};
}

std::tm local_today() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

}  // namespace driver
