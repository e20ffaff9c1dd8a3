#include "support/report_harness.h"

#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

namespace test_support {

namespace fs = std::filesystem;

report::ItemArea item_with(std::string_view index,
                           std::initializer_list<std::pair<report::Field, std::int32_t>> values) {
  report::ItemArea a = make_item(index);
  for (const auto& [field, value] : values) report::set_i32(a, field, value);
  return a;
}

report::ItemArea with_text(report::ItemArea a,
                           std::initializer_list<std::pair<report::Field, std::string_view>> values) {
  for (const auto& [field, value] : values) report::set_text(a, field, value);
  return a;
}

std::vector<std::string> split_records(std::string_view file, std::size_t length) {
  EXPECT_EQ(file.size() % length, 0u);
  std::vector<std::string> out;
  for (std::size_t at = 0; at + length <= file.size(); at += length) {
    out.emplace_back(file.substr(at, length));
    EXPECT_EQ(out.back().substr(length - 2), "\r\n") << "record " << out.size();
  }
  return out;
}

std::string record_at(std::string_view file, std::size_t n, std::size_t length) {
  const std::size_t at = (n - 1) * length;
  return at + length <= file.size() ? std::string(file.substr(at, length)) : std::string();
}

std::string echoed(std::string_view record) { return std::string(record.substr(0, record.size() - 2)) + "\n"; }

std::string print_line(const std::vector<std::pair<int, std::string>>& fields) {
  std::string s(report::kPrintColumns, ' ');
  for (const auto& [column, text] : fields) s.replace(static_cast<std::size_t>(column - 1), text.size(), text);
  return s + "\r\n";
}

std::string cols(std::string_view record, int first, int last) {
  return std::string(record.substr(static_cast<std::size_t>(first - 1), static_cast<std::size_t>(last - first + 1)));
}

std::vector<std::string> cols_of(const std::vector<std::string>& records, std::size_t from, std::size_t to, int first,
                                 int last) {
  std::vector<std::string> out;
  for (std::size_t r = from; r <= to && r <= records.size(); ++r) out.push_back(cols(records[r - 1], first, last));
  return out;
}

// ---- in-process ----

ReportRun::Capture::Capture() : stream(open_memstream(&data, &size)) {}

ReportRun::Capture::~Capture() {
  std::fclose(stream);
  std::free(data);
}

std::string ReportRun::Capture::text() {
  std::fflush(stream);
  return std::string(data, size);
}

ReportRun::ReportRun() : previous_(fs::current_path()) {
  fs::current_path(dir_.path());
  ctx.console = console_.stream;
  ctx.diagnostics = diagnostics_.stream;
}

ReportRun::~ReportRun() { fs::current_path(previous_); }

void ReportRun::run(const ReportMaker& make, const std::vector<report::ItemArea>& items,
                    const std::function<void()>& after_item) {
  const std::unique_ptr<report::Report> routine = make(ctx);
  std::int16_t mode = 0;
  for (const report::ItemArea& item : items) {
    ctx.item = item;
    routine->call(kRunDate, mode);
    EXPECT_EQ(mode, 1);
    if (after_item) after_item();
  }
  mode = 2;
  routine->call(kRunDate, mode);
}

std::string ReportRun::file(std::string_view name) const { return read_file(path(name)); }

std::vector<std::string> ReportRun::records(std::size_t length) const { return split_records(file(), length); }

std::string ReportRun::record(std::size_t n, std::size_t length) const { return record_at(file(), n, length); }

std::string ReportRun::console() { return console_.text(); }

std::string ReportRun::diagnostics() { return diagnostics_.text(); }

// ---- as a process ----

HeadingTexts headings(const std::vector<std::string>& left, const std::vector<std::string>& right) {
  return {heading_text(left), heading_text(right)};
}

ProgramRun run_report_program(const fs::path& dir, std::string_view report, std::string_view date,
                              const StoreDatabase& db, std::string_view output_file) {
  {
    DbBuilder builder(dir, db.name);
    if (db.headings) builder.add_headings(db.headings->left, db.headings->right);
    for (const report::ItemArea& item : db.items) builder.add(item);
  }
  const ProcessResult result =
      run_invreport({"-RPT", std::string(report), "-F", db.name, "-DT", std::string(date)}, dir);
  ProgramRun run{result.exit_code, result.out, result.err, {}};
  if (fs::is_regular_file(dir / output_file)) run.output = read_file(dir / output_file);
  return run;
}

ProgramRun run_report_program(std::string_view report, std::string_view date, const StoreDatabase& db,
                              std::string_view output_file) {
  const TempDir dir;
  return run_report_program(dir.path(), report, date, db, output_file);
}

void expect_clean_exit(const ProgramRun& run) {
  EXPECT_EQ(run.exit_code, 0) << run.diagnostics;
  EXPECT_EQ(run.diagnostics, "");
}

void expect_golden_run(const ProgramRun& run, std::string_view name) {
  const std::string golden = "reports/golden/" + std::string(name);
  expect_golden(run.output, golden + ".txt");
  expect_golden(run.console, golden + "_console.txt");
}

}  // namespace test_support
