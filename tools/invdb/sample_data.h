// The sample store's data: its categories, vendors, item sizes and page
// headings.  The generator (sample.cc) draws items from these tables.
#pragma once

#include <array>
#include <string_view>
#include <vector>

namespace invdb::sample {

// How an item of a category is sold.
enum class Kind { kEach, kBulk, kRental };

struct Category {
  int number;
  int weight;  // how many of the store's items, relatively
  int dept;
  std::string_view name;  // at most 18 characters: the report takes it whole
  Kind kind;
  int price_lo, price_hi;  // cents
  std::vector<std::string_view> nouns;
};

// The categories in number order; rentals (81) carry no weight, the
// generator draws them apart.
const std::vector<Category>& categories();
// Vendors by department (1 to 11, at index department - 1); most items come
// from their department's.
const std::vector<std::vector<std::string_view>>& vendors_by_department();
// Sizes and finishes that complete an item's name.
const std::vector<std::string_view>& sizes();

inline constexpr std::array<std::string_view, 6> kLeftHeading = {
    "HILLCREST HARDWARE", "& GARDEN SUPPLY", "1200 MAIN STREET", "SPRINGDALE", "", ""};
inline constexpr std::array<std::string_view, 6> kRightHeading = {
    "STORE 001", "INVENTORY CONTROL", "PHONE 555-0100", "", "", ""};

}  // namespace invdb::sample
