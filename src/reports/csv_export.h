// The comma-separated export layout shared by the re-order export (2), the
// margin and value export (6) and the item export file (15).
//
// Records are 128 bytes: 126 text columns, CR LF.  The file holds one
// heading record and then one record per item, every item, in key order; no
// page header and no totals.
//
//   heading record  126 blanks with the report's column-name text from
//                   column 1; the frame writes it as record 1, before the
//                   first item record, and echoes it to the console.
//   item record     126 commas with each field at its fixed columns: text as
//                   stored (blank-padded, never quoted or escaped), numbers
//                   right-aligned and blank when zero.  Columns no field
//                   covers keep their comma, so every record carries the
//                   same commas at the same positions (a text that itself
//                   holds a comma is still written unchanged).  Echoed when
//                   its record number leaves remainder 1 on division by 10.
#pragma once

#include <memory>
#include <string_view>

#include "report_common/report_frame.h"
#include "report_common/run_context.h"

namespace report {

// Places the item's fields into the line buffer, which holds 126 commas.
using FieldPlacement = void (*)(const ItemArea& item, ReportFrame& frame);

// `file_name` is the output file in the current directory; `heading` the
// column-name text of the heading record (at most 126 characters).
std::unique_ptr<Report> make_csv_export(RunContext& ctx, std::string_view file_name, std::string_view heading,
                                        FieldPlacement place_fields);

}  // namespace report
