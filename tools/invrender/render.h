// The ways of showing a report file: plain text, HTML, PDF and a
// spreadsheet.  Each writes the whole document and returns false (with the
// cause in words in `error`) when writing fails.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "invrender/report_file.h"
#include "report_common/latin1.h"

namespace invrender {

// Every line with its trailing blanks dropped; a form feed before the first
// line of each page after the first.  The report's Latin-1 bytes are written
// as UTF-8, or as stored when `latin1` is set.
bool render_text(const Report& report, bool latin1, std::FILE* out, std::string& error);

// One self-contained page: no scripts, no fetched resources.  `source` names
// the file in the document's title.
bool render_html(const Report& report, std::string_view source, std::FILE* out, std::string& error);

// US letter landscape, one PDF page per report page (taller where a report
// page holds more lines than fit), the chart first for reports 12-14.
bool render_pdf(const Report& report, std::FILE* out, std::string& error);

// A report as an .xlsx workbook written to the file `path` (see
// xlsx_output.cc for what the sheets hold).
bool render_xlsx(const Report& report, std::string_view source, const std::string& path, std::string& error);

// A report's bytes read as Latin-1, as UTF-8.
using report::latin1::to_utf8;

// The cause of a failed write in words: "the disk is full", "permission
// denied"; for other errno values, the system's own text.
std::string in_words(int error_number);

// What an empty report shows in place of its lines.
inline constexpr std::string_view kNothingSelected = "no items were selected";

}  // namespace invrender
