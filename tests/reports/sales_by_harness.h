// Runs one of the grouped sales listings in-process over a list of items, in
// a fresh directory made the current one for the test's duration, and reads
// back the work file and the console echo.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "report_common/run_context.h"
#include "reports/reports.h"
#include "support/test_support.h"

namespace sales_by_harness {

inline constexpr report::RunDate kRunDate{'0', '3', '-', '1', '5', '-', '2', '4'};
inline constexpr std::size_t kRecord = 134;

class InProcessRun {
 public:
  InProcessRun() : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir_.path());
    console_ = open_memstream(&console_text_, &console_size_);
    diagnostics_ = open_memstream(&diagnostics_text_, &diagnostics_size_);
    ctx.console = console_;
    ctx.diagnostics = diagnostics_;
  }
  ~InProcessRun() {
    std::fclose(console_);
    std::fclose(diagnostics_);
    std::free(console_text_);
    std::free(diagnostics_text_);
    std::filesystem::current_path(previous_);
  }
  InProcessRun(const InProcessRun&) = delete;
  InProcessRun& operator=(const InProcessRun&) = delete;

  // Hands the items to a new report routine the way the driver does: mode 0
  // with the first, 1 with the rest, then the finishing call with mode 2.
  void run(std::unique_ptr<report::Report> (*make)(report::RunContext&),
           std::span<const report::ItemArea> items) {
    auto routine = make(ctx);
    std::int16_t mode = 0;
    for (const auto& item : items) {
      ctx.item = item;
      routine->call(kRunDate, mode);
      EXPECT_EQ(mode, 1);
    }
    mode = 2;
    routine->call(kRunDate, mode);
  }

  // The work file cut into its 134-byte records, CR LF removed.
  std::vector<std::string> records() const {
    const std::string data = test_support::read_file(dir_ / "OUTF21.DAT");
    EXPECT_EQ(data.size() % kRecord, 0u);
    std::vector<std::string> out;
    for (std::size_t at = 0; at + kRecord <= data.size(); at += kRecord) {
      EXPECT_EQ(data.substr(at + kRecord - 2, 2), "\r\n");
      out.push_back(data.substr(at, kRecord - 2));
    }
    return out;
  }

  std::string console() {
    std::fflush(console_);
    return std::string(console_text_, console_size_);
  }
  std::string diagnostics() {
    std::fflush(diagnostics_);
    return std::string(diagnostics_text_, diagnostics_size_);
  }
  std::filesystem::path path(std::string_view name) const { return dir_ / name; }

  report::RunContext ctx;

 private:
  test_support::TempDir dir_;
  std::filesystem::path previous_;
  std::FILE* console_ = nullptr;
  std::FILE* diagnostics_ = nullptr;
  char* console_text_ = nullptr;
  std::size_t console_size_ = 0;
  char* diagnostics_text_ = nullptr;
  std::size_t diagnostics_size_ = 0;
};

// Columns `first`..`last` (1-based, inclusive) of a record.
inline std::string cols(const std::string& record, int first, int last) {
  return record.substr(static_cast<std::size_t>(first - 1), static_cast<std::size_t>(last - first + 1));
}

// Columns `first`..`last` of the detail records `from`..`to` (1-based record
// numbers, inclusive).
inline std::vector<std::string> cols_of(const std::vector<std::string>& records, std::size_t from,
                                        std::size_t to, int first, int last) {
  std::vector<std::string> out;
  for (std::size_t r = from; r <= to && r <= records.size(); ++r)
    out.push_back(cols(records[r - 1], first, last));
  return out;
}

}  // namespace sales_by_harness
