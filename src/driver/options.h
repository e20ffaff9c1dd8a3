// The command line: the option lookup, the database-name step and the run
// date text.
//
// Options are words of the command line followed by their value word:
//   -RPT nn      report number, exactly 2 characters, 01 to 15
//   -F name      database name; its first 8 characters are used
//   -DT mmddyy   run date, exactly 6 characters, taken without validation
// An option word matches only exactly (case and length); the first
// occurrence counts; a value never begins with "-", so an option followed by
// another option has no value.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <span>
#include <string_view>

#include "report_common/run_context.h"

namespace driver {

// The command line's words after the program's own name.
using Words = std::span<const std::string_view>;

// Every option's value is looked up into an area of 14 characters.
inline constexpr int kValueAreaLength = 14;
using ValueArea = std::array<char, kValueAreaLength>;

// Looks `name` up among `words`.  Returns -1 when it is absent, 0 when it is
// present without a value (last word, or followed by a word beginning with
// "-"), otherwise the number of characters copied from the value into the
// front of `area`: min(value length, area size).  Characters of the area
// beyond the copied ones are left as they were.
std::int16_t find_option(Words words, std::string_view name, std::span<char> area);

// Database name: 8 characters, blank-padded.
using DatabaseName = std::array<char, 8>;

// The prompt shown when "-F" gives no name.
inline constexpr std::string_view kNamePrompt = " NNNNNNNN      INPUT   File name ";

// The database name from "-F", or else from one console line read after the
// prompt (end of input counts as an empty line).  Characters with codes
// outside 44 (",") to 122 ("z"), bytes above 127 included, become blanks, so
// the file names end at the first such character.
DatabaseName database_name(Words words, std::FILE* console_in, std::FILE* console_out);

// The run date text MM-DD-YY from `today` (a local calendar date), replaced
// by a 6-character "-DT" value taken as it is.
report::RunDate run_date_text(Words words, const std::tm& today);

// Today's date by the local clock.
std::tm local_today();

}  // namespace driver
