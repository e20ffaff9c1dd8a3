#include "driver/selection.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "report_common/latin1.h"

namespace driver {

namespace {

constexpr int kIndexOffset = report::item::StockIndex.offset;
constexpr int kIndexWidth = report::item::StockIndex.width;
static_assert(kIndexWidth == std::tuple_size_v<StockIndexText>);
static_assert(report::item::Vendor.width == std::tuple_size_v<StockIndexText>);

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// A whole number 0 to 32767 written in digits only.
std::optional<std::int16_t> small_number(std::string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  std::int32_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value > 32767) return std::nullopt;
  return static_cast<std::int16_t>(value);
}

StockIndexText padded(std::string_view text) {
  StockIndexText out;
  out.fill(' ');
  std::copy_n(text.data(), std::min(text.size(), out.size()), out.data());
  return out;
}

std::string_view trimmed(const StockIndexText& text) {
  std::string_view view(text.data(), text.size());
  return view.substr(0, view.find_last_not_of(' ') + 1);
}

}  // namespace

ItemKey Selection::start_key(const ItemKey& low) const {
  if (!from) return low;
  // The first key a from index can have: class, the index, then the lowest
  // byte in every position of the key's rest.
  ItemKey key{};
  std::copy_n(low.begin(), kIndexOffset, key.begin());
  std::copy(from->begin(), from->end(), key.begin() + kIndexOffset);
  return std::lexicographical_compare(low.begin(), low.end(), key.begin(), key.end()) ? key : low;
}

bool Selection::past_range(std::span<const std::uint8_t> key) const {
  return to && std::memcmp(key.data() + kIndexOffset, to->data(), kIndexWidth) > 0;
}

bool Selection::takes(const report::ItemArea& item) const {
  namespace f = report::item;
  if (dept && report::i16(item, f::Dept) != *dept) return false;
  if (cat && report::i16(item, f::Cat) != *cat) return false;
  return !vendor || std::memcmp(item.data() + f::Vendor.offset, vendor->data(), vendor->size()) == 0;
}

SelectionParse parse_selection(Words words) {
  SelectionParse parse;
  Selection& s = parse.selection;
  auto fail = [&parse](std::string text) {
    if (parse.error.empty()) parse.error = std::move(text);
  };
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string_view option = words[i];
    if (option != "--dept" && option != "--cat" && option != "--vendor" && option != "--from" && option != "--to")
      continue;
    if (i + 1 == words.size() || words[i + 1].starts_with('-')) {
      fail(std::string(option) + " needs a value after it");
      continue;
    }
    const std::string_view value = words[++i];
    if (option == "--dept" || option == "--cat") {
      std::optional<std::int16_t>& slot = option == "--dept" ? s.dept : s.cat;
      const std::optional<std::int16_t> number = small_number(value);
      if (!number) {
        fail(std::string(option) + " " + quoted(value) + ": the value is a whole number, 0 to 32767, in digits");
      } else if (slot) {
        fail(std::string(option) + " is given twice; give it once");
      } else {
        slot = number;
      }
      continue;
    }
    std::optional<StockIndexText>& slot = option == "--vendor" ? s.vendor : option == "--from" ? s.from : s.to;
    const std::string_view what = option == "--vendor" ? "vendor identifier" : "stock index";
    // The command line is UTF-8; the record holds one byte per character.
    std::string bytes, problem;
    if (!report::latin1::from_utf8(value, bytes, problem)) {
      fail(std::string(option) + " " + quoted(value) + ": " + problem);
    } else if (bytes.size() > static_cast<std::size_t>(kIndexWidth)) {
      fail(std::string(option) + " " + quoted(value) + ": a " + std::string(what) + " has at most 12 characters");
    } else if (slot) {
      fail(std::string(option) + " is given twice; give it once");
    } else {
      slot = padded(bytes);
    }
  }
  if (parse.error.empty() && s.from && s.to && std::memcmp(s.from->data(), s.to->data(), kIndexWidth) > 0)
    fail("--from " + quoted(trimmed(*s.from)) + " comes after --to " + quoted(trimmed(*s.to)) +
         " in the index: no item lies between them");
  return parse;
}

}  // namespace driver
