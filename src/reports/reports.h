// The fifteen reports, numbered as on the command line.  Each factory makes
// the report routine with its own state; the driver calls it through the
// Report protocol of run_context.h.
#pragma once

#include <cstdint>
#include <memory>

#include "report_common/run_context.h"

namespace report {

std::unique_ptr<Report> make_inventory_status(RunContext& ctx);  // 1
std::unique_ptr<Report> make_reorder_export(RunContext& ctx);    // 2
std::unique_ptr<Report> make_scan_support(RunContext& ctx);      // 3
// 4 and 5: one routine; variant 1 lists every item, variant 2 only those
// with a suggested order.
std::unique_ptr<Report> make_stock_status(RunContext& ctx, std::int16_t variant);
std::unique_ptr<Report> make_margin_export(RunContext& ctx);  // 6
// 7 and 8: one routine, told apart by ctx.current_report.
std::unique_ptr<Report> make_rental(RunContext& ctx);
std::unique_ptr<Report> make_inventory_value(RunContext& ctx);      // 9
std::unique_ptr<Report> make_current_sales(RunContext& ctx);        // 10
std::unique_ptr<Report> make_current_purchases(RunContext& ctx);    // 11
std::unique_ptr<Report> make_sales_by_category(RunContext& ctx);    // 12
std::unique_ptr<Report> make_sales_by_department(RunContext& ctx);  // 13
std::unique_ptr<Report> make_sales_by_vendor(RunContext& ctx);      // 14
std::unique_ptr<Report> make_item_export(RunContext& ctx);          // 15

// The report routine for a report number 1 to 15; null for any other.
std::unique_ptr<Report> make_report(std::int16_t number, RunContext& ctx);

}  // namespace report
