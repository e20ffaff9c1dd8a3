#include "reports/grouped_sales.h"

namespace report {

namespace {

// Sums 1-4 (see the header); the same for every listing.
void add_sales_and_cost(GroupSums& s, const ItemArea& item) {
  const double cycle_sales = i32(item, item::CycSalesAmt) / 100.0;
  const double ytd_sales = i32(item, item::YTDSalesAmt) / 100.0;
  const std::int32_t unit_cost = i32(item, item::UntCost);
  accumulate(s[0], cycle_sales);
  accumulate(s[1], ytd_sales);
  if (unit_cost != 0) {
    const double u = unit_cost / 1000.0;
    accumulate(s[2], i32(item, item::CycSold) * u);
    accumulate(s[3], i32(item, item::YTDSold) * u);
  } else {
    // No recorded cost: the cost of sales is estimated at 60 % of the sales.
    accumulate(s[2], 0.6 * cycle_sales);
    accumulate(s[3], 0.6 * ytd_sales);
  }
}

// (sales - cost) / sales x 100 with the difference rounded to single
// precision; 0 (a blank field) when there are no sales.
double margin_percent(float sales, float cost) {
  if (sales == 0.0f) return 0.0;
  const float margin = static_cast<float>(static_cast<double>(sales) - static_cast<double>(cost));
  return static_cast<double>(margin) / static_cast<double>(sales) * 100.0;
}

float margin(float sales, float cost) {
  return static_cast<float>(static_cast<double>(sales) - static_cast<double>(cost));
}

}  // namespace

GroupedSalesReport::GroupedSalesReport(RunContext& ctx, const FrameLayout& layout, int group_count)
    : FramedReport(ctx, layout), groups_(static_cast<std::size_t>(group_count)) {}

void GroupedSalesReport::prepare() {
  for (Group& g : groups_) g = Group{};
  item_count_ = 0;
  prepare_labels();
}

void GroupedSalesReport::take_item(const ItemArea& item) {
  const int number = group_of(item);
  Group& group = groups_[static_cast<std::size_t>(number - 1)];
  ++group.items;
  ++item_count_;
  add_sales_and_cost(group.sums, item);
  take_rest(number, group, item);
}

void GroupedSalesReport::put_sales_columns(const GroupSums& s) {
  frame_.put_real(20, 8, 2, s[0]);
  frame_.put_real(28, 8, 2, s[2]);
  frame_.put_real(36, 8, 2, margin(s[0], s[2]));
  frame_.put_real(44, 8, 1, static_cast<float>(margin_percent(s[0], s[2])));
  frame_.put_real(58, 8, 2, s[1]);
  frame_.put_real(66, 8, 2, s[3]);
  frame_.put_real(74, 8, 2, margin(s[1], s[3]));
  frame_.put_real(82, 7, 1, static_cast<float>(margin_percent(s[1], s[3])));
}

void GroupedSalesReport::finish() {
  if (item_count_ == 0) return;
  for (std::size_t i = 0; i < groups_.size(); ++i) {
    const Group& g = groups_[i];
    if (g.items == 0) continue;
    frame_.clear_line();
    put_label(static_cast<int>(i) + 1);
    put_sales_columns(g.sums);
    put_tail(g.sums, false);
    if (!frame_.write_line()) return;
  }
  GroupSums totals{};
  for (const Group& g : groups_)
    for (int k = 0; k < kGroupSums; ++k) accumulate(totals[k], g.sums[k]);

  if (!frame_.write_rule()) return;
  frame_.clear_line();
  put_sales_columns(totals);
  put_tail(totals, true);
  frame_.write_record();
}

// ---- department and vendor listings ----

namespace {

constexpr HeadingLine kUnitsHeading1 = heading_line(
    kSalesHeading1, {{92, "Sold"}, {98, "Purc"}, {106, "YTD"}, {114, "Retail"}, {121, "Cost"}, {130, "YTD"}});
constexpr HeadingLine kUnitsHeading2 = heading_line(
    kSalesHeading2, {{93, "Qty"}, {99, "Qty"}, {106, "$/U"}, {114, "$Value"}, {121, "$Value"}, {130, "QOH"}});

FrameLayout units_layout(std::string_view title) {
  FrameLayout layout;
  layout.title = title;
  layout.heading1 = kUnitsHeading1.text();
  layout.heading2 = kUnitsHeading2.text();
  layout.recreate = true;
  return layout;
}

}  // namespace

UnitsAndValueReport::UnitsAndValueReport(RunContext& ctx, std::string_view title, int group_count)
    : GroupedSalesReport(ctx, units_layout(title), group_count) {}

void UnitsAndValueReport::take_rest(int, Group& group, const ItemArea& item) {
  GroupSums& s = group.sums;
  const std::int32_t on_hand = i32(item, item::QOH);
  accumulate(s[4], i32(item, item::YTDSold));
  accumulate(s[5], i32(item, item::YTDPurchQty));
  accumulate(s[6], on_hand);
  accumulate(s[7], i32(item, item::Price) / 1000.0 * on_hand);
  accumulate(s[8], i32(item, item::UntCost) / 1000.0 * on_hand);
}

void UnitsAndValueReport::put_tail(const GroupSums& s, bool total) {
  if (!total) {
    frame_.put_real(89, 7, 0, s[4]);
    frame_.put_real(96, 6, 0, s[5]);
    const double average = s[4] != 0.0f ? static_cast<double>(s[1]) / static_cast<double>(s[4]) : 0.0;
    frame_.put_real(102, 7, 2, static_cast<float>(average));
  }
  frame_.put_real(109, 9, 2, s[7]);
  frame_.put_real(118, 9, 2, s[8]);
  frame_.put_real(127, 6, 0, s[6]);
}

}  // namespace report
