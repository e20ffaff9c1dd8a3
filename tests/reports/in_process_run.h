// Runs one report routine in-process, as the driver would, over items built
// by the test: first call with mode 0, then mode 1 for each further item,
// then the finishing call with mode 2.  Needs no database.
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
// created there) and returns what it wrote.
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

// An item record with the given 32-bit fields set, everything else as
// make_item leaves it.
inline ItemArea item_with(std::string_view index,
                          std::initializer_list<std::pair<report::Field, std::int32_t>> values) {
  ItemArea a = test_support::make_item(index);
  for (const auto& [field, value] : values) report::set_i32(a, field, value);
  return a;
}

// Columns first..last (1-based) of a record.
inline std::string cols(const std::string& record, int first, int last) {
  return record.substr(first - 1, last - first + 1);
}

}  // namespace report_test
