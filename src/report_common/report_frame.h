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
// Paging: before a detail line the line count goes up by 1; when it passes
// the page length the page header is written (the line count is set to 0
// after its first record) and the count goes up by 1 again.  The count starts
// at the page length, so the first detail line starts page 1.
//
// Echo: after a detail record, the common rule echoes records whose number
// leaves remainder 1 on division by 10, with all their text columns.
//
// Failures: when the file cannot be opened or a record cannot be written, no
// further record is written and nothing more is echoed; one diagnostic line
// naming the file goes to the run's diagnostics stream and the run context is
// marked failed.  Every later write quietly fails.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "report_common/run_context.h"

namespace report {

struct FrameLayout {
  std::string_view title;     // 37 characters, header record 2
  std::string_view heading1;  // column-heading lines, placed from column 1
  std::string_view heading2;
  int page_length = 54;
  bool comma_separated = false;  // 128-byte records, comma pad, no page header
  std::string_view file_name = "OUTF21.DAT";
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
  // it.  Does nothing when the file is not open.
  void close();

  // ---- the line buffer ----
  // Text columns to blanks (commas for the comma-separated layout), CR LF
  // after them.
  void clear_line();
  // Text columns to blanks whatever the layout (the comma-separated heading
  // record).
  void clear_line_blank();
  // Columns `column` .. `column + width - 1` (1-based) of the line buffer.
  std::span<char> columns(int column, int width);
  // Text copied as it stands (its whole length) from `column` on.
  void put_text(int column, std::string_view text);
  void put_real(int column, int width, int decimals, float value);             // real_to_text
  void put_number(int column, int width, std::int32_t value);                  // int_to_number_text
  void put_int_text(int column, int width, std::int16_t value);                // int_to_text
  void put_integer(int column, int width, std::int64_t value);                 // integer column
  void put_decimal(int column, int width, int decimals, std::int64_t scaled);  // decimal column

  // ---- records ----
  // Adds 1 to the line count and writes the page header when the count
  // passes the page length.  False when a write failed: the call must end.
  bool start_page_if_due();
  // Page number + 1 and the eight header records.
  bool write_page_header();
  // The line buffer as the next record.  False when nothing could be written.
  bool write_record();
  // Echoes the first `columns` text columns of the line buffer as one line.
  // The line is held back with the buffered records and shown once they
  // have reached the file; when that write fails it is never shown.
  void echo(int columns);
  // The common rule: echo all text columns when the record number just
  // written leaves remainder 1 on division by 10.
  void echo_if_due();
  // write_record() then echo_if_due().  False when a write failed: the call
  // must end.
  bool write_detail();

  // Replaces the page-header title (37 characters) for the pages written
  // from now on; the text must outlive the frame.
  void set_title(std::string_view title) { layout_.title = title; }

  int line_count() const { return line_count_; }
  void set_line_count(int n) { line_count_ = n; }
  int page_length() const { return layout_.page_length; }
  int page_number() const { return page_number_; }
  std::int64_t record_number() const { return record_number_; }
  int text_columns() const { return layout_.comma_separated ? kCsvColumns : kPrintColumns; }
  int record_length() const { return text_columns() + 2; }
  RunContext& context() { return ctx_; }

 private:
  bool flush();
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
  std::vector<char> pending_;  // records not yet handed to the file
  std::string pending_echo_;   // console lines that wait for those records
  bool failed_ = false;
};

}  // namespace report
