#include "driver/period_calendar.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <string_view>

#include "report_common/control_records.h"
#include "report_common/field_routines.h"

namespace driver {

namespace {

// Month name in capitals, blank-padded to 10, followed by "00".
constexpr std::array<std::string_view, 12> kMonths = {"JANUARY   00", "FEBRUARY  00", "MARCH     00", "APRIL     00",
                                                      "MAY       00", "JUNE      00", "JULY      00", "AUGUST    00",
                                                      "SEPTEMBER 00", "OCTOBER   00", "NOVEMBER  00", "DECEMBER  00"};

namespace control = report::control;

// Looks the control record up by its exact key and copies its heading text
// into `text` when the record could be read.
void read_heading(isam::Library& lib, const isam::Fcb& fcb, report::RunContext& ctx, control::Heading side,
                  control::HeadingText& text) {
  const std::string_view key = control::heading_key(side);
  std::copy(key.begin(), key.end(), ctx.item.begin());
  std::uint16_t address = 0;
  std::uint8_t type = 0;
  bool found = false;
  lib.cfind(kIndexSlot, isam::kFindExact, std::span(ctx.item.data(), report::kKeyLength), address, type, found);
  if (!found) return;
  std::int16_t status = 1;
  lib.crdbk(fcb, address, ctx.item, status);
  if (status != 0) return;
  std::copy_n(ctx.item.begin() + control::kHeadingOffset, control::kHeadingLength, text.begin());
}

}  // namespace

std::array<char, 12> period_label(const report::RunDate& run_date) {
  std::int32_t month = report::text_to_int(std::string_view(run_date.data(), 2), 2);
  if (month < 1 || month > 12) month = 1;
  std::array<char, 12> label;
  std::copy_n(kMonths[month - 1].data(), label.size(), label.begin());
  label[10] = run_date[6];
  label[11] = run_date[7];
  return label;
}

void prepare_calendar(isam::Library& lib, const isam::Fcb& fcb, report::RunContext& ctx,
                      const report::RunDate& run_date) {
  ctx.headings.clear();
  read_heading(lib, fcb, ctx, control::Heading::kRight, ctx.headings.right);
  read_heading(lib, fcb, ctx, control::Heading::kLeft, ctx.headings.left);
  ctx.headings.period = period_label(run_date);
}

}  // namespace driver
