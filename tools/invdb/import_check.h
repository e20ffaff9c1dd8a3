// The import's reading of a CSV text, for people editing it in a
// spreadsheet: every bad row is found in one pass, and the common slips are
// named.
//
//   - Header names match the item fields without regard to case
//     ("stockindex" is StockIndex).  An unknown name is refused with the list
//     of the valid ones; with --ignore-unknown such a column is skipped (said
//     once on standard error) and its cells are not read.
//   - Money columns hold the record's units: Price and UntCost thousandths,
//     the purchase and sales amounts hundredths.  A cell with a decimal point
//     is refused with the unit ("Price is in thousandths: 4.99 is 4990");
//     with --decimal-money every cell of those columns is in currency units
//     (4.99 and 5 are 4990 and 5000 thousandths), with no more decimals than
//     the unit holds.
//   - Every bad row is reported, up to kProblemsShown with line, column and
//     reason, then their count.  A malformed record (an unclosed quote) ends
//     the reading and is reported first.  The import stays all or nothing:
//     one bad row and nothing is written.
//   - An update that would turn a digit-only text into the same number
//     without its leading zeros (PLU 015013983578 -> 15013983578, as a
//     spreadsheet does to a column it takes for numbers) is counted per
//     column and warned of.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "invdb/commands.h"
#include "invdb/database.h"
#include "invdb/item_csv.h"

namespace invdb {

inline constexpr std::size_t kProblemsShown = 50;

struct ImportFlags {
  bool restore = false;
  bool dry_run = false;
  bool json = false;
  bool decimal_money = false;
  bool ignore_unknown = false;
};

// The import's words after NAME and FILE.  False with the word it does not
// know in `bad`.
bool parse_import_flags(const Args& args, ImportFlags& flags, std::string& bad);

struct ImportCheck {
  std::vector<ItemRow> rows;          // the good rows, in file order
  std::vector<std::string> problems;  // the first kProblemsShown, "line L, column C (Name): reason"
  std::size_t problem_count = 0;      // all of them
  std::vector<std::string> notes;     // columns skipped
  FileHeadings headings;              // the page headings the heading rows give
};

// Reads and checks the whole text.  True when no row has a problem.
bool check_import_text(std::string_view text, const ImportFlags& flags, ImportCheck& check);

// The problems on standard error, each "invdb: FILE: ...", then the count.
void print_problems(const ImportCheck& check, std::string_view shown_file, const Io& io);

// Counts, per text column, the updates that drop a digit-only text's
// leading zeros.
class LeadingZeros {
 public:
  void observe(const report::ItemArea& before, const report::ItemArea& after);
  // "PLU: 1620 items would lose their leading zeros (015013983578 becomes
  // 15013983578) ...", one per column; `would` picks the mood.
  std::vector<std::string> warnings(bool would) const;
  struct Column {
    const report::Field* field;
    std::size_t items = 0;
    std::string example_old, example_new;
  };
  const std::vector<Column>& columns() const { return columns_; }

 private:
  std::vector<Column> columns_;
};

// import --dry-run over the checked rows (dry_run.cc): prints what the
// import would change and changes nothing.  Returns the exit status.
int import_dry_run(const DbPath& path, std::string_view shown_file, const ImportCheck& check, const ImportFlags& flags,
                   const Io& io);

// import --dry-run --json over a file with problems: {"dry_run": true,
// "problems": [...the first kProblemsShown...], "problem_count": N} on
// standard output (the problems also go to standard error).
void print_problems_json(const ImportCheck& check, const Io& io);

// The item as a person names it: its stock index, and its KeyRest after a
// blank when it has one (UTF-8, trailing blanks dropped).
std::string shown_item(const report::ItemArea& item);

}  // namespace invdb
