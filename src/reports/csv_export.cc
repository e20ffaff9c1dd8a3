#include "reports/csv_export.h"

#include <cassert>

namespace report {

namespace {

FrameLayout csv_layout(std::string_view file_name, std::string_view heading) {
  assert(heading.size() <= static_cast<std::size_t>(kCsvColumns));
  return FrameLayout{.comma_separated = true, .heading_record = heading, .file_name = file_name};
}

}  // namespace

CsvExport::CsvExport(RunContext& ctx, std::string_view file_name, std::string_view heading)
    : FramedReport(ctx, csv_layout(file_name, heading)) {}

void CsvExport::take_item(const ItemArea& item) {
  frame_.clear_line();
  place_fields(item, frame_);
  frame_.write_line();
}

}  // namespace report
