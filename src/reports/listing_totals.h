// The frame shared by the item listings that count every item line twice
// against the page and end with a rule line and a line of two totals (the
// inventory value, current sales and current purchases listings).
//
// Calls: a listing's take_item() selects the item or not and, when
// selected, builds its line and hands it to write_item_line(); the finishing
// call writes the closing lines before the work file is closed.
//
// Paging: each listing's layout counts an item line as two lines, so a page
// of 54 lines holds at most 27 item lines.
//
// Closing lines: a rule record (a blank, then 131 hyphens) and a totals
// record of 132 blanks carrying two single-precision sums as amount fields:
// the first in columns 40-49 (width 10, 2 decimals), the second in columns
// 51-59 (width 9, 2 decimals).  The sums add each listed item's two figures
// in the order the items are listed.  Neither line is counted against the
// page, checked for a page break or echoed.
#pragma once

#include "report_common/framed_report.h"

namespace report {

class TotalledListing : public FramedReport {
 public:
  // When the closing lines are written.
  enum class Closing {
    kAlways,        // even when no item was listed
    kAfterARecord,  // only when the listing wrote at least one record
  };

 protected:
  TotalledListing(RunContext& ctx, const FrameLayout& layout, Closing closing)
      : FramedReport(ctx, layout), closing_(closing) {}

  // Adds the item's two figures to the totals and writes the item line now
  // in the line buffer.
  void write_item_line(float first_total, float second_total) {
    first_total_ += first_total;
    second_total_ += second_total;
    frame_.write_line();
  }

 private:
  void finish() final {
    if (closing_ == Closing::kAlways || frame_.record_number() > 0) write_closing_lines();
  }

  void write_closing_lines() {
    if (!frame_.write_rule()) return;
    frame_.clear_line();
    frame_.put_real(40, 10, 2, first_total_);
    frame_.put_real(51, 9, 2, second_total_);
    frame_.write_record();
  }

  Closing closing_;
  float first_total_ = 0.0f;
  float second_total_ = 0.0f;
};

}  // namespace report
