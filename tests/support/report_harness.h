// Running a report over items built by a test, and reading what it wrote.
//
// In-process (needs no database): ReportRun makes a fresh directory the
// current one for its lifetime, captures the run context's console and
// diagnostics, and calls the report the way the driver does -- mode 0 with
// the first item, 1 with every further one, then the finishing call with
// mode 2.
//
// As a process: run_report_program() builds a database through the library
// (heading control records when given, then the items) and runs
// `invreport -RPT nn -F NAME -DT mmddyy` in the directory.
//
// Records are handled whole, CR LF included, as they stand in the file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "report_common/run_context.h"
#include "support/test_support.h"

namespace test_support {

inline constexpr std::size_t kPrintRecord = 134;  // 132 columns, CR LF
inline constexpr std::size_t kCsvRecord = 128;    // 126 columns, CR LF
inline constexpr report::RunDate kRunDate{'1', '2', '-', '3', '1', '-', '0', '8'};

// ---- items ----

// make_item(index) with the given 32-bit fields set.
report::ItemArea item_with(std::string_view index,
                           std::initializer_list<std::pair<report::Field, std::int32_t>> values);
// `a` with the given text fields set, each blank-padded or cut to its width.
report::ItemArea with_text(report::ItemArea a,
                           std::initializer_list<std::pair<report::Field, std::string_view>> values);

// ---- records ----

// The file cut into records of `length` bytes; every record must end in
// CR LF and the file must hold whole records.
std::vector<std::string> split_records(std::string_view file, std::size_t length = kPrintRecord);
// Record n (from 1) of the file, CR LF included; empty when there is none.
std::string record_at(std::string_view file, std::size_t n, std::size_t length = kPrintRecord);
// The console line the echo of a record gives: its text columns and a newline.
std::string echoed(std::string_view record);
// A printed record written out by hand: 132 blanks with each text at its
// 1-based column, then CR LF.
std::string print_line(const std::vector<std::pair<int, std::string>>& fields);
// Columns first..last (1-based, inclusive) of a record.
std::string cols(std::string_view record, int first, int last);
// Columns first..last of the records from..to (1-based record numbers).
std::vector<std::string> cols_of(const std::vector<std::string>& records, std::size_t from, std::size_t to, int first,
                                 int last);

// ---- in-process ----

using ReportMaker = std::function<std::unique_ptr<report::Report>(report::RunContext&)>;

class ReportRun {
 public:
  ReportRun();
  ~ReportRun();
  ReportRun(const ReportRun&) = delete;
  ReportRun& operator=(const ReportRun&) = delete;

  // Makes the report and hands it the items with the run date kRunDate;
  // `after_item` runs after each item's call.  The report is gone when
  // this returns.
  void run(const ReportMaker& make, const std::vector<report::ItemArea>& items,
           const std::function<void()>& after_item = {});

  std::filesystem::path path(std::string_view name) const { return dir_ / name; }
  std::string file(std::string_view name = "OUTF21.DAT") const;
  std::vector<std::string> records(std::size_t length = kPrintRecord) const;
  std::string record(std::size_t n, std::size_t length = kPrintRecord) const;
  std::string console();
  std::string diagnostics();

  report::RunContext ctx;

 private:
  // A stream writing into memory.
  struct Capture {
    Capture();
    ~Capture();
    std::string text();
    std::FILE* stream = nullptr;
    char* data = nullptr;
    std::size_t size = 0;
  };

  TempDir dir_;
  std::filesystem::path previous_;
  Capture console_;
  Capture diagnostics_;
};

// ---- as a process ----

struct HeadingTexts {
  std::string left;   // 144 characters, control record 001601
  std::string right;  // 144 characters, control record 001600
};
// Up to six lines of each text (see heading_text).
HeadingTexts headings(const std::vector<std::string>& left, const std::vector<std::string>& right);

struct StoreDatabase {
  std::vector<report::ItemArea> items{};
  std::optional<HeadingTexts> headings{};  // no control records without them
  std::string name = "STOCK";
};

struct ProgramRun {
  int exit_code = -1;
  std::string console;      // standard output
  std::string diagnostics;  // standard error
  std::string output;       // the output file afterwards; empty when it is not a file
};

// Builds `db` in `dir` and runs report `report` ("01" ... "15") over it with
// the date `date` (MMDDYY); `output_file` is the file read back.
ProgramRun run_report_program(const std::filesystem::path& dir, std::string_view report, std::string_view date,
                              const StoreDatabase& db, std::string_view output_file = "OUTF21.DAT");
// The same in a fresh directory.
ProgramRun run_report_program(std::string_view report, std::string_view date, const StoreDatabase& db,
                              std::string_view output_file = "OUTF21.DAT");

// Exit status 0 and nothing on standard error.
void expect_clean_exit(const ProgramRun& run);
// Golden files are named rptNN_CASE.txt for the output file of report NN
// and rptNN_CASE_console.txt for what the run printed, both under
// reports/golden/.  This compares both with NAME = rptNN_CASE.
void expect_golden_run(const ProgramRun& run, std::string_view name);

}  // namespace test_support
