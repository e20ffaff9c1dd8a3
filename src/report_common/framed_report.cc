#include "report_common/framed_report.h"

namespace report {

void FramedReport::call(const RunDate& run_date, std::int16_t& mode) {
  if (mode >= 2) {
    finish();
    frame_.close();
    return;
  }
  if (mode <= 0) {
    mode = 1;
    prepare();
    if (!frame_.open(run_date)) return;
  }
  take_item(ctx_.item);
}

}  // namespace report
