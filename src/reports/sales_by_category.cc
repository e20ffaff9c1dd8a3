// Report 12: sales and value by category.
//
// Items fall into 99 categories by Cat: 0 or less goes to 98, above 98 to 99.
// Sums 5 to 9 of a category:
//   5 cycle purchases, cents (CycPurchAmt)   6 YTD purchases, cents (YTDPurchAmt)
//   7 retail value: YTDSalesAmt / 100 / YTDSold x QOH, when YTDSold is not 0
//   8 cost value, cents: YTDPurchAmt / YTDPurchQty x QOH, when YTDPurchQty is not 0
//   9 quantity on hand
// Category line: 2-3 category number (int_to_text), 5-19 the first 15
// characters of its name, 20-88 the shared sales columns, then
//   92-100 sum 5 / 100 9.2   101-108 sum 6 / 100 8.2   109-117 sum 7 9.2
//   118-126 sum 8 / 100 9.2  127-132 sum 9 6.0
// The totals line has the same fields from column 20 on.
//
// Category names come from "StoreSales.csv", read once on the first call.
// A line of it ends at CR LF, a lone CR or a lone LF, and is taken as 134
// characters (blank-padded, longer lines cut).  With p the position of the
// first comma among its first 30 characters (p >= 7), "DPT" at p-6..p-4 and
// the category number in the two characters at p-2..p-1, the name field runs
// from p+1 up to the next comma within the following 30 characters.  A name
// of 1 to 18 characters overwrites the start of the category's 20-character
// name (a shorter later name leaves the tail of an earlier one); 19 or more
// blank the name; an empty field, or no second comma, changes nothing.  Any
// other line is ignored.
#include <array>
#include <cstdio>
#include <string_view>

#include "report_common/field_routines.h"
#include "reports/catalogue.h"
#include "reports/grouped_sales.h"
#include "reports/reports.h"

namespace report {

namespace {

constexpr int kCategories = 99;
constexpr int kNameLength = 20;
constexpr int kCsvLineLength = 134;
constexpr int kSearchWindow = 30;
constexpr int kLongestName = 18;

constexpr HeadingLine kHeading1 = heading_line(
    kSalesHeading1, {at(93, "CycPurc"), at(102, "YTDPurc"), at(113, "Retail"), at(121, "Cost"), at(130, "YTD")});
constexpr HeadingLine kHeading2 =
    heading_line(kSalesHeading2, {at(95, "$"), at(105, "$"), at(113, "$Value"), at(121, "$Value"), at(130, "QOH")});

using CategoryName = std::array<char, kNameLength>;
using CsvLine = std::array<char, kCsvLineLength>;

FrameLayout category_layout() {
  FrameLayout layout;
  layout.title = catalogue_entry(12).title;
  layout.heading1 = kHeading1.text();
  layout.heading2 = kHeading2.text();
  layout.recreate = true;
  return layout;
}

// Reads the next line into `line`, blank-padded to 134 characters.  False at
// the end of the file (with nothing read) or on a read error.
bool read_csv_line(std::FILE* in, CsvLine& line) {
  line.fill(' ');
  std::size_t used = 0;
  for (;;) {
    const int c = std::fgetc(in);
    if (c == EOF) return !std::ferror(in) && used > 0;
    ++used;
    if (c == '\n') return true;
    if (c == '\r') {
      const int next = std::fgetc(in);
      if (next != '\n' && next != EOF) std::ungetc(next, in);
      return true;
    }
    if (used <= line.size()) line[used - 1] = static_cast<char>(c);
  }
}

class SalesByCategory final : public GroupedSalesReport {
 public:
  explicit SalesByCategory(RunContext& ctx) : GroupedSalesReport(ctx, category_layout(), kCategories) {}

 private:
  void prepare_labels() override {
    for (CategoryName& name : names_) name.fill(' ');
    read_names();
  }

  int group_of(const ItemArea& item) override {
    const std::int16_t cat = i16(item, item::Cat);
    if (cat <= 0) return 98;
    if (cat > 98) return 99;
    return cat;
  }

  void take_rest(int, Group& group, const ItemArea& item) override {
    GroupSums& s = group.sums;
    const std::int32_t ytd_purchases = i32(item, item::YTDPurchAmt);
    const std::int32_t ytd_sold = i32(item, item::YTDSold);
    const std::int32_t ytd_bought = i32(item, item::YTDPurchQty);
    const std::int32_t on_hand = i32(item, item::QOH);
    accumulate(s[4], i32(item, item::CycPurchAmt));
    accumulate(s[5], ytd_purchases);
    if (ytd_sold != 0) accumulate(s[6], i32(item, item::YTDSalesAmt) / 100.0 / ytd_sold * on_hand);
    if (ytd_bought != 0) accumulate(s[7], static_cast<double>(ytd_purchases) / ytd_bought * on_hand);
    accumulate(s[8], on_hand);
  }

  void put_label(int number) override {
    frame_.put_int_last_digits(2, 2, static_cast<std::int16_t>(number));
    // Written as 16 characters; the cycle sales then take column 20.
    const CategoryName& name = names_[static_cast<std::size_t>(number - 1)];
    frame_.put_text(5, std::string_view(name.data(), 16));
  }

  void put_tail(const GroupSums& s, bool) override {
    frame_.put_real(92, 9, 2, static_cast<float>(s[4] / 100.0));
    frame_.put_real(101, 8, 2, static_cast<float>(s[5] / 100.0));
    frame_.put_real(109, 9, 2, s[6]);
    frame_.put_real(118, 9, 2, static_cast<float>(s[7] / 100.0));
    frame_.put_real(127, 6, 0, s[8]);
  }

  void read_names() {
    std::FILE* in = std::fopen("StoreSales.csv", "rb");
    if (in == nullptr) return;  // no file: every name stays blank
    CsvLine line;
    while (read_csv_line(in, line)) take_name_line(std::string_view(line.data(), line.size()));
    std::fclose(in);
  }

  // Positions in the comments are 1-based; the indexes 0-based.
  void take_name_line(std::string_view line) {
    const int p = char_index(line, ',', kSearchWindow);
    if (p < 7) return;                                                     // no comma (0) or too close to the start
    if (line.substr(static_cast<std::size_t>(p - 7), 3) != "DPT") return;  // positions p-6..p-4
    const int number = text_to_int(line.substr(static_cast<std::size_t>(p - 3), 2), 2);
    const std::string_view rest = line.substr(static_cast<std::size_t>(p));  // from p+1
    const int length = char_index(rest, ',', kSearchWindow) - 1;
    if (number < 1 || number > kCategories) return;
    CategoryName& name = names_[static_cast<std::size_t>(number - 1)];
    if (length > kLongestName) {
      name.fill(' ');
    } else if (length > 0) {
      copy_chars(rest, name, length);
    }
  }

  std::array<CategoryName, kCategories> names_{};
};

}  // namespace

std::unique_ptr<Report> make_sales_by_category(RunContext& ctx) { return std::make_unique<SalesByCategory>(ctx); }

}  // namespace report
