#include "driver/driver.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "driver/command_notes.h"
#include "driver/console.h"
#include "driver/help.h"
#include "driver/period_calendar.h"
#include "report_common/field_routines.h"
#include "report_common/stop_signal.h"
#include "reports/reports.h"

namespace driver {

namespace {

constexpr std::uint8_t kSkippedType = 9;  // entries of this type byte are not items

// The walk starts after this key; every item key begins with "12".
constexpr std::string_view kItemClass = "12";
constexpr std::string_view kLowKey = "12                    ";
static_assert(kLowKey.size() == report::kKeyLength);

// How long the opens wait, all told, for a program changing the database.
constexpr int kLockWaitMs = 5000;

constexpr std::string_view kSyntaxError = " Syntax error";
constexpr std::string_view kUnableToOpen = " Unable to open data base";
constexpr std::string_view kCompletion = "1      Korvane   INVENTORY REPORTS        COMPLETION";

void diagnostic(std::FILE* err, std::string_view text) {
  std::fputs("invreport: ", err);
  write_line(err, text);
}

// A key as diagnostic text: bytes outside the printable range shown as "?".
std::string printable(std::span<const std::uint8_t> bytes) {
  std::string text;
  for (const std::uint8_t b : bytes) text += (b >= 32 && b < 127) ? static_cast<char>(b) : '?';
  return text;
}

// A file's name for a diagnostic: the file name without the trailing point
// of a blank extension.
std::string shown_name(const isam::NameField& field) {
  std::string name = isam::file_name_of(field);
  if (name.ends_with('.')) name.pop_back();
  return name;
}

// The report number from "-RPT": exactly 2 characters spelling 1 to 15.
// 0 when the option is missing or its value is not such a number.
std::int16_t report_number(Words words) {
  ValueArea value;
  value.fill(' ');
  if (find_option(words, "-RPT", value) != 2) return 0;
  const std::int32_t number = report::text_to_int(std::string_view(value.data(), 2), 2);
  return (number >= 1 && number <= 15) ? static_cast<std::int16_t>(number) : 0;
}

// Why the library could not open or close a file, for a diagnostic.
std::string reason(const isam::Library& lib) {
  const int error = lib.system_error();
  if (error == EWOULDBLOCK) return ": in use by another program";
  if (lib.core_error() == isam::kWasOpen) return ": marked open by a program that did not close it";
  return error != 0 ? std::string(": ") + std::strerror(error) : std::string();
}

void unable_to_open(std::FILE* out) {
  write_line(out, "");
  write_line(out, "");
  write_line(out, kUnableToOpen);
}

// The completion lines: the title line, then one blank and the 11-character
// name field (the database name with a blank extension).
void completion(std::FILE* out, const DatabaseName& name) {
  write_line(out, kCompletion);
  const isam::NameField field = isam::make_name_field(std::string_view(name.data(), name.size()), "");
  std::string line = " ";
  line.append(field.begin(), field.end());
  write_line(out, line);
}

// Start-up after the options, the walk and the completion lines; the caller
// closes the files.
int open_and_walk(isam::Library& lib, isam::Fcb& fcb, report::RunContext& ctx, Words words, const DatabaseName& name,
                  const report::RunDate& run_date, const ReportFactory& make_report, bool& opened) {
  std::FILE* const out = ctx.console;
  const std::int16_t number = report_number(words);
  const SelectionParse selection = parse_selection(words);
  if (number == 0 || !selection.error.empty()) {
    diagnostic(ctx.diagnostics, number == 0 ? report_number_problem(words) : selection.error);
    write_line(out, kSyntaxError);
    unable_to_open(out);
    return kExitSyntax;
  }

  const std::string_view base(name.data(), name.size());
  std::int16_t status = 1;
  const isam::NameField index_name = isam::make_name_field(base, "XXX");
  // One wait for both opens.
  const auto give_up_at = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLockWaitMs);
  lib.copfx(kIndexSlot, index_name, status);
  // A stop during the wait for another program ends the run at once; the
  // run's last line says so.
  if (status != 0 && report::stop::requested() != 0) return report::stop::exit_status(report::stop::requested());
  if (status != 0) {
    diagnostic(ctx.diagnostics, "cannot open the index file " + shown_name(index_name) + reason(lib));
    unable_to_open(out);
    return kExitFailure;
  }
  const isam::NameField record_name = isam::make_name_field(base, "");
  lib.set_lock_wait(static_cast<int>(std::max<std::int64_t>(
      0,
      std::chrono::duration_cast<std::chrono::milliseconds>(give_up_at - std::chrono::steady_clock::now()).count())));
  lib.copfd(record_name, fcb, status);
  if (status != 0 && report::stop::requested() != 0) return report::stop::exit_status(report::stop::requested());
  if (status != 0) {
    diagnostic(ctx.diagnostics, "cannot open the record file " + shown_name(record_name) + reason(lib));
    completion(out, name);
    return kExitFailure;
  }

  opened = true;
  prepare_calendar(lib, fcb, ctx, run_date);
  ctx.current_report = number;
  WalkResult result;
  if (const std::unique_ptr<report::Report> rep = make_report(number, ctx)) {
    result = walk(lib, fcb, ctx, *rep, run_date, selection.selection);
  }
  if (result.stopped_by != 0) return report::stop::exit_status(result.stopped_by);
  completion(out, name);
  return (result.unreadable > 0 || result.cut_short || ctx.output_failed) ? kExitFailure : kExitOk;
}

}  // namespace

WalkResult walk(isam::Library& lib, const isam::Fcb& fcb, report::RunContext& ctx, report::Report& rep,
                const report::RunDate& run_date, const Selection& selection) {
  // The first 22 bytes of the item area are the key buffer: every find
  // writes the key it reached there, and the block read then fills the whole
  // area beginning with the same key.
  const std::span<std::uint8_t> key(ctx.item.data(), report::kKeyLength);
  WalkResult result;
  std::int16_t mode = 0;
  std::uint16_t address = 0;
  std::uint8_t type = 0;
  bool found = false;

  // Position at the greatest live key not above the low key: a control
  // record, the sentinel or the low key itself -- never an item handed over.
  // A selection from a stock index positions below the first key that index
  // can have; a key equal to that one is itself taken.
  ItemKey low;
  std::copy(kLowKey.begin(), kLowKey.end(), low.begin());
  const ItemKey start = selection.start_key(low);
  std::copy(start.begin(), start.end(), key.begin());
  std::array<std::uint8_t, report::kKeyLength> item_key{};
  lib.cfind(kIndexSlot, isam::kFindPosition, key, address, type, found);
  bool at_start = found && start != low && std::equal(start.begin(), start.end(), key.begin());
  while (found) {
    if ((result.stopped_by = report::stop::requested()) != 0) return result;
    if (!std::exchange(at_start, false)) lib.cfind(kIndexSlot, isam::kFindNext, key, address, type, found);
    if (!found) break;
    if (type == kSkippedType) continue;
    if (!std::equal(kItemClass.begin(), kItemClass.end(), key.begin())) break;  // past the items
    if (selection.past_range(key)) break;
    std::copy(key.begin(), key.end(), item_key.begin());
    std::int16_t status = 1;
    lib.crdbk(fcb, address, ctx.item, status);
    if (status != 0) {
      // Handing the area over would give the report the previous item's
      // figures under this key: skip the item and fail the run.
      ++result.unreadable;
      diagnostic(ctx.diagnostics, "cannot read the item \"" + printable(item_key) + "\" (block " +
                                      std::to_string(address) + "); item skipped");
      continue;
    }
    if (!selection.takes(ctx.item)) continue;
    ++result.items;
    rep.call(run_date, mode);
  }
  // A find that fails without a core error has reached the end of the keys;
  // with one, the index could not be read on.
  if (!found && lib.core_error() != isam::kNoError) {
    result.cut_short = true;
    const bool reached = result.items + result.unreadable > 0;
    diagnostic(ctx.diagnostics,
               "the index could not be read " +
                   (reached ? "past the key \"" + printable(item_key) + "\"" : "up to the first item") +
                   "; the walk stopped there after " + std::to_string(result.items) + " items");
  }

  if (result.items > 0) {
    mode = 2;
    rep.call(run_date, mode);
  }
  return result;
}

int run(Words words, const Console& console, const std::tm& today, const ReportFactory& make_report) {
  if (const std::string text = self_description(words); !text.empty()) {
    std::fwrite(text.data(), 1, text.size(), console.out);
    if (const std::string problem = flush_console(console.out); !problem.empty()) {
      diagnostic(console.err, "cannot write to standard output: " + problem);
      return kExitFailure;
    }
    return kExitOk;
  }
  for (const std::string& note : command_line_notes(words, today)) diagnostic(console.err, note);

  report::RunContext ctx;
  ctx.console = console.out;
  ctx.diagnostics = console.err;

  const report::RunDate run_date = run_date_text(words, today);
  const DatabaseName name = database_name(words, console.in, console.out);

  // A stop asked for at the name's prompt: nothing was opened.
  if (const int signal = report::stop::requested()) {
    diagnostic(console.err, "interrupted before the database was opened");
    return report::stop::exit_status(signal);
  }

  // The run only reads: it shares the database with other readers and waits
  // a while for a program that is changing it, saying so after a second.
  const std::string shown(name.data(), std::find(name.begin(), name.end(), ' '));
  bool said_waiting = false;
  isam::Library lib(isam::LibraryOptions{.role = isam::LibraryOptions::Role::kReader,
                                         .lock_wait_ms = kLockWaitMs,
                                         .on_wait =
                                             [&] {
                                               if (std::exchange(said_waiting, true)) return;
                                               diagnostic(console.err, "waiting for another program using " + shown);
                                               std::fflush(console.err);
                                             },
                                         .stop = [] { return report::stop::requested() != 0; },
                                         .notices = console.err});
  isam::Fcb fcb{};
  bool opened = false;
  int exit_status = open_and_walk(lib, fcb, ctx, words, name, run_date, make_report, opened);

  // Both files are closed whether or not they were opened; closing a file
  // that is not open only fails.  A close of an open file that fails (its
  // open mark could not be cleared) fails the run.
  std::int16_t index_status = 0, record_status = 0;
  lib.cclfx(kIndexSlot, index_status);
  const int index_error = lib.system_error();
  lib.cclfd(fcb, record_status);
  if (opened && (index_status != 0 || record_status != 0)) {
    const int error = record_status != 0 ? lib.system_error() : index_error;
    diagnostic(console.err, std::string("cannot close the database: ") + std::strerror(error != 0 ? error : EIO));
    exit_status = kExitFailure;
  }
  // A stopped run says what became of the database and the report file.
  if (const int signal = report::stop::requested()) {
    const bool cut = opened && exit_status == report::stop::exit_status(signal);
    diagnostic(console.err, "interrupted (" + report::stop::name(signal) + "): " + shown + " is unchanged" +
                                (cut ? " and closed; the report was not finished and replaced no file" : ""));
    std::fflush(console.out);
    return report::stop::exit_status(signal);
  }
  // A console that cannot be written fails a run that went well otherwise.
  if (const std::string problem = flush_console(console.out); !problem.empty()) {
    diagnostic(console.err, "cannot write to standard output: " + problem);
    if (exit_status == kExitOk) exit_status = kExitFailure;
  }
  return exit_status;
}

int run(int argc, const char* const* argv, std::FILE* in, std::FILE* out, std::FILE* err) {
  std::vector<std::string_view> words;
  for (int i = 1; i < argc; ++i) words.emplace_back(argv[i]);
  return run(words, Console{in, out, err}, local_today(),
             [](std::int16_t number, report::RunContext& ctx) { return report::make_report(number, ctx); });
}

}  // namespace driver
