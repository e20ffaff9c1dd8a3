// The report frame shared by every report: one output file of fixed-length
// numbered records, the line buffer, the eight-record page header, paging and
// the console echo.
//
// Output file: a sequence of fixed-length records and nothing else.  Record
// n occupies bytes (n-1)*L to n*L-1, L = 134 for a printed listing (132 print
// columns, CR LF) and 128 for the comma-separated layout (126 columns, CR LF).
// The file is opened without being emptied and written from record 1 on; at
// close it is cut to exactly the records this run wrote.  A regular file (or
// a link to one) is written beside it as NAME.tmp and renamed over it at
// close, so that its readers see the old records or the new ones, never a
// mix; a failed run leaves the old file.  Any other output (a FIFO, a
// device, a link to one) is written through.  Column 1 of a
// printed line is the carriage-control column: "1" starts a page.
//
// Page header of a printed listing (columns not named are blank):
//   1  col 1 "1"; 2-25 left heading line 1; 50-84 "K O R V A N E     I N V E N T O R Y";
//      109-132 right heading line 1
//   2  2-25 left line 2; 50-86 the 37-character title; 109-132 right line 2
//   3  2-25 left line 3; 62-73 the period label; 109-132 right line 3
//   4  2-25 left line 4; 109-132 right line 4
//   5  81-84 "Page"; 85-88 page number (integer column); 92-99 the first 8
//      characters of the output file name; 101-103 "Run"; 105-112 run date
//   6  first column-heading line, from col 1
//   7  second column-heading line, from col 1
//   8  2-132 hyphens
//
// Paging: every detail line counts `lines_per_detail` lines against the
// page length.  A page header is due before a detail line when one more line
// would pass the page length; the count then starts again from 0.  The count
// starts at the page length, so the first detail line starts page 1.  A
// listing with one header only gets its page header before its first detail
// line and never breaks.  A comma-separated layout has no page header: its
// heading record (126 blanks with the column names from column 1) is written
// and echoed before its first item record.
//
// Echo: after a detail record, by default the records whose number leaves
// remainder 1 on division by 10 are echoed with all their text columns; a
// layout may echo every detail line, or fewer columns.  Closing records (the
// rule line and totals) are neither counted against the page nor echoed.
//
// Failures: when the file cannot be opened or a record cannot be written, no
// further record is written and nothing more is echoed; one diagnostic line
// naming the file goes to the run's diagnostics stream and the run context is
// marked failed.  Every later write quietly fails.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "report_common/field_routines.h"
#include "report_common/run_context.h"

namespace report {

// The work file most reports write.
inline constexpr std::string_view kWorkFile = "OUTF21.DAT";

// What a report hands to the frame: everything in which its output departs
// from the common printed listing.
struct FrameLayout {
  std::string_view title{};     // 37 characters, header record 2
  std::string_view heading1{};  // column-heading lines, placed from column 1
  std::string_view heading2{};
  int page_length = 54;
  int lines_per_detail = 1;           // lines each detail line counts against the page
  bool one_header = false;            // a page header before the first detail line only
  int echo_columns = 0;               // text columns an echo line shows; 0: all of them
  bool echo_every_line = false;       // echo every detail line, not every tenth record
  bool comma_separated = false;       // 128-byte records, comma pad, no page header
  std::string_view heading_record{};  // comma-separated: the column names (at most 126)
  std::string_view file_name = kWorkFile;
  bool recreate = false;  // delete the file and create it anew before writing
};

class ReportFrame {
 public:
  ReportFrame(RunContext& ctx, FrameLayout layout);
  ~ReportFrame();
  ReportFrame(const ReportFrame&) = delete;
  ReportFrame& operator=(const ReportFrame&) = delete;

  // First call: resets the counters (line count = page length, page and
  // record number 0), keeps the run date for the page headers and opens the
  // output file.  False when it could not be opened.
  bool open(const RunDate& run_date);
  bool is_open() const { return fd_ >= 0; }
  // Writes what is buffered, cuts the file to the records written and closes
  // it.  Does nothing when the file is not open.  A frame destroyed without
  // a close (a run stopped part way) replaces nothing: the old file stays.
  void close();

  // ---- the line buffer ----
  // Text columns to blanks (commas for the comma-separated layout), CR LF
  // after them.
  void clear_line();
  // Columns `column` .. `column + width - 1` (1-based) of the line buffer.
  std::span<char> columns(int column, int width) { return std::span<char>(ctx_.line).subspan(column - 1, width); }
  // Text copied as it stands (its whole length) from `column` on.
  void put_text(int column, std::string_view text) {
    copy_chars(text, columns(column, static_cast<int>(text.size())), static_cast<int>(text.size()));
  }
  // Amount field (real_to_text): blank when zero.
  void put_real(int column, int width, int decimals, float value) {
    real_to_text(value, columns(column, width), width, decimals);
  }
  // Whole amount (int_to_number_text): blank when zero, and when beyond
  // +-9999999; a value too wide shows its last characters.
  void put_int_zero_blank(int column, int width, std::int32_t value) {
    int_to_number_text(value, columns(column, width), width);
  }
  // int_to_text: zero prints "0"; a value too wide keeps its last digits.
  void put_int_last_digits(int column, int width, std::int16_t value) {
    int_to_text(value, columns(column, width), width);
  }
  // Integer column: zero prints "0"; a value too wide fills it with asterisks.
  void put_int_overflow_stars(int column, int width, std::int64_t value) {
    integer_column(value, columns(column, width), width);
  }
  // Decimal column of a scaled integer: zero prints "0.000"; asterisks when
  // too wide.
  void put_decimal(int column, int width, int decimals, std::int64_t scaled) {
    decimal_column(scaled, columns(column, width), width, decimals);
  }

  // ---- records ----
  // The line buffer as the next detail line: first the page header or the
  // heading record when one is due, then the record and its echo as the
  // layout says.  False when a write failed: the call must end.
  bool write_line();
  // The line buffer as the next record, outside the paging and never echoed
  // (the closing lines: totals).  False when nothing could be written.
  bool write_record();
  // The rule line, a blank and 131 hyphens, as a closing record.
  bool write_rule();

  // Replaces the page-header title (37 characters) for the pages written
  // from now on; the text must outlive the frame.
  void set_title(std::string_view title) { layout_.title = title; }

  std::int64_t record_number() const { return record_number_; }
  int text_columns() const { return layout_.comma_separated ? kCsvColumns : kPrintColumns; }
  int record_length() const { return text_columns() + 2; }

 private:
  // The page header or heading record due before the next detail line.
  bool write_heading_if_due();
  // Page number + 1 and the eight header records.
  bool write_page_header();
  bool write_heading_record();
  // Sets the text columns to `pad`, CR LF after them.  The pad is a blank,
  // or a comma in the comma-separated layout; a printed line is always
  // cleared to blanks.
  void clear_line(char pad);
  // Echoes the first `columns` text columns of the line buffer as one line.
  // The line is held back with the buffered records and shown once they
  // have reached the file; when that write fails it is never shown.
  void echo(int columns);
  // Hands the first `count` buffered bytes to the file and shows the echo
  // lines waiting for them; flush() hands over all of them.
  bool write_out(std::size_t count);
  bool flush() { return write_out(pending_size_); }
  void fail(std::string_view what, int error);

  RunContext& ctx_;
  FrameLayout layout_;
  RunDate run_date_{};
  int fd_ = -1;
  std::string target_;  // the file the run replaces at close ("": written through)
  std::string temp_;    // where the new records go meanwhile
  int line_count_ = 0;
  int page_number_ = 0;
  std::int64_t record_number_ = 0;
  // Room for the records not yet handed to the file, left uninitialised:
  // a short report touches only the pages it fills.
  std::unique_ptr<char[]> pending_;
  std::size_t pending_size_ = 0;  // bytes of it in use
  std::size_t written_ = 0;       // bytes handed to the file
  std::size_t started_ = 0;       // of them, the bytes whose write-back was started
  std::string pending_echo_;      // console lines that wait for those records
  bool failed_ = false;
};

}  // namespace report
