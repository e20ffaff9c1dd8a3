// The report run: options, database, walk over the items, completion.
//
// Run order (a command line of --help, -h or --version alone prints that
// text instead, help.h; notes on a doubtful command line go to standard
// error first, command_notes.h):
//   1. run date text (clock or "-DT"), database name ("-F" or the prompt);
//   2. "-RPT": exactly 2 characters spelling 1 to 15, and the selection
//      options usable (selection.h), else " Syntax error";
//   3. open NAME.XXX in index slot 1 (copfx), then NAME (copfd);
//   4. the period calendar;
//   5. the walk: position at "12" + 20 blanks (cfind mode 2), then step
//      (mode 3) for as long as the keys begin with "12", skipping entries of
//      type byte 9; read each item block into the item area (crdbk) and hand
//      it to the report -- mode 0 on the first item (the report sets 1
//      itself), one finishing call with mode 2 when any item was handed over;
//   6. the completion lines; close both files whether or not they were open.
//
// Exit status: 0 after a normal run; 2 after " Syntax error"; 1 when the
// index or record file cannot be opened, when an item block cannot be read
// (the item is skipped), when the report's output failed or when the console
// could not be written; 128 + n when signal n (SIGINT, SIGTERM, SIGHUP,
// SIGPIPE) stopped the run: the walk ends before its next item, both files
// are closed (their open marks cleared), the old report file is kept, and
// one line on stderr says so.
//
// Waits: the opens of both files wait 5 seconds in all for a program that
// is changing the database, and after a second say once that they wait.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>

#include "driver/options.h"
#include "driver/selection.h"
#include "isam/call_interface.h"
#include "report_common/run_context.h"

namespace driver {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitSyntax = 2;

struct Console {
  std::FILE* in;   // the database-name prompt's answer
  std::FILE* out;  // console lines and report echo
  std::FILE* err;  // one-line diagnostics
};

// Makes the report routine for a report number 1 to 15.
using ReportFactory = std::function<std::unique_ptr<report::Report>(std::int16_t, report::RunContext&)>;

struct WalkResult {
  std::uint64_t items = 0;       // items handed to the report
  std::uint64_t unreadable = 0;  // items skipped because their block could not be read
  bool cut_short = false;        // the index could not be read to the end of the keys
  int stopped_by = 0;            // the signal that stopped the walk between two items (0: none)
};

// Walks the item keys of the database open in index slot 1 and `fcb`, hands
// every readable item to `rep` and makes the finishing call when any item
// was handed over.  An unreadable item is skipped with a diagnostic naming
// its key on ctx.diagnostics; so is an index that cannot be read to its end
// (the walk stops there, naming the last key it reached).  With a
// selection only the items it takes are handed over, and a stock index range
// is walked through the index alone (selection.h).  A stop asked for by a
// signal (report_common/stop_signal.h) ends the walk before the next item,
// without the finishing call, so the report replaces no file.
WalkResult walk(isam::Library& lib, const isam::Fcb& fcb, report::RunContext& ctx, report::Report& rep,
                const report::RunDate& run_date, const Selection& selection = {});

// The whole run over `words` (the command line after the program's name),
// with `today` as the clock's date and `make_report` as the dispatch table.
// Returns the exit status.
int run(Words words, const Console& console, const std::tm& today, const ReportFactory& make_report);

// The program: the real command line, the local clock and the fifteen
// reports.  Returns the exit status.
int run(int argc, const char* const* argv, std::FILE* in, std::FILE* out, std::FILE* err);

}  // namespace driver
