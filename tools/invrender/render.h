// The three ways of showing a report file: plain text, HTML and PDF.  Each
// writes the whole document to `out` and returns false (with a reason in
// `error`) when writing fails.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "invrender/report_file.h"

namespace invrender {

// Every line with its trailing blanks dropped; a form feed before the first
// line of each page after the first.
bool render_text(const Report& report, std::FILE* out, std::string& error);

// One self-contained page: no scripts, no fetched resources.  `source` names
// the file in the document's title.
bool render_html(const Report& report, std::string_view source, std::FILE* out, std::string& error);

// US letter landscape, one PDF page per report page (taller where a report
// page holds more lines than fit), the chart first for reports 12-14.
bool render_pdf(const Report& report, std::FILE* out, std::string& error);

// A report's bytes read as Latin-1, as UTF-8.
std::string to_utf8(std::string_view latin1);

}  // namespace invrender
