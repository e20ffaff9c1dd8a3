#include "invrender/report_file.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>

#include "reports/catalogue.h"

namespace invrender {

namespace {

constexpr std::size_t kListingRecord = report::kListingRecordLength;  // 132 print columns, CR LF
constexpr std::size_t kExportRecord = report::kExportRecordLength;    // 126 text columns, CR LF

// Columns 50-84 of the first page-header record.
constexpr std::string_view kBanner = "K O R V A N E     I N V E N T O R Y";

bool is_export(int number) { return report::catalogue_entry(number).comma_separated(); }

constexpr ColumnRange kReorderColumns[] = {
    {1, 12, 0, false}, {14, 25, 1, false}, {27, 33, 2, true},  {35, 39, 3, true},
    {41, 45, 4, true}, {47, 51, 5, true},  {53, 57, 6, true},  {59, 63, 7, true},
    {65, 69, 8, true}, {71, 75, 9, true},  {77, 81, 10, true}, {83, 94, 11, false},
};
// Heading: StockIndex,ShortName,Price,AvgCost,Margin,%MarkUp,InvValue,QOH,QOS,
// Shortage,Vendor; the lines hold the long description where the heading
// says ShortName, and an alternate number it does not name.
constexpr ColumnRange kMarginColumns[] = {
    {1, 12, 0, false},  {14, 37, -1, false}, {39, 50, 10, false}, {52, 63, -1, false},
    {65, 71, 2, true},  {73, 79, 3, true},   {81, 87, 4, true},   {89, 95, 5, true},
    {97, 104, 6, true}, {106, 111, 7, true}, {113, 118, 8, true}, {120, 126, 9, true},
};
// Heading: StockIndex,LongName,Vendor Id,Alternate,UntPrice,UntCost,Margin,
// MarkUp,InvValue,QOH,QOS,Shortage,CycSold,YTDSold; the lines hold no
// shortage value.
constexpr ColumnRange kItemColumns[] = {
    {1, 12, 0, false},    {14, 37, 1, false},   {39, 50, 2, false},   {52, 63, 3, false}, {65, 71, 4, true},
    {73, 79, 5, true},    {81, 87, 6, true},    {89, 94, 7, true},    {96, 102, 8, true}, {104, 108, 9, true},
    {110, 114, 10, true}, {116, 120, 12, true}, {122, 126, 13, true},
};

std::string fail_at(std::size_t record, std::string_view what) {
  return "line " + std::to_string(record + 1) + " " + std::string(what) + ": not a report file";
}

int recognise_listing(const Report& report) {
  for (const Page& page : report.pages) {
    if (!page.has_header || page.count < kHeaderLines) continue;
    const std::string_view title = trim(columns(report.lines[page.first + 1], 50, 86));
    // Reports 1 and 4 share their title; report 4's first column-heading
    // line tells them apart.
    for (const report::CatalogueEntry& known : report::kCatalogue) {
      if (known.title.empty() || title != trim(known.title)) continue;
      if (known.number == 1 && !report.lines[page.first + 5].starts_with("  UPC_SKU")) return 4;
      return known.number;
    }
    return 0;
  }
  return 0;
}

// A run overwrites the work file from its first record on and leaves the
// records of an earlier, longer run after its own: pages under another
// title are such leftovers.
void note_leftover_pages(Report& report) {
  std::string_view first_title;
  for (std::size_t p = 0; p < report.pages.size(); ++p) {
    const Page& page = report.pages[p];
    if (!page.has_header || page.count < 2) continue;
    const std::string_view title = columns(report.lines[page.first + 1], 50, 86);
    if (first_title.empty()) {
      first_title = title;
    } else if (title != first_title) {
      report.notes.push_back("pages " + std::to_string(p + 1) + " to " + std::to_string(report.pages.size()) +
                             " carry another report's title: left over from an earlier, longer run");
      return;
    }
  }
}

bool is_rule(std::string_view line) {
  return line.size() == 132 && line[0] == ' ' && line.find_first_not_of('-', 1) == std::string_view::npos;
}

// No detail line: only page headers, rules and blank lines (a totals line
// with nothing to total is blank); an export with only its heading line.
bool is_empty(const Report& report) {
  if (report.layout == Layout::kExport) return report.lines.size() <= 1;
  for (const Page& page : report.pages) {
    for (std::size_t i = page.first + (page.has_header ? kHeaderLines : 0); i < page.first + page.count; ++i) {
      if (!is_rule(report.lines[i]) && !trim(report.lines[i]).empty()) return false;
    }
  }
  return true;
}

int recognise_export(const Report& report) {
  // The heading record as printed, its trailing blanks dropped like the line's.
  for (const report::CatalogueEntry& known : report::kCatalogue) {
    const std::string_view heading = known.heading_record.substr(0, known.heading_record.find_last_not_of(' ') + 1);
    if (!heading.empty() && report.lines.front().starts_with(heading)) return known.number;
  }
  return 0;
}

}  // namespace

std::string_view columns(std::string_view line, std::size_t first, std::size_t last) {
  if (first > line.size()) return {};
  return line.substr(first - 1, std::min(last, line.size()) - (first - 1));
}

std::string_view trim(std::string_view text) {
  const auto begin = text.find_first_not_of(' ');
  if (begin == std::string_view::npos) return {};
  return text.substr(begin, text.find_last_not_of(' ') - begin + 1);
}

std::span<const ColumnRange> export_columns(int number) {
  switch (number) {
    case 2: return kReorderColumns;
    case 6: return kMarginColumns;
    case 15: return kItemColumns;
    default: return {};
  }
}

std::vector<std::string_view> split_commas(std::string_view line) {
  std::vector<std::string_view> values;
  while (true) {
    const std::size_t comma = line.find(',');
    values.push_back(trim(line.substr(0, comma)));
    if (comma == std::string_view::npos) return values;
    line.remove_prefix(comma + 1);
  }
}

ExportTable export_table(const Report& report) {
  ExportTable table;
  if (report.lines.empty()) return table;
  // The heading line's names; the commas after the last name end nothing.
  std::vector<std::string_view> names = split_commas(report.lines.front());
  while (!names.empty() && names.back().empty()) names.pop_back();
  std::vector<ColumnRange> layout(export_columns(report.number).begin(), export_columns(report.number).end());
  if (layout.empty()) {  // one column per comma-separated value, named in order
    std::size_t width = names.size();
    for (std::size_t i = 1; i < report.lines.size(); ++i) width = std::max(width, split_commas(report.lines[i]).size());
    for (std::size_t c = 0; c < width; ++c) layout.push_back({0, 0, static_cast<int>(c), false});
  }
  for (const ColumnRange& column : layout) {
    table.names.push_back(column.name >= 0 && static_cast<std::size_t>(column.name) < names.size()
                              ? names[static_cast<std::size_t>(column.name)]
                              : std::string_view());
  }
  for (std::size_t n = 0; n < names.size(); ++n) {
    if (std::none_of(layout.begin(), layout.end(),
                     [&](const ColumnRange& c) { return c.name == static_cast<int>(n); })) {
      table.unused += (table.unused.empty() ? "" : ", ") + std::string(names[n]);
    }
  }
  const auto is_number = [](std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789.-") == std::string_view::npos &&
           text.find_first_of("0123456789") != std::string_view::npos;
  };
  for (std::size_t i = 1; i < report.lines.size(); ++i) {
    const std::string_view line = report.lines[i];
    const auto split = layout.front().first == 0 ? split_commas(line) : std::vector<std::string_view>();
    auto& row = table.rows.emplace_back();
    for (std::size_t c = 0; c < layout.size(); ++c) {
      const ColumnRange& column = layout[c];
      const std::string_view value = column.first == 0 ? (c < split.size() ? split[c] : std::string_view())
                                                       : trim(columns(line, column.first, column.last));
      row.push_back({value, column.number || (column.first == 0 && is_number(value))});
    }
  }
  return table;
}

int number_from_name(std::string_view file_name) {
  std::string name(file_name);
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (name == "korot15.csv") return 15;
  name = name.substr(0, name.find('.'));
  for (const std::string_view prefix : {"report", "rpt", "r"}) {
    if (!name.starts_with(prefix)) continue;
    std::string_view digits = std::string_view(name).substr(prefix.size());
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '_')) digits.remove_prefix(1);
    if (digits.size() != 2 || digits.find_first_not_of("0123456789") != std::string_view::npos) return 0;
    const int number = (digits[0] - '0') * 10 + (digits[1] - '0');
    return number >= 1 && number <= 15 ? number : 0;
  }
  return 0;
}

std::string describe(const Report& report) {
  if (report.number < 1 || report.number > 15) {
    return report.layout == Layout::kListing ? "Report listing" : "Comma-separated export";
  }
  char number[8];
  std::snprintf(number, sizeof number, "%02d", report.number);
  return "Report " + std::string(number) + ": " + std::string(report::catalogue_entry(report.number).name);
}

std::string header_summary(const Report& report) {
  for (const Page& page : report.pages) {
    if (!page.has_header || page.count < kHeaderLines) continue;
    std::string summary;
    for (const std::string_view part :
         {trim(columns(report.lines[page.first], 2, 25)), trim(columns(report.lines[page.first + 2], 62, 73))}) {
      if (!part.empty()) summary += std::string(part) + ", ";
    }
    // The period label is the month blank-padded to ten, then the year.
    for (std::size_t at = summary.find("  "); at != std::string::npos; at = summary.find("  ", at))
      summary.erase(at, 1);
    return summary + "run " + std::string(trim(columns(report.lines[page.first + 4], 105, 112)));
  }
  return {};
}

bool read_report(std::string_view bytes, int forced_number, std::string_view file_name, Report& report,
                 std::string& error) {
  report = Report{};
  if (bytes.empty()) {
    // A report that selects no item never writes its file: what it is can
    // only come from the command line or the file's name.
    report.number = forced_number != 0 ? forced_number : number_from_name(file_name);
    if (report.number == 0) {
      error = "the file is empty and nothing tells which report it is: name it with --report NN";
      return false;
    }
    report.layout = is_export(report.number) ? Layout::kExport : Layout::kListing;
    report.empty = true;
    return true;
  }
  // The first record decides the record length: its CR LF stands at bytes
  // 133-134 in a listing and at bytes 127-128 in an export.
  const auto ends_record = [&](std::size_t length) {
    return bytes.size() >= length && bytes.substr(length - 2, 2) == "\r\n";
  };
  std::size_t length = 0;
  if (ends_record(kListingRecord)) {
    length = kListingRecord;
  } else if (ends_record(kExportRecord)) {
    length = kExportRecord;
  } else {
    error = "the first line does not end in CR LF after 132 or 126 columns: not a report file";
    return false;
  }
  if (bytes.size() % length != 0) {
    error = "the file is " + std::to_string(bytes.size()) + " bytes, not a whole number of " + std::to_string(length) +
            "-byte lines: not a report file, or cut short";
    return false;
  }
  report.layout = length == kListingRecord ? Layout::kListing : Layout::kExport;
  const std::size_t records = bytes.size() / length;
  report.lines.reserve(records);
  for (std::size_t r = 0; r < records; ++r) {
    const std::string_view record = bytes.substr(r * length, length);
    if (record.substr(length - 2) != "\r\n") {
      error = fail_at(r, "does not end in CR LF at byte " + std::to_string(length - 1));
      return false;
    }
    std::string_view text = record.substr(0, length - 2);
    const auto control = std::find_if(text.begin(), text.end(), [](char c) {
      const auto u = static_cast<unsigned char>(c);
      return u < 0x20 || u == 0x7f;
    });
    if (control != text.end()) {
      char what[64];
      std::snprintf(what, sizeof what, "holds the control byte 0x%02x in column %zu",
                    static_cast<unsigned char>(*control), static_cast<std::size_t>(control - text.begin()) + 1);
      error = fail_at(r, what);
      return false;
    }
    const bool page_start = report.layout == Layout::kListing && text[0] == '1' && columns(text, 50, 84) == kBanner;
    text = text.substr(0, text.find_last_not_of(' ') + 1);
    std::string& line = report.lines.emplace_back(text);
    if (page_start) {
      // The carriage control is an instruction to the printer, not text.
      line[0] = ' ';
      report.pages.push_back({r, 0, true});
    } else if (report.pages.empty()) {
      report.pages.push_back({r, 0, false});  // lines before any page header
    }
    ++report.pages.back().count;
  }
  if (report.layout == Layout::kExport) report.pages.assign(1, Page{0, records, false});

  report.number = report.layout == Layout::kListing ? recognise_listing(report) : recognise_export(report);
  if (report.layout == Layout::kListing) note_leftover_pages(report);
  if (forced_number != 0) {
    if (is_export(forced_number) != (report.layout == Layout::kExport)) {
      error = "report " + std::to_string(forced_number) + " is " +
              (is_export(forced_number) ? "a comma-separated export (128-byte lines)"
                                        : "a printed listing (134-byte lines)") +
              ", but this file holds " + std::to_string(length) + "-byte lines";
      return false;
    }
    if (report.number != 0 && report.number != forced_number) {
      const auto named = [](int number) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%02d", number);
        return "report " + std::string(digits) + " (" + std::string(report::catalogue_entry(number).name) + ")";
      };
      error = "--report " + std::to_string(forced_number) + " names " + named(forced_number) + ", but the file's " +
              (report.layout == Layout::kListing ? "page header" : "heading line") + " shows " + named(report.number);
      return false;
    }
    report.number = forced_number;
  }
  if (report.number == 0 && (report.layout == Layout::kExport || report.pages.empty() || !report.pages[0].has_header)) {
    report.number = number_from_name(file_name);
  }
  report.empty = report.number != 0 && is_empty(report);
  return true;
}

}  // namespace invrender
