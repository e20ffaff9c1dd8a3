#include "reports/csv_export.h"

#include <cassert>

#include "report_common/framed_report.h"

namespace report {

namespace {

class CsvExport final : public FramedReport {
 public:
  CsvExport(RunContext& ctx, std::string_view file_name, std::string_view heading, FieldPlacement place_fields)
      : FramedReport(ctx, FrameLayout{.comma_separated = true, .heading_record = heading, .file_name = file_name}),
        place_fields_(place_fields) {
    assert(heading.size() <= static_cast<std::size_t>(kCsvColumns));
  }

 private:
  void take_item(const ItemArea& item) override {
    frame_.clear_line();
    place_fields_(item, frame_);
    frame_.write_line();
  }

  FieldPlacement place_fields_;
};

}  // namespace

std::unique_ptr<Report> make_csv_export(RunContext& ctx, std::string_view file_name, std::string_view heading,
                                        FieldPlacement place_fields) {
  return std::make_unique<CsvExport>(ctx, file_name, heading, place_fields);
}

}  // namespace report
