// Comma-separated text as RFC 4180 describes it: records end at CR LF (a bare
// LF or CR is taken too), fields are separated by commas, and a field that
// holds a comma, a quote or a line break is enclosed in double quotes, with
// each quote inside doubled.  A quoted field may span lines.
//
// The reader keeps, for every record, the line on which it starts, so that a
// message about a field can name its line.  Empty lines are skipped, and a
// byte-order mark at the very start is ignored.  Fields are byte strings:
// nothing is trimmed or translated.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace invdb::csv {

struct Record {
  int line = 0;  // 1-based line on which the record starts
  std::vector<std::string> fields;
};

struct ParseError {
  int line = 0;    // 1-based line of the fault
  int column = 0;  // 1-based field number within its record
  std::string message;
};

// Splits `text` into records.  Returns false and fills `error` on the first
// malformed record: a quote inside an unquoted field, text after a closing
// quote, or a quoted field that never closes.
bool parse(std::string_view text, std::vector<Record>& records, ParseError& error);

// Appends one field, quoted only when it must be (or when it begins or ends
// with a blank, which some readers would otherwise trim).
void append_field(std::string& out, std::string_view field);
// Appends the fields separated by commas and ended by CR LF.
void append_record(std::string& out, const std::vector<std::string>& fields);

}  // namespace invdb::csv
