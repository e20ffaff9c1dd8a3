// Report 13: sales and value by department.
//
// Items fall into 999 departments by Dept: 0 or less goes to 998, above 998
// to 999.  A department's label is the LongName of the last item, in key
// order, taken into it.  Department line: 2-4 department number
// (int_to_text), 6-19 the first 14 characters of the label, then the columns
// of the units-and-value listing from column 20 on.
#include <algorithm>
#include <array>

#include "reports/catalogue.h"
#include "reports/grouped_sales.h"
#include "reports/reports.h"

namespace report {

namespace {

constexpr int kDepartments = 999;
constexpr int kLabelLength = 24;

class SalesByDepartment final : public UnitsAndValueReport {
 public:
  explicit SalesByDepartment(RunContext& ctx) : UnitsAndValueReport(ctx, catalogue_entry(13).title, kDepartments) {}

 private:
  int group_of(const ItemArea& item) override {
    const std::int16_t dept = i16(item, item::Dept);
    if (dept <= 0) return 998;
    if (dept > 998) return 999;
    return dept;
  }

  void take_rest(int number, Group& group, const ItemArea& item) override {
    const std::string_view name = text(item, item::LongName);
    std::copy(name.begin(), name.end(), labels_[static_cast<std::size_t>(number - 1)].begin());
    UnitsAndValueReport::take_rest(number, group, item);
  }

  void put_label(int number) override {
    frame_.put_int_last_digits(2, 3, static_cast<std::int16_t>(number));
    // Written as 15 characters; the cycle sales then take column 20.
    frame_.put_text(6, std::string_view(labels_[static_cast<std::size_t>(number - 1)].data(), 15));
  }

  std::array<std::array<char, kLabelLength>, kDepartments> labels_{};
};

}  // namespace

std::unique_ptr<Report> make_sales_by_department(RunContext& ctx) { return std::make_unique<SalesByDepartment>(ctx); }

}  // namespace report
