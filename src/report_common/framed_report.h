// The call protocol every report follows, kept in one place: a report owns
// its frame (the output file) and answers the driver's three kinds of call
// through three hooks.
//
//   mode 0 or less   the first call of the run.  The mode word is set to 1,
//                    prepare() runs (tables reset, side files read, the
//                    title chosen), then the output file is opened.  When
//                    the open fails the item is not taken and the call
//                    ends; the frame has already said so on the diagnostics
//                    stream and marked the run failed.  Otherwise the item
//                    is taken as on mode 1.
//   mode 1           take_item() with the current item area.
//   mode 2 or more   the finishing call: finish() writes whatever closes
//                    the output (group lines, rule, totals), then the file
//                    is cut to the records written and closed.
//
// After a failed open the later calls still run their hooks; every write
// they attempt fails quietly, so nothing reaches the file or the console.
// A report that is never called leaves its output file untouched.
#pragma once

#include <cstdint>

#include "report_common/report_frame.h"
#include "report_common/run_context.h"

namespace report {

class FramedReport : public Report {
 public:
  void call(const RunDate& run_date, std::int16_t& mode) final;

 protected:
  FramedReport(RunContext& ctx, const FrameLayout& layout) : ctx_(ctx), frame_(ctx, layout) {}

  // First call, before the output file is opened.
  virtual void prepare() {}
  // Every call with an item: selects it or not, lists it or adds it in.
  virtual void take_item(const ItemArea& item) = 0;
  // Finishing call, before the output file is closed.
  virtual void finish() {}

  RunContext& ctx_;
  ReportFrame frame_;
};

}  // namespace report
