// The report catalogue against what the reports print: every golden output
// file of a report carries the catalogue's title (listings) or heading record
// (exports) and has records of the catalogue's length.
#include "reports/catalogue.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>

#include "support/report_harness.h"

namespace report {
namespace {

TEST(Catalogue, EveryGoldenOutputCarriesItsReportsTitleOrHeading) {
  std::array<int, kReportCount + 1> files{};
  for (const auto& entry : std::filesystem::directory_iterator(test_support::data_path("reports/golden"))) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with("rpt") || name.ends_with("_console.txt")) continue;
    const int number = std::stoi(name.substr(3, 2));
    const CatalogueEntry* e = find_catalogue_entry(number);
    ASSERT_NE(e, nullptr) << name;
    const std::string file = test_support::read_file(entry.path());
    const std::size_t length = static_cast<std::size_t>(e->record_length);
    const std::vector<std::string> records = test_support::split_records(file, length);
    ASSERT_GE(records.size(), 2u) << name;
    if (e->comma_separated()) {
      EXPECT_EQ(records[0].substr(0, e->heading_record.size()), e->heading_record) << name;
      EXPECT_EQ(records[0].find_first_not_of(' ', e->heading_record.size()), length - 2) << name;
    } else if (records[0].starts_with('1')) {  // a listing that printed no line has no page header
      EXPECT_EQ(test_support::cols(records[1], 50, 86), e->title) << name;
    }
    ++files[number];
  }
  for (int n = 1; n <= kReportCount; ++n) EXPECT_GT(files[n], 0) << "no golden output of report " << n;
}

TEST(Catalogue, NumbersNamesAndUnquotedFields) {
  EXPECT_EQ(find_catalogue_entry(0), nullptr);
  EXPECT_EQ(find_catalogue_entry(16), nullptr);
  for (int n = 1; n <= kReportCount; ++n) {
    EXPECT_EQ(find_catalogue_entry(n)->number, n);
    EXPECT_FALSE(find_catalogue_entry(n)->name.empty());
  }
  const struct {
    Field field;
    std::string_view reports;
  } cases[] = {{item::StockIndex, "2, 6 and 15"},
               {item::ShortName, "2"},
               {item::Vendor, "2, 6 and 15"},
               {item::LongName, "6 and 15"},
               {item::Alternate, "6 and 15"},
               {item::PLU, ""},
               {item::KeyRest, ""}};
  for (const auto& c : cases) EXPECT_EQ(reports_printing_unquoted(c.field), c.reports) << c.field.name;
  EXPECT_EQ(catalogue_entry(15).file_name, "KOROt15.csv");
}

}  // namespace
}  // namespace report
