#include "reports/reports.h"

namespace report {

std::unique_ptr<Report> make_report(std::int16_t number, RunContext& ctx) {
  switch (number) {
    case 1: return make_inventory_status(ctx);
    case 2: return make_reorder_export(ctx);
    case 3: return make_scan_support(ctx);
    case 4: return make_stock_status(ctx, 1);
    case 5: return make_stock_status(ctx, 2);
    case 6: return make_margin_export(ctx);
    case 7:
    case 8: return make_rental(ctx);
    case 9: return make_inventory_value(ctx);
    case 10: return make_current_sales(ctx);
    case 11: return make_current_purchases(ctx);
    case 12: return make_sales_by_category(ctx);
    case 13: return make_sales_by_department(ctx);
    case 14: return make_sales_by_vendor(ctx);
    case 15: return make_item_export(ctx);
    default: return nullptr;
  }
}

}  // namespace report
