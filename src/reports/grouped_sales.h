// The sales-and-value listings grouped by category, department or vendor.
//
// Each of them sorts every item into one group of a fixed table, adds the
// item's figures into nine single-precision sums of that group and, on the
// finishing call, prints one line per group that received an item (in table
// order), a rule line and a totals line.  Sums 1 to 4 are the same in all
// three listings:
//   1 cycle sales            Sc = CycSalesAmt / 100
//   2 year-to-date sales     Sy = YTDSalesAmt / 100
//   3 cycle cost of sales    CycSold x U,  or 0.6 x Sc when U = UntCost / 1000 is 0
//   4 year-to-date cost      YTDSold x U,  or 0.6 x Sy when U is 0
// Sums 5 to 9 differ between the category listing and the other two.
//
// Arithmetic: each item's term is computed in double precision from the
// record's integers and added into its single-precision sum as
// float(double(sum) + term); the totals add the group sums in group order the
// same way.  Printed figures are computed in double from the single-precision
// sums and rounded to single precision by real_to_text.
//
// Columns 20-88 of a group line and of the totals line, the same in all three
// listings (amount fields: blank when zero):
//   20-27 cycle sales 8.2        28-35 cycle cost 8.2
//   36-43 cycle margin 8.2       44-51 cycle margin percent 8.1
//   58-65 YTD sales 8.2          66-73 YTD cost 8.2
//   74-81 YTD margin 8.2         82-88 YTD margin percent 7.1
// Margin percent = (sales - cost) / sales x 100, the difference rounded to
// single precision first; a blank field when the sales are 0.
//
// The rule line (a blank and 131 hyphens) and the totals line follow the last
// group line as plain records: they are not counted against the page length,
// never start a page and are never echoed.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "report_common/framed_report.h"
#include "report_common/heading_line.h"
#include "report_common/item_record.h"

namespace report {

// Columns 1-88 of the two column-heading lines, the same in all three
// listings; each adds its own columns from 89 on.
inline constexpr HeadingLine kSalesHeading1 =
    heading_line({at(22, "|-------Sales this Cycle------|"), at(58, "|--------Sales THIS YTD-------|")});
inline constexpr HeadingLine kSalesHeading2 =
    heading_line({at(2, "Ct cNT"), at(10, "Name"), at(22, "Sold $"), at(30, "Cost $"), at(37, "Margin$"),
                  at(45, "Margin%"), at(59, "Sold $"), at(67, "Cost $"), at(74, "Margin$"), at(82, "Margin%")});

inline constexpr int kGroupSums = 9;
// Sum k (1-based) is sums[k - 1].
using GroupSums = std::array<float, kGroupSums>;

struct Group {
  std::int32_t items = 0;
  GroupSums sums{};
};

// Adds a term computed in double precision into a single-precision sum.
inline void accumulate(float& sum, double term) { sum = static_cast<float>(static_cast<double>(sum) + term); }

// The three listings: the first call resets the table (and reads whatever
// labels the listing keeps) before the work file is recreated -- deleted and
// created anew, so that no record of an earlier run survives; every item is
// added into its group, and the finishing call writes the listing.  Group
// numbers run from 1 to the table size.
class GroupedSalesReport : public FramedReport {
 protected:
  GroupedSalesReport(RunContext& ctx, const FrameLayout& layout, int group_count);

  // First call, after the table is reset and before the work file is
  // recreated: the listing's own labels.
  virtual void prepare_labels() {}
  // The number of the group the current item falls into.
  virtual int group_of(const ItemArea& item) = 0;
  // Sums 5 to 9 (and whatever else the group keeps) for one item.
  virtual void take_rest(int number, Group& group, const ItemArea& item) = 0;
  // Columns 1-19 of a group line (a field reaching column 20 is overwritten
  // by the cycle sales).
  virtual void put_label(int number) = 0;
  // Columns 89-132 of a group line or, with `total`, of the totals line.
  virtual void put_tail(const GroupSums& sums, bool total) = 0;

 private:
  void prepare() final;
  void take_item(const ItemArea& item) final;
  void finish() final;
  void put_sales_columns(const GroupSums& sums);

  std::vector<Group> groups_;
  std::int32_t item_count_ = 0;
};

// The department and vendor listings: sums 5 to 9 are the year's units sold
// and purchased, the quantity on hand, and the retail (Price / 1000 x QOH)
// and cost (U x QOH) value of the stock.  Columns 89-132:
//   89-95 units sold 7.0      96-101 units purchased 6.0
//   102-108 average price: YTD sales / units sold, blank when none sold, 7.2
//   109-117 retail value 9.2  118-126 cost value 9.2  127-132 QOH 6.0
// The totals line leaves columns 89-108 blank.
class UnitsAndValueReport : public GroupedSalesReport {
 protected:
  UnitsAndValueReport(RunContext& ctx, std::string_view title, int group_count);

  void take_rest(int number, Group& group, const ItemArea& item) override;
  void put_tail(const GroupSums& sums, bool total) override;
};

}  // namespace report
