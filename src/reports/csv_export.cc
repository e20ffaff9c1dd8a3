#include "reports/csv_export.h"

#include <cassert>

namespace report {

namespace {

FrameLayout csv_layout(std::string_view file_name) {
  FrameLayout layout;
  layout.comma_separated = true;
  layout.file_name = file_name;
  return layout;
}

}  // namespace

CsvExport::CsvExport(RunContext& ctx, std::string_view file_name, std::string_view heading)
    : FramedReport(ctx, csv_layout(file_name)), heading_(heading) {
  assert(heading_.size() <= static_cast<std::size_t>(kCsvColumns));
}

void CsvExport::take_item(const ItemArea& item) {
  if (frame_.line_count() >= frame_.page_length()) {
    frame_.clear_line_blank();
    frame_.put_text(1, heading_);
    if (!frame_.write_record()) return;
    frame_.echo(frame_.text_columns());
  }
  frame_.clear_line();
  place_fields(item, frame_);
  if (!frame_.write_detail()) return;
  frame_.set_line_count(0);
}

}  // namespace report
