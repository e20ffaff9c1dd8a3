// The item record as a row of comma-separated text.
//
// A header row names the columns.  The columns are the item fields by name
// (`StockIndex`, `LongName`, `Price`, `QOH` ...), one per field of the item
// layout after the record class; together they cover bytes 2 to 255 of the
// block, and the record class (bytes 0-1) of an item is always "12", so every
// byte of an item can be set:
//   - text fields hold their text; a shorter text is padded with blanks, and
//     trailing blanks are dropped on the way out;
//   - number fields hold a decimal integer in the record's own units
//     (thousandths for prices and costs, hundredths for amounts);
//   - the stretches that carry no named meaning (`Opaque64`, `Opaque214`,
//     `Opaque244`) hold their bytes as hexadecimal, two digits a byte.
// `RenterPhone` may be given instead of `UnitDscp` and `PkgDscp`: it is the
// 12-character text that rental items keep in those bytes.
//
// Columns may appear in any order and may be left out, except `StockIndex`.
// An empty cell, or a column left out, gives blanks, zero or zero bytes to a
// new item and leaves an existing item's bytes as they are.
//
// Text is UTF-8 in the file and one byte per character in the record (the
// reports count columns in bytes): the characters U+0000 to U+00FF are stored
// as the byte of the same value, and export writes the bytes back as UTF-8.
// A checked import also refuses, with line and column, text the reports
// cannot carry: control characters (below the blank, 0x7F, U+0080 to U+009F),
// a comma or double quote in a field that a comma-separated report prints
// unquoted, and a StockIndex or KeyRest starting below the blank (the report
// walk never reaches it).  Blanks are ordinary key bytes, before or inside a
// key ("      123456", "AB 12"): every report prints them as they are.
// A restore takes back exactly what export wrote.
//
// Rows whose StockIndex cell names a page heading's line ("(left heading 1)",
// see invdb/headings.h) carry the headings; a checked import holds their text
// to the rules of the heading command.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "report_common/control_records.h"
#include "report_common/item_record.h"

namespace invdb {

// The columns written on export, in block order.
std::vector<const report::Field*> export_columns();
// The column of that name, or nullptr (RenterPhone included).
const report::Field* find_column(std::string_view name);

// The bytes of an item that a row sets: bit i % 64 of word i / 64 for byte i.
using ByteSet = std::array<std::uint64_t, report::kItemSize / 64>;

// One validated row: the bytes its cells set and which bytes those are.
struct ItemRow {
  int line = 0;
  report::ItemArea values{};
  ByteSet set{};
  bool sets(int byte) const { return set[byte / 64] >> (byte % 64) & 1; }
  // The 22-byte index key: "12", StockIndex, KeyRest.
  std::string key() const;
  void key_into(char (&key)[report::kKeyLength]) const;
  // Applies the cells over `base` (an existing block, or blank_item()).
  void apply(report::ItemArea& base) const;
};

// An item with the record class "12", blank text and zero numbers.
report::ItemArea blank_item();

enum class ImportMode { kChecked, kRestore };

// The page headings that the heading rows of a file give.
struct FileHeadings {
  // Indexed by report::control::Heading: each side's text, its lines without
  // a row blank, and the line of the file that gave each line (0: none).
  std::array<report::control::HeadingText, 2> text{};
  std::array<std::array<int, report::control::kHeadingLines>, 2> lines{};
  bool given(report::control::Heading side) const;
};

// Maps the header row to columns.  Fails on an unknown or repeated column,
// a missing StockIndex, or RenterPhone given with UnitDscp or PkgDscp.
class ItemColumns {
 public:
  bool set_header(std::span<const std::string_view> header, int line, std::string& error);
  // Validates one data row into `row`, which must come in empty; on failure
  // `error` names the line and column.
  bool parse_row(std::span<const std::string_view> cells, int line, ImportMode mode, ItemRow& row,
                 std::string& error) const;
  // A row whose StockIndex cell names a heading line: its text (the LongName
  // cell; every other cell empty) goes into `headings`.  kNo for an item's row.
  enum class HeadingRow { kNo, kTaken, kFault };
  HeadingRow parse_heading_row(std::span<const std::string_view> cells, int line, ImportMode mode,
                               FileHeadings& headings, std::string& error) const;

 private:
  int stock_index_ = -1, long_name_ = -1;  // their columns, -1 when absent
  std::vector<const report::Field*> columns_;
  std::vector<ByteSet> bytes_;  // the bytes of each column
};

// The header row and the data row that export writes for an item block.
std::vector<std::string> export_header();
std::vector<std::string> export_row(const report::ItemArea& item);
// The row of line `n` (from 0) of a heading, given its bytes.
std::vector<std::string> export_heading_row(report::control::Heading side, int n, std::string_view line);

// Why a checked import would refuse the item's text ("Vendor: ..."), or an
// empty text when it would take it.
std::string refused_text(const report::ItemArea& item);

// Reads a whole CSV text into validated rows, and the heading rows into
// `headings` when given; stops at the first fault.  The same item (key), or
// the same heading line, twice is a fault.
bool parse_item_csv(std::string_view text, std::vector<ItemRow>& rows, std::string& error,
                    ImportMode mode = ImportMode::kChecked, FileHeadings* headings = nullptr);

}  // namespace invdb
