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

// A record as the reader hands it out: each field is a view into the text,
// or, for a quoted field with doubled quotes in it, into the reader's own
// buffer.  The views hold until the reader reads the next record.
struct RecordView {
  int line = 0;
  std::vector<std::string_view> fields;
};

// Reads the records of a text one at a time, without copying fields that
// need no unquoting.  A malformed record is one with a quote inside an
// unquoted field, text after a closing quote, or a quoted field that never
// closes.
class Reader {
 public:
  explicit Reader(std::string_view text);
  // True with the next record; false at the end of the text or at a
  // malformed record (then failed() and error()).  Reading stops there.
  bool next(RecordView& record);
  bool failed() const { return failed_; }
  const ParseError& error() const { return error_; }

 private:
  struct Piece {
    std::size_t at = 0, length = 0;
    bool own = false;  // in unquoted_, not in the text
  };
  // The common record, one line with neither quotes nor a bare CR in it:
  // its fields straight from the text.  False (nothing read) for any other.
  bool plain_line(RecordView& record);
  bool quoted(int column, Piece& piece);
  bool unquoted(int column, Piece& piece);
  bool fail(int line, int column, const char* message);
  // Steps over the line break at pos_ (CR LF, LF or CR) and counts it.
  void take_line_break();

  std::string_view text_;
  std::size_t pos_ = 0;
  int line_ = 1;
  bool failed_ = false;
  ParseError error_;
  std::string unquoted_;
  std::vector<Piece> pieces_;
};

// Splits `text` into records.  Returns false and fills `error` on the first
// malformed record.
bool parse(std::string_view text, std::vector<Record>& records, ParseError& error);

// Appends one field, quoted only when it must be (or when it begins or ends
// with a blank, which some readers would otherwise trim).
void append_field(std::string& out, std::string_view field);
// Appends the fields separated by commas and ended by CR LF.
void append_record(std::string& out, const std::vector<std::string>& fields);

}  // namespace invdb::csv
