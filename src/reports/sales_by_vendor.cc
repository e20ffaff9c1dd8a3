// Placeholder until the report is built: takes every item and writes nothing.
#include "reports/reports.h"

namespace report {

namespace {
class NotBuilt final : public Report {
 public:
  void call(const RunDate&, std::int16_t& mode) override {
    if (mode <= 0) mode = 1;
  }
};
}  // namespace

std::unique_ptr<Report> make_sales_by_vendor(RunContext& ctx) {
  (void)ctx;
  return std::make_unique<NotBuilt>();
}

}  // namespace report
