// Notes on standard error about a command line that will not do what it
// seems to ask.  They change nothing: the run goes on exactly as it would
// without them (standard output and the exit status are the same).
//
//   an option word in another case ("-rpt", "-f", "--Dept"): it is not an
//     option, since names are matched exactly;
//   --help, -h or --version among other words: taken only alone;
//   -DT not six digits: today's date is used instead (a value of another
//     length), or the value is printed as it stands (six characters that are
//     not digits, or not a real date: the period label then names January
//     for a month that is not 1 to 12);
//   -F longer than 8 characters (only the first 8 name the database),
//     holding a character that ends the name (outside "," to "z"), or
//     naming a directory (the report files are written, and StoreSales.csv
//     read, in the directory the program runs in, not the database's).
#pragma once

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "driver/options.h"

namespace driver {

// The notes for `words`, each one line without the "invreport: " prefix.
std::vector<std::string> command_line_notes(Words words, const std::tm& today);

// Why "-RPT" gives no report: missing, without a value, not two characters,
// or not a number 1 to 15.  Empty when it names a report.
std::string report_number_problem(Words words);

}  // namespace driver
