#include "reports/listing_totals.h"

#include "report_common/framed_report.h"

namespace report {

namespace {

FrameLayout counted_twice(FrameLayout layout) {
  layout.lines_per_detail = 2;
  return layout;
}

class TotalledListing final : public FramedReport {
 public:
  TotalledListing(RunContext& ctx, const FrameLayout& layout, Closing closing, ItemSelection selected,
                  LinePlacement place_line)
      : FramedReport(ctx, counted_twice(layout)), closing_(closing), selected_(selected), place_line_(place_line) {}

 private:
  void take_item(const ItemArea& item) override {
    if (!selected_(item)) return;
    frame_.clear_line();
    const ItemTotals figures = place_line_(item, frame_);
    first_total_ += figures.first;
    second_total_ += figures.second;
    frame_.write_line();
  }

  void finish() override {
    if (closing_ == Closing::kAfterARecord && frame_.record_number() == 0) return;
    if (!frame_.write_rule()) return;
    frame_.clear_line();
    frame_.put_real(40, 10, 2, first_total_);
    frame_.put_real(51, 9, 2, second_total_);
    frame_.write_record();
  }

  Closing closing_;
  ItemSelection selected_;
  LinePlacement place_line_;
  float first_total_ = 0.0f;
  float second_total_ = 0.0f;
};

}  // namespace

std::unique_ptr<Report> make_totalled_listing(RunContext& ctx, const FrameLayout& layout, Closing closing,
                                              ItemSelection selected, LinePlacement place_line) {
  return std::make_unique<TotalledListing>(ctx, layout, closing, selected, place_line);
}

}  // namespace report
