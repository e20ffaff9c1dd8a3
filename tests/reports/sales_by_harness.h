// Runs one of the grouped sales listings over a list of items, in-process in
// a fresh directory made the current one for the test's duration, or as a
// process over a database built through the library, and reads back the
// work file (and, in-process, the console echo).
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

// The figures the sales listings read, as stored (cents, thousandths, units).
struct Figures {
  std::int32_t cyc_sales = 0;      // CycSalesAmt
  std::int32_t ytd_sales = 0;      // YTDSalesAmt
  std::int32_t unit_cost = 0;      // UntCost
  std::int32_t price = 0;          // Price
  std::int32_t cyc_sold = 0;       // CycSold
  std::int32_t ytd_sold = 0;       // YTDSold
  std::int32_t on_hand = 0;        // QOH
  std::int32_t ytd_bought = 0;     // YTDPurchQty
  std::int32_t cyc_purchases = 0;  // CycPurchAmt
  std::int32_t ytd_purchases = 0;  // YTDPurchAmt
};

inline report::ItemArea sales_item(std::string_view index, const Figures& f) {
  namespace item = report::item;
  report::ItemArea it = test_support::make_item(index);
  report::set_i32(it, item::CycSalesAmt, f.cyc_sales);
  report::set_i32(it, item::YTDSalesAmt, f.ytd_sales);
  report::set_i32(it, item::UntCost, f.unit_cost);
  report::set_i32(it, item::Price, f.price);
  report::set_i32(it, item::CycSold, f.cyc_sold);
  report::set_i32(it, item::YTDSold, f.ytd_sold);
  report::set_i32(it, item::QOH, f.on_hand);
  report::set_i32(it, item::YTDPurchQty, f.ytd_bought);
  report::set_i32(it, item::CycPurchAmt, f.cyc_purchases);
  report::set_i32(it, item::YTDPurchAmt, f.ytd_purchases);
  return it;
}

// Builds the database `name` in `dir` with heading control records and the
// items, runs report `number` over it as a process with the run date
// 03-15-24 and returns the work file.  The run must succeed quietly.
inline std::string run_process(const test_support::TempDir& dir, std::string_view number,
                               std::string_view name, const std::vector<report::ItemArea>& items) {
  {
    test_support::DbBuilder db(dir.path(), name);
    db.add_headings(test_support::heading_text({"SAMPLE STORE", "12 MAIN STREET", "SPRINGFIELD",
                                                "BACK OFFICE", "LEFT FIVE", "LEFT SIX"}),
                    test_support::heading_text({"INVENTORY DEPT", "REGION 4", "STORE 0017", "WEEKLY RUN",
                                                "RIGHT FIVE", "RIGHT SIX"}));
    for (const auto& item : items) db.add(item);
  }
  const auto result = test_support::run_invreport(
      {"-RPT", std::string(number), "-F", std::string(name), "-DT", "031524"}, dir.path());
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.err, "");
  return test_support::read_file(dir / "OUTF21.DAT");
}

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
