// The run over a real database, in process: what the report receives, in
// which order and with which mode word, and the exit status.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver/driver.h"
#include "support/test_support.h"

namespace driver {
namespace {

namespace fs = std::filesystem;
using test_support::DbBuilder;
using test_support::make_item;

// What one report call saw.
struct Call {
  std::int16_t mode;
  std::string key;        // the item area's first 22 bytes
  std::string long_name;  // proves the block was read into the item area
};

struct Seen {
  std::vector<Call> calls;
  std::int16_t report_number = 0;
  report::Headings headings;
  report::RunDate run_date{};
};

// Records every call and sets the mode word to 1 as every report does.
class RecordingReport final : public report::Report {
 public:
  RecordingReport(report::RunContext& ctx, Seen& seen) : ctx_(ctx), seen_(seen) {}
  void call(const report::RunDate& run_date, std::int16_t& mode) override {
    const auto* bytes = reinterpret_cast<const char*>(ctx_.item.data());
    seen_.calls.push_back(
        {mode, std::string(bytes, report::kKeyLength), std::string(report::text(ctx_.item, report::item::LongName))});
    seen_.report_number = ctx_.current_report;
    seen_.headings = ctx_.headings;
    seen_.run_date = run_date;
    if (mode == 0) mode = 1;
  }

 private:
  report::RunContext& ctx_;
  Seen& seen_;
};

struct RunOutcome {
  int exit_status = -1;
  std::string out;
  std::string err;
};

ReportFactory recorder(Seen& seen) {
  return [&seen](std::int16_t, report::RunContext& ctx) { return std::make_unique<RecordingReport>(ctx, seen); };
}

// Runs the driver in `dir` with `words`, the clock at 12-31-08 and the
// report made by `make_report`.
RunOutcome run_in(const fs::path& dir, const std::vector<std::string_view>& words, const ReportFactory& make_report) {
  const fs::path previous = fs::current_path();
  fs::current_path(dir);
  char* out_buf = nullptr;
  char* err_buf = nullptr;
  std::size_t out_size = 0, err_size = 0;
  std::FILE* in = std::fopen("/dev/null", "r");
  std::FILE* out = open_memstream(&out_buf, &out_size);
  std::FILE* err = open_memstream(&err_buf, &err_size);
  std::tm today{};
  today.tm_year = 108;
  today.tm_mon = 11;
  today.tm_mday = 31;
  RunOutcome outcome;
  outcome.exit_status = run(words, Console{in, out, err}, today, make_report);
  std::fclose(in);
  std::fclose(out);
  std::fclose(err);
  outcome.out.assign(out_buf, out_size);
  outcome.err.assign(err_buf, err_size);
  std::free(out_buf);
  std::free(err_buf);
  fs::current_path(previous);
  return outcome;
}

report::ItemArea named_item(std::string_view stock_index, std::string_view long_name) {
  report::ItemArea item = make_item(stock_index);
  report::set_text(item, report::item::LongName, long_name);
  return item;
}

// A record whose 22-byte key is `key` padded with blanks.
report::ItemArea keyed_record(std::string_view key) {
  report::ItemArea record = make_item("");
  std::memset(record.data(), ' ', report::kKeyLength);
  std::memcpy(record.data(), key.data(), key.size());
  return record;
}

std::string item_key(std::string_view stock_index) {
  std::string key = "12" + std::string(stock_index);
  key.resize(report::kKeyLength, ' ');
  return key;
}

constexpr std::string_view kCompletion =
    "1      Korvane   INVENTORY REPORTS        COMPLETION\n"
    " STOCK      \n";

TEST(Walk, HandsEveryItemInKeyOrderThenFinishes) {
  test_support::TempDir dir;
  {
    DbBuilder db(dir.path(), "STOCK");
    db.add(named_item("CHERRY", "third"));
    db.add(named_item("APPLE", "first"));
    db.add(named_item("BANANA", "second"));
    db.add_headings(test_support::heading_text({"LEFT 1", "LEFT 2"}),
                    test_support::heading_text({"RIGHT 1", "", "RIGHT 3"}));
  }
  Seen seen;
  const RunOutcome r = run_in(dir.path(), {"-RPT", "07", "-F", "STOCK"}, recorder(seen));
  EXPECT_EQ(r.exit_status, 0) << r.err;
  EXPECT_EQ(r.out, kCompletion);
  EXPECT_EQ(r.err, "");
  ASSERT_EQ(seen.calls.size(), 4u);
  EXPECT_EQ(seen.calls[0].mode, 0);
  EXPECT_EQ(seen.calls[0].key, item_key("APPLE"));
  EXPECT_EQ(seen.calls[0].long_name.substr(0, 5), "first");
  EXPECT_EQ(seen.calls[1].mode, 1);
  EXPECT_EQ(seen.calls[1].key, item_key("BANANA"));
  EXPECT_EQ(seen.calls[2].mode, 1);
  EXPECT_EQ(seen.calls[2].long_name.substr(0, 5), "third");
  EXPECT_EQ(seen.calls[3].mode, 2);
  EXPECT_EQ(seen.report_number, 7);
  EXPECT_EQ(std::string(seen.run_date.begin(), seen.run_date.end()), "12-31-08");

  const report::Headings& h = seen.headings;
  EXPECT_EQ(std::string(h.period.begin(), h.period.end()), "DECEMBER  08");
  EXPECT_EQ(h.left_line(1), "LEFT 1                  ");
  EXPECT_EQ(h.left_line(2), "LEFT 2                  ");
  EXPECT_EQ(h.right_line(1), "RIGHT 1                 ");
  EXPECT_EQ(h.right_line(3), "RIGHT 3                 ");
}

TEST(Walk, OnlyLiveItemKeysAboveTheLowKeyAreHandedOver) {
  test_support::TempDir dir;
  {
    DbBuilder db(dir.path(), "STOCK");
    db.add(keyed_record("12"));  // the low key itself
    db.add(
        keyed_record("12\x1F"
                     "BELOW"));  // begins with "12" but sorts below the low key
    db.add(keyed_record("11ZZZ"));
    db.add(named_item("A", "item a"));
    db.add(named_item("B", "tab entry"), 9);
    db.add(named_item("C", "item c"));
    db.add(keyed_record("13AAA"));
    db.add(keyed_record("99"));
  }
  Seen seen;
  const RunOutcome r = run_in(dir.path(), {"-F", "STOCK", "-RPT", "01"}, recorder(seen));
  EXPECT_EQ(r.exit_status, 0);
  ASSERT_EQ(seen.calls.size(), 3u);
  EXPECT_EQ(seen.calls[0].key, item_key("A"));
  EXPECT_EQ(seen.calls[1].key, item_key("C"));
  EXPECT_EQ(seen.calls[2].mode, 2);
}

TEST(Walk, WithoutControlRecordsTheHeadingsAreBlank) {
  test_support::TempDir dir;
  {
    DbBuilder db(dir.path(), "STOCK");
    db.add(named_item("A", "only"));
    // Records whose keys merely begin like the control keys do not count.
    report::ItemArea near_miss = keyed_record("001600X");
    std::memset(near_miss.data() + report::kKeyLength, 'N', 144);
    db.add(near_miss);
    report::ItemArea short_key = keyed_record("00160");
    std::memset(short_key.data() + report::kKeyLength, 'S', 144);
    db.add(short_key);
  }
  Seen seen;
  const RunOutcome r = run_in(dir.path(), {"-RPT", "01", "-F", "STOCK", "-DT", "133108"}, recorder(seen));
  EXPECT_EQ(r.exit_status, 0);
  ASSERT_EQ(seen.calls.size(), 2u);
  EXPECT_EQ(seen.calls[0].key, item_key("A"));
  const report::Headings& h = seen.headings;
  EXPECT_EQ(std::string(h.left.begin(), h.left.end()), std::string(144, ' '));
  EXPECT_EQ(std::string(h.right.begin(), h.right.end()), std::string(144, ' '));
  EXPECT_EQ(std::string(h.period.begin(), h.period.end()), "JANUARY   08");
}

TEST(Walk, NoItemsNoReportCall) {
  test_support::TempDir dir;
  {
    DbBuilder db(dir.path(), "STOCK");
    db.add_headings(test_support::heading_text({"L"}), test_support::heading_text({"R"}));
  }
  Seen seen;
  const RunOutcome r = run_in(dir.path(), {"-RPT", "12", "-F", "STOCK"}, recorder(seen));
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.out, kCompletion);
  EXPECT_TRUE(seen.calls.empty());
}

TEST(Walk, AnUnreadableItemIsSkippedAndFailsTheRun) {
  test_support::TempDir dir;
  {
    DbBuilder db(dir.path(), "STOCK");
    db.add(named_item("A", "item a"));
    db.add(named_item("C", "item c"));
    // An index entry whose block lies beyond the end of the record file.
    db.add_key(item_key("B"), 3999);
  }
  Seen seen;
  const RunOutcome r = run_in(dir.path(), {"-RPT", "01", "-F", "STOCK"}, recorder(seen));
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.out, kCompletion);
  EXPECT_NE(r.err.find(item_key("B")), std::string::npos) << r.err;
  ASSERT_EQ(seen.calls.size(), 3u);
  EXPECT_EQ(seen.calls[0].key, item_key("A"));
  EXPECT_EQ(seen.calls[1].key, item_key("C"));
  EXPECT_EQ(seen.calls[1].long_name.substr(0, 6), "item c");
  EXPECT_EQ(seen.calls[2].mode, 2);
}

TEST(Walk, FailedReportOutputFailsTheRun) {
  test_support::TempDir dir;
  {
    DbBuilder db(dir.path(), "STOCK");
    db.add(named_item("A", "item a"));
  }
  class FailingReport final : public report::Report {
   public:
    explicit FailingReport(report::RunContext& ctx) : ctx_(ctx) {}
    void call(const report::RunDate&, std::int16_t& mode) override {
      ctx_.output_failed = true;
      mode = 1;
    }
    report::RunContext& ctx_;
  };
  const RunOutcome r = run_in(dir.path(), {"-RPT", "01", "-F", "STOCK"}, [](std::int16_t, report::RunContext& ctx) {
    return std::make_unique<FailingReport>(ctx);
  });
  EXPECT_EQ(r.out, kCompletion);
  EXPECT_EQ(r.exit_status, 1);
}

}  // namespace
}  // namespace driver
