#include "invdb/csv.h"

namespace invdb::csv {

namespace {

// A cursor over the text that counts lines as it passes line breaks.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {
    if (text_.starts_with("\xEF\xBB\xBF")) pos_ = 3;
  }
  bool at_end() const { return pos_ >= text_.size(); }
  char peek() const { return text_[pos_]; }
  int line() const { return line_; }
  // Consumes one line break (CR LF, LF or CR) if one stands here.
  bool take_line_break() {
    if (at_end()) return false;
    if (text_[pos_] == '\r') {
      ++pos_;
      if (!at_end() && text_[pos_] == '\n') ++pos_;
    } else if (text_[pos_] == '\n') {
      ++pos_;
    } else {
      return false;
    }
    ++line_;
    return true;
  }
  char take() {
    const char c = text_[pos_++];
    // A break inside a quoted field still counts as a line of the file.
    if (c == '\n' || (c == '\r' && (at_end() || text_[pos_] != '\n'))) ++line_;
    return c;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  int line_ = 1;
};

bool is_record_end(const Scanner& s) { return s.at_end() || s.peek() == '\r' || s.peek() == '\n'; }

bool parse_quoted(Scanner& s, std::string& field, int column, ParseError& error) {
  const int start_line = s.line();
  s.take();  // opening quote
  for (;;) {
    if (s.at_end()) {
      error = {start_line, column, "quoted field is never closed"};
      return false;
    }
    const char c = s.take();
    if (c != '"') {
      field += c;
      continue;
    }
    if (!s.at_end() && s.peek() == '"') {
      s.take();
      field += '"';
      continue;
    }
    if (is_record_end(s) || s.peek() == ',') return true;
    error = {s.line(), column, "text after the closing quote"};
    return false;
  }
}

bool parse_unquoted(Scanner& s, std::string& field, int column, ParseError& error) {
  while (!is_record_end(s) && s.peek() != ',') {
    if (s.peek() == '"') {
      error = {s.line(), column, "quote inside an unquoted field"};
      return false;
    }
    field += s.take();
  }
  return true;
}

}  // namespace

bool parse(std::string_view text, std::vector<Record>& records, ParseError& error) {
  records.clear();
  Scanner s(text);
  while (!s.at_end()) {
    if (s.take_line_break()) continue;  // an empty line
    Record record;
    record.line = s.line();
    for (;;) {
      std::string field;
      const int column = static_cast<int>(record.fields.size()) + 1;
      const bool ok = (!s.at_end() && s.peek() == '"') ? parse_quoted(s, field, column, error)
                                                       : parse_unquoted(s, field, column, error);
      if (!ok) return false;
      record.fields.push_back(std::move(field));
      if (s.at_end() || s.take_line_break()) break;
      s.take();  // the comma
    }
    records.push_back(std::move(record));
  }
  return true;
}

void append_field(std::string& out, std::string_view field) {
  const bool quote = field.find_first_of(",\"\r\n") != std::string_view::npos ||
                     (!field.empty() && (field.front() == ' ' || field.back() == ' '));
  if (!quote) {
    out += field;
    return;
  }
  out += '"';
  for (char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

void append_record(std::string& out, const std::vector<std::string>& fields) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out += ',';
    append_field(out, fields[i]);
  }
  out += "\r\n";
}

}  // namespace invdb::csv
