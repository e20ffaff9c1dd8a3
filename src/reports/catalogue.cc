#include "reports/catalogue.h"

#include <vector>

namespace report {

const CatalogueEntry* find_catalogue_entry(int number) {
  if (number < 1 || number > kReportCount) return nullptr;
  return &kCatalogue[number - 1];
}

std::string display_title(const CatalogueEntry& entry) {
  if (entry.comma_separated()) return "export file " + std::string(entry.file_name);
  std::string words;
  for (const char c : entry.title) {
    if (c == ' ' || c == '-') {
      if (!words.empty() && words.back() != ' ') words += ' ';
    } else {
      words += c;
    }
  }
  if (!words.empty() && words.back() == ' ') words.pop_back();
  return words;
}

std::string reports_printing_unquoted(const Field& field) {
  std::vector<int> numbers;
  for (const CatalogueEntry& e : kCatalogue)
    for (const Field& f : e.unquoted)
      if (f.offset == field.offset && f.width == field.width) numbers.push_back(e.number);
  std::string words;
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    if (i > 0) words += i + 1 == numbers.size() ? " and " : ", ";
    words += std::to_string(numbers[i]);
  }
  return words;
}

}  // namespace report
