// Two ways to run a listing report over items built by a test: in-process,
// calling the report routine as the driver would (needs no database), and
// as the invreport program over a database built through the library.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "report_common/run_context.h"
#include "support/test_support.h"

namespace report_test {

using report::ItemArea;
namespace item = report::item;

// The work file's records and the console echo of one run.
struct Listing {
  std::vector<std::string> records;  // 134 bytes each, CR LF included
  std::string echo;
};

// Runs the report made by `make` in a fresh directory (the work file is
// created there): first call with mode 0, then mode 1 for each further item,
// then the finishing call with mode 2.
inline Listing run_in_process(std::unique_ptr<report::Report> (*make)(report::RunContext&),
                              const std::vector<report::ItemArea>& items) {
  test_support::TempDir dir;
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  char* echo = nullptr;
  std::size_t echo_size = 0;
  report::RunContext ctx;
  ctx.console = open_memstream(&echo, &echo_size);
  const report::RunDate date{'0', '3', '-', '0', '4', '-', '2', '4'};
  {
    auto rpt = make(ctx);
    std::int16_t mode = 0;
    for (const report::ItemArea& it : items) {
      ctx.item = it;
      rpt->call(date, mode);
    }
    mode = 2;
    rpt->call(date, mode);
  }
  std::fclose(ctx.console);
  Listing out{{}, std::string(echo, echo_size)};
  std::free(echo);
  const std::string file = test_support::read_file("OUTF21.DAT");
  EXPECT_EQ(file.size() % 134, 0u);
  for (std::size_t at = 0; at + 134 <= file.size(); at += 134) out.records.push_back(file.substr(at, 134));
  std::filesystem::current_path(previous);
  return out;
}

// Builds the database STOCK in a fresh directory from the page-header texts
// below and `items`, runs invreport -RPT `number` -F STOCK -DT 030424 there
// and returns the work file.  The page headers then show:
//   left  WESTSIDE GROCERY / 12 HARBOR ROAD / LAKETOWN / 555-0100
//   right BACK OFFICE / INVENTORY LISTINGS / WEEKLY RUN / STORE 07
//   period "MARCH     24", run date 03-04-24.
inline std::string run_as_process(std::string_view number, const std::vector<ItemArea>& items) {
  test_support::TempDir dir;
  {
    test_support::DbBuilder db(dir.path(), "STOCK");
    db.add_headings(test_support::heading_text({"WESTSIDE GROCERY", "12 HARBOR ROAD", "LAKETOWN", "555-0100"}),
                    test_support::heading_text({"BACK OFFICE", "INVENTORY LISTINGS", "WEEKLY RUN", "STORE 07"}));
    for (const ItemArea& it : items) db.add(it);
  }
  const auto run = test_support::run_invreport({"-RPT", std::string(number), "-F", "STOCK", "-DT", "030424"},
                                               dir.path());
  EXPECT_EQ(run.exit_code, 0) << run.err;
  return test_support::read_file(dir / "OUTF21.DAT");
}

// An item record with the given 32-bit fields set, everything else as
// make_item leaves it.
inline ItemArea item_with(std::string_view index,
                          std::initializer_list<std::pair<report::Field, std::int32_t>> values) {
  ItemArea a = test_support::make_item(index);
  for (const auto& [field, value] : values) report::set_i32(a, field, value);
  return a;
}

// `a` with the given text fields set, each blank-padded or cut to its width.
inline ItemArea with_text(ItemArea a, std::initializer_list<std::pair<report::Field, std::string_view>> values) {
  for (const auto& [field, value] : values) report::set_text(a, field, value);
  return a;
}

// Columns first..last (1-based) of a record.
inline std::string cols(const std::string& record, int first, int last) {
  return record.substr(first - 1, last - first + 1);
}

}  // namespace report_test
