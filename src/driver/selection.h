// Item selections: a report run over part of the items.
//
//   --dept N        items whose Dept is N
//   --cat N         items whose Cat is N
//   --vendor ID     items whose Vendor is ID (1 to 12 characters, compared
//                   with the field blank-padded, case included; a value is
//                   UTF-8 text, each character one byte of the record)
//   --from INDEX    items whose StockIndex is INDEX or after it, and
//   --to INDEX      INDEX or before it (1 to 12 characters each, compared
//                   blank-padded byte by byte, the order of the index)
//
// Each option takes the word after it as its value; a value never begins
// with "-"; an option may be given once.  The selections combine: an item
// is handed to the report only when it meets every one given.  --from and
// --to go through the index: the walk is positioned at the first key with
// the from index and stops after the last key with the to index, so the
// items outside the range are never read.  A run with a selection writes
// exactly what the same report writes over a database holding only the
// selected items.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "driver/options.h"
#include "report_common/item_record.h"

namespace driver {

using StockIndexText = std::array<char, 12>;
using ItemKey = std::array<std::uint8_t, report::kKeyLength>;

struct Selection {
  std::optional<std::int16_t> dept;
  std::optional<std::int16_t> cat;
  std::optional<StockIndexText> vendor;
  std::optional<StockIndexText> from;
  std::optional<StockIndexText> to;

  bool any() const { return dept || cat || vendor || from || to; }
  // The key the walk positions at (greatest live key not above it): `low`
  // without --from, else the first key a from index can have, when that is
  // above `low`.
  ItemKey start_key(const ItemKey& low) const;
  // Whether the walk, having reached `key`, is past the --to index.
  bool past_range(std::span<const std::uint8_t> key) const;
  // Whether the item (its block read) meets the department, category and
  // vendor selections.  The stock index range is the walk's: it reaches no
  // key below start_key() and stops at the first past_range().
  bool takes(const report::ItemArea& item) const;
};

struct SelectionParse {
  Selection selection;
  std::string error;  // empty when the words gave a usable selection
};

// The selection options among `words`; an unusable one (no value, a value
// that is not a number or is too long, an option given twice, --from after
// --to) gives the reason in words.
SelectionParse parse_selection(Words words);

}  // namespace driver
