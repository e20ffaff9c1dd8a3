// The period calendar: the page-header texts stored in the database as two
// control records (report_common/control_records.h), and the period label of
// the run date.  A missing or unreadable control record leaves its text
// blank.
//
// Period label: the run date's month name padded to 10, then the run date's
// two year characters ("DECEMBER  08").  A month part that is not 1 to 12
// names January.
#pragma once

#include <array>

#include "isam/call_interface.h"
#include "report_common/run_context.h"

namespace driver {

// The index slot the run opens the database's index in.
inline constexpr std::int16_t kIndexSlot = 1;

// The 12-character period label for a run date text MM-DD-YY.
std::array<char, 12> period_label(const report::RunDate& run_date);

// Fills ctx.headings from the control records (through index slot kIndexSlot and the
// open record file `fcb`) and the run date.  The item area serves as the key
// buffer and record area; it is left holding the last record read.
void prepare_calendar(isam::Library& lib, const isam::Fcb& fcb, report::RunContext& ctx,
                      const report::RunDate& run_date);

}  // namespace driver
