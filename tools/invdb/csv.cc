#include "invdb/csv.h"

#include <cstring>

namespace invdb::csv {

namespace {

bool is_break(char c) { return c == '\r' || c == '\n'; }

}  // namespace

Reader::Reader(std::string_view text) : text_(text) {
  if (text_.starts_with("\xEF\xBB\xBF")) pos_ = 3;
}

bool Reader::fail(int line, int column, const char* message) {
  failed_ = true;
  error_ = {line, column, message};
  pos_ = text_.size();
  return false;
}

void Reader::take_line_break() {
  if (text_[pos_++] == '\r' && pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
  ++line_;
}

bool Reader::unquoted(int column, Piece& piece) {
  const std::size_t start = pos_;
  const std::size_t end = text_.size();
  std::size_t p = pos_;
  for (; p < end; ++p) {
    const char c = text_[p];
    if (c == ',' || is_break(c)) break;
    if (c == '"') return fail(line_, column, "quote inside an unquoted field");
  }
  pos_ = p;
  piece = {start, p - start, false};
  return true;
}

bool Reader::quoted(int column, Piece& piece) {
  const int start_line = line_;
  const std::size_t end = text_.size();
  std::size_t p = pos_ + 1;  // past the opening quote
  piece = {p, 0, false};
  for (;;) {
    const void* found = std::memchr(text_.data() + p, '"', end - p);
    if (!found) return fail(start_line, column, "quoted field is never closed");
    const std::size_t q = static_cast<std::size_t>(static_cast<const char*>(found) - text_.data());
    // A break inside a quoted field still counts as a line of the file.
    for (std::size_t i = p; i < q; ++i)
      if (text_[i] == '\n' || (text_[i] == '\r' && text_[i + 1] != '\n')) ++line_;
    const bool doubled = q + 1 < end && text_[q + 1] == '"';
    if (doubled || piece.own) {
      if (!piece.own) {
        piece = {unquoted_.size(), 0, true};
        unquoted_.append(text_.data() + pos_ + 1, p - pos_ - 1);
      }
      unquoted_.append(text_.data() + p, q - p + (doubled ? 1 : 0));
    }
    if (doubled) {
      p = q + 2;
      continue;
    }
    if (piece.own) {
      piece.length = unquoted_.size() - piece.at;
    } else {
      piece.length = q - piece.at;
    }
    pos_ = q + 1;
    if (pos_ < end && text_[pos_] != ',' && !is_break(text_[pos_]))
      return fail(line_, column, "text after the closing quote");
    return true;
  }
}

bool Reader::plain_line(RecordView& record) {
  const char* const start = text_.data() + pos_;
  const std::size_t rest = text_.size() - pos_;
  const void* newline = std::memchr(start, '\n', rest);
  std::size_t length = newline ? static_cast<std::size_t>(static_cast<const char*>(newline) - start) : rest;
  if (length > 0 && start[length - 1] == '\r') --length;
  if (std::memchr(start, '"', length) || std::memchr(start, '\r', length)) return false;
  std::size_t from = 0;
  for (std::size_t i = 0; i < length; ++i) {
    if (start[i] != ',') continue;
    record.fields.emplace_back(start + from, i - from);
    from = i + 1;
  }
  record.fields.emplace_back(start + from, length - from);
  pos_ += length;
  if (pos_ < text_.size()) take_line_break();
  return true;
}

bool Reader::next(RecordView& record) {
  record.fields.clear();
  if (failed_) return false;
  while (pos_ < text_.size() && is_break(text_[pos_])) take_line_break();  // empty lines
  if (pos_ >= text_.size()) return false;
  record.line = line_;
  if (plain_line(record)) return true;
  unquoted_.clear();
  pieces_.clear();
  for (;;) {
    Piece piece;
    const int column = static_cast<int>(pieces_.size()) + 1;
    const bool is_quoted = pos_ < text_.size() && text_[pos_] == '"';
    if (!(is_quoted ? quoted(column, piece) : unquoted(column, piece))) return false;
    pieces_.push_back(piece);
    if (pos_ >= text_.size()) break;
    if (text_[pos_] != ',') {
      take_line_break();
      break;
    }
    ++pos_;  // the comma
  }
  for (const Piece& p : pieces_)
    record.fields.emplace_back((p.own ? std::string_view(unquoted_) : text_).substr(p.at, p.length));
  return true;
}

bool parse(std::string_view text, std::vector<Record>& records, ParseError& error) {
  records.clear();
  Reader reader(text);
  RecordView record;
  while (reader.next(record)) records.push_back({record.line, {record.fields.begin(), record.fields.end()}});
  if (reader.failed()) error = reader.error();
  return !reader.failed();
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
