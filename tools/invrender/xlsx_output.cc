// A report as a spreadsheet (libxlsxwriter).  One worksheet: the report's
// description, store heading, title, period and run date in the first rows,
// then a row of column names (frozen, with an autofilter), then one row per
// detail line (group line in reports 12-14), the totals in bold.  A printed
// figure becomes a number cell holding the value as printed, shown with the
// printed decimals; a blank figure (the report's zero) stays an empty cell;
// a figure printed as asterisks, or one whose leading digits the report lost,
// is kept as printed text with a comment saying so.  Reports 12-14 get a bar
// chart of their groups' sales on a sheet of its own.
#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "invrender/group_chart.h"
#include "invrender/render.h"
#include "invrender/sheet_layout.h"

namespace invrender {

namespace {

constexpr lxw_row_t kMaxRows = 1048576;

constexpr std::string_view kLostDigits =
    "As printed: the figure was too wide for its columns and lost its leading digits.";

bool is_rule(std::string_view line) {
  return line.size() == 132 && line[0] == ' ' && line.find_first_not_of('-', 1) == std::string_view::npos;
}

// A printed figure: optional minus, digits, optional point and digits (the
// report may leave out the 0 before the point).
bool read_figure(std::string_view text, double& value, int& decimals) {
  if (text.empty() || text.find_first_not_of("0123456789.-") != std::string_view::npos) return false;
  std::string digits(text);
  const std::size_t point = digits.find('.');
  if (point != std::string::npos && (point == 0 || digits[point - 1] == '-')) digits.insert(point, "0");
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc() || end != digits.data() + digits.size()) return false;
  decimals = point == std::string::npos ? 0 : static_cast<int>(text.size() - text.find('.') - 1);
  return true;
}

class Sheet {
 public:
  Sheet(lxw_workbook* book, lxw_worksheet* sheet) : book_(book), sheet_(sheet) {
    bold_ = workbook_add_format(book);
    format_set_bold(bold_);
    heading_ = workbook_add_format(book);
    format_set_bold(heading_);
    format_set_bottom(heading_, LXW_BORDER_THIN);
    format_set_bg_color(heading_, 0xE8ECF4);
    format_set_text_wrap(heading_);
    format_set_align(heading_, LXW_ALIGN_VERTICAL_TOP);
    // A figure kept as printed text stands right-aligned like the numbers
    // around it, in red so that its comment is looked at.
    flagged_ = workbook_add_format(book);
    format_set_align(flagged_, LXW_ALIGN_RIGHT);
    format_set_font_color(flagged_, 0xB00000);
    flagged_bold_ = workbook_add_format(book);
    format_set_align(flagged_bold_, LXW_ALIGN_RIGHT);
    format_set_font_color(flagged_bold_, 0xB00000);
    format_set_bold(flagged_bold_);
    title_ = workbook_add_format(book);
    format_set_bold(title_);
    format_set_font_size(title_, 13);
  }

  lxw_format* number_format(int decimals, bool bold) {
    lxw_format*& format = numbers_[{decimals, bold}];
    if (format == nullptr) {
      format = workbook_add_format(book_);
      const std::string pattern =
          decimals <= 0 ? "#,##0" : "#,##0." + std::string(static_cast<std::size_t>(decimals), '0');
      format_set_num_format(format, pattern.c_str());
      if (bold) format_set_bold(format);
    }
    return format;
  }

  // `fit` widens the column to the text; the heading rows run on over the
  // columns beside theirs instead.
  void text(lxw_row_t row, lxw_col_t col, std::string_view latin1, lxw_format* format = nullptr, bool fit = true) {
    if (latin1.empty()) return;
    keep(worksheet_write_string(sheet_, row, col, to_utf8(latin1).c_str(), format));
    if (fit) widen(col, latin1.size());
  }
  void number(lxw_row_t row, lxw_col_t col, double value, int decimals, bool bold, std::size_t printed) {
    keep(worksheet_write_number(sheet_, row, col, value, number_format(decimals, bold)));
    widen(col, printed);
  }
  void comment(lxw_row_t row, lxw_col_t col, const std::string& note) {
    keep(worksheet_write_comment(sheet_, row, col, note.c_str()));
  }
  // A field as printed: a number cell, an empty cell, or text with a note.
  void field(lxw_row_t row, lxw_col_t col, std::string_view printed, bool number_column, bool bold,
             std::string_view cut_note = {}) {
    double value = 0;
    int decimals = 0;
    if (printed.empty()) return;
    // A figure is printed without leading zeros: one that begins with 0
    // before another digit is what was left of a wider one.
    const std::string_view digits = printed.substr(printed.starts_with('-') ? 1 : 0);
    const bool lost = number_column && digits.size() > 1 && digits[0] == '0' && digits[1] != '.';
    if (lost && cut_note.empty()) cut_note = kLostDigits;
    if (number_column && cut_note.empty() && read_figure(printed, value, decimals)) {
      number(row, col, value, decimals, bold, printed.size());
      return;
    }
    text(row, col, printed, number_column ? (bold ? flagged_bold_ : flagged_) : (bold ? bold_ : nullptr));
    if (!cut_note.empty()) {
      comment(row, col, std::string(cut_note));
    } else if (number_column && printed.find_first_not_of('*') == std::string_view::npos) {
      comment(row, col,
              "The figure was too wide for its " + std::to_string(printed.size()) +
                  " columns: the report printed asterisks.");
    }
  }

  void set_widths(lxw_col_t columns) {
    for (lxw_col_t c = 0; c < columns; ++c) {
      keep(worksheet_set_column(sheet_, c, c, std::min<double>(48, static_cast<double>(width(c)) + 2), nullptr));
    }
  }
  void header_row(lxw_row_t row, std::span<const std::string> names) {
    for (std::size_t c = 0; c < names.size(); ++c) {
      const auto col = static_cast<lxw_col_t>(c);
      keep(worksheet_write_string(sheet_, row, col, to_utf8(names[c]).c_str(), heading_));
      widen(col, std::min<std::size_t>(names[c].size(), 14));
    }
    worksheet_freeze_panes(sheet_, row + 1, 0);
  }

  lxw_worksheet* sheet() { return sheet_; }
  lxw_format* bold() { return bold_; }
  lxw_format* title() { return title_; }
  lxw_error status() const { return status_; }

 private:
  void keep(lxw_error e) {
    if (status_ == LXW_NO_ERROR) status_ = e;
  }
  void widen(lxw_col_t col, std::size_t chars) {
    if (col >= widths_.size()) widths_.resize(col + 1, 6);
    widths_[col] = std::max(widths_[col], chars);
  }
  std::size_t width(lxw_col_t col) const { return col < widths_.size() ? widths_[col] : 6; }

  lxw_workbook* book_;
  lxw_worksheet* sheet_;
  lxw_format* bold_ = nullptr;
  lxw_format* heading_ = nullptr;
  lxw_format* title_ = nullptr;
  lxw_format* flagged_ = nullptr;
  lxw_format* flagged_bold_ = nullptr;
  std::map<std::pair<int, bool>, lxw_format*> numbers_;
  std::vector<std::size_t> widths_;
  lxw_error status_ = LXW_NO_ERROR;
};

// The heading rows: what the report is, then the store's heading texts, the
// report's title, its period and its run date from the first page header.
lxw_row_t title_rows(Sheet& sheet, const Report& report, std::string_view source) {
  lxw_row_t row = 0;
  sheet.text(row++, 0, describe(report) + " (" + std::string(source) + ")", sheet.title(), false);
  for (const Page& page : report.pages) {
    if (!page.has_header || page.count < kHeaderLines) continue;
    const auto line = [&](std::size_t i) { return std::string_view(report.lines[page.first + i]); };
    std::string left, right;
    for (std::size_t i = 0; i < 4; ++i) {
      for (auto [part, into] :
           {std::pair{trim(columns(line(i), 2, 25)), &left}, std::pair{trim(columns(line(i), 109, 132)), &right}}) {
        if (!part.empty()) *into += (into->empty() ? "" : ", ") + std::string(part);
      }
    }
    if (!left.empty()) sheet.text(row++, 0, left, sheet.bold(), false);
    if (!right.empty()) sheet.text(row++, 0, right, nullptr, false);
    std::string title(trim(columns(line(1), 50, 86)));
    title = std::string(trim(std::string_view(title).substr(std::min(title.size(), title.find_first_not_of('-')))));
    while (!title.empty() && title.back() == '-') title.pop_back();
    std::string period(trim(columns(line(2), 62, 73)));
    for (std::size_t at = period.find("  "); at != std::string::npos; at = period.find("  ", at)) period.erase(at, 1);
    sheet.text(row++, 0,
               std::string(trim(title)) + (period.empty() ? "" : ", " + period) + ", run " +
                   std::string(trim(columns(line(4), 105, 112))),
               nullptr, false);
    break;
  }
  for (const std::string& note : report.notes) sheet.text(row++, 0, "Note: " + note, nullptr, false);
  return row + 1;  // a blank row before the column names
}

// The lines of a listing that are no page header, rule or blank line, up to
// the pages another report left behind; `total` for those after the rule.
struct ListingRow {
  std::string_view line;
  bool total;
};
std::vector<ListingRow> listing_rows(const Report& report) {
  std::vector<ListingRow> rows;
  std::string_view first_title;
  for (const Page& page : report.pages) {
    std::size_t i = page.first;
    if (page.has_header) {
      const std::string_view title = page.count > 1 ? columns(report.lines[page.first + 1], 50, 86) : "";
      if (first_title.empty()) first_title = title;
      if (title != first_title) break;  // left over from an earlier run
      i += std::min<std::size_t>(page.count, kHeaderLines);
    }
    bool total = false;
    for (; i < page.first + page.count; ++i) {
      const std::string_view line = report.lines[i];
      if (is_rule(line)) {
        total = true;
      } else if (!trim(line).empty()) {
        rows.push_back({line, total});
      }
    }
  }
  return rows;
}

lxw_error write_listing(lxw_workbook* book, const Report& report, std::string_view source, std::string& error) {
  const std::string name = report.number > 0 ? "Report " + std::to_string(report.number) : "Report";
  Sheet sheet(book, workbook_add_worksheet(book, name.c_str()));
  lxw_row_t row = title_rows(sheet, report, source);
  const SheetLayout layout = listing_layout(report.number);
  const auto rows = listing_rows(report);
  if (rows.size() + row + 2 > kMaxRows) {
    error = "the report has " + std::to_string(rows.size()) + " lines, more than a worksheet holds";
    return LXW_ERROR_PARAMETER_VALIDATION;
  }

  if (layout.columns.empty()) {  // no known columns: each line as one text cell
    for (const ListingRow& r : rows) sheet.text(row++, 0, r.line, r.total ? sheet.bold() : nullptr);
    sheet.set_widths(1);
    return sheet.status();
  }
  std::vector<std::string> names;
  for (const SheetColumn& c : layout.columns) names.emplace_back(c.name);
  const lxw_row_t names_row = row;
  sheet.header_row(row++, names);
  const lxw_row_t first_data = row;
  if (rows.empty()) sheet.text(row++, 0, kNothingSelected, sheet.bold(), false);

  const bool grouped = has_chart(report);
  lxw_row_t last_group = 0;
  for (const ListingRow& r : rows) {
    if (r.total && !layout.totals.empty()) {
      for (const TotalField& t : layout.totals) {
        sheet.field(row, static_cast<lxw_col_t>(t.column), trim(columns(r.line, t.first, t.last)), true, true);
      }
      if (trim(r.line).empty()) continue;
      sheet.text(row, 0, "Totals", sheet.bold());
      ++row;
      continue;
    }
    std::size_t taken_to = 0;  // a wide field's last column
    for (std::size_t c = 0; c < layout.columns.size(); ++c) {
      const SheetColumn& column = layout.columns[c];
      std::size_t first = std::max(column.first, taken_to + 1), last = column.last;
      double value = 0;
      int decimals = 0;
      if (column.wide_last != 0 && read_figure(trim(columns(r.line, first, column.wide_last)), value, decimals) &&
          decimals > 0) {
        last = column.wide_last;
      }
      taken_to = last;
      std::string note;
      // In the grouped reports, sales = cost + margin: a sales figure that
      // does not add up lost its leading digits.
      if (grouped && (column.first == 20 || column.first == 58) && sales_cut(r.line, column.first)) {
        note =
            "As printed: the figure was too wide for its eight columns and lost its leading digits; "
            "the cost and margin beside it do not add up to it.";
      }
      sheet.field(row, static_cast<lxw_col_t>(c), trim(columns(r.line, first, last)), column.number, r.total, note);
    }
    if (r.total && grouped) sheet.text(row, 1, "Totals", sheet.bold());
    if (!r.total) last_group = row;
    ++row;
  }
  sheet.set_widths(static_cast<lxw_col_t>(layout.columns.size()));
  worksheet_autofilter(sheet.sheet(), names_row, 0, std::max(names_row, row - 1),
                       static_cast<lxw_col_t>(layout.columns.size() - 1));

  if (grouped) {
    // Sales this cycle and year to date, one bar pair per group line.
    lxw_chart* chart = workbook_add_chart(book, LXW_CHART_BAR);
    const auto groups = group_sales(report);
    const bool no_cycle = std::all_of(groups.begin(), groups.end(), [](const GroupSales& g) { return g.cycle == 0; });
    const bool no_ytd = std::all_of(groups.begin(), groups.end(), [](const GroupSales& g) { return g.ytd == 0; });
    std::string title = describe(report);
    if (groups.empty()) {
      title += ": no items were selected";
    } else if (no_cycle) {
      title += no_ytd ? ": no sales this cycle or this year to date" : ": no sales this cycle";
    }
    chart_title_set_name(chart, to_utf8(title).c_str());
    // A chart needs series: without group lines they cover the row that
    // says why, and the title says it too.
    if (rows.empty() || last_group < first_data) last_group = first_data;
    {
      for (const auto& [col, label] : {std::pair<lxw_col_t, const char*>{2, "Sales this cycle $"},
                                       std::pair<lxw_col_t, const char*>{6, "Sales year to date $"}}) {
        lxw_chart_series* series = chart_add_series(chart, nullptr, nullptr);
        chart_series_set_categories(series, name.c_str(), first_data, 1, last_group, 1);
        chart_series_set_values(series, name.c_str(), first_data, col, last_group, col);
        chart_series_set_name(series, label);
      }
    }
    chart_axis_set_reverse(chart->y_axis);  // the first group at the top, as listed
    chart_axis_set_name(chart->x_axis, "$");
    chart_legend_set_position(chart, LXW_CHART_LEGEND_TOP);
    lxw_chartsheet* chartsheet = workbook_add_chartsheet(book, "Sales chart");
    if (const lxw_error e = chartsheet_set_chart(chartsheet, chart); e != LXW_NO_ERROR) return e;
  }
  return sheet.status();
}

// An export: the heading line's names over its fixed value columns, numbers
// typed; a column the heading does not name says so.
lxw_error write_export(lxw_workbook* book, const Report& report, std::string_view source) {
  const std::string name = report.number > 0 ? "Report " + std::to_string(report.number) : "Export";
  Sheet sheet(book, workbook_add_worksheet(book, name.c_str()));
  lxw_row_t row = title_rows(sheet, report, source);
  const ExportTable table = export_table(report);
  if (!table.unused.empty()) {
    sheet.text(row++, 0, "The heading line also names " + table.unused + ", which the lines do not hold.", nullptr,
               false);
  }
  if (table.names.empty()) {
    if (report.empty) sheet.text(row, 0, kNothingSelected, sheet.bold(), false);
    return sheet.status();
  }
  std::vector<std::string> names;
  for (const std::string_view n : table.names) names.emplace_back(n.empty() ? "(not named)" : n);
  const lxw_row_t names_row = row;
  sheet.header_row(row++, names);
  if (table.rows.empty()) sheet.text(row++, 0, kNothingSelected, sheet.bold(), false);
  if (table.rows.size() + row > kMaxRows) return LXW_ERROR_PARAMETER_VALIDATION;
  for (const auto& cells : table.rows) {
    for (std::size_t c = 0; c < cells.size(); ++c) {
      sheet.field(row, static_cast<lxw_col_t>(c), cells[c].text, cells[c].number, false);
    }
    ++row;
  }
  sheet.set_widths(static_cast<lxw_col_t>(names.size()));
  worksheet_autofilter(sheet.sheet(), names_row, 0, std::max(names_row, row - 1),
                       static_cast<lxw_col_t>(names.size() - 1));
  return sheet.status();
}

}  // namespace

bool render_xlsx(const Report& report, std::string_view source, const std::string& path, std::string& error) {
  // Rows are written in order, so each can go to the sheet's file as soon as
  // the next begins: half the time of holding every cell until the close,
  // and a fourth of the memory.
  // Its own work files go beside the workbook, on the same disk.
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;
  const std::size_t slash = path.find_last_of('/');
  std::string work_dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  options.tmpdir = work_dir.data();
  lxw_workbook* book = workbook_new_opt(path.c_str(), &options);
  if (book == nullptr) {
    error = "cannot start a spreadsheet: out of memory";
    return false;
  }
  lxw_doc_properties properties{};
  std::string title = to_utf8(describe(report)), author = "invrender";
  properties.title = title.data();
  properties.author = author.data();
  workbook_set_properties(book, &properties);

  std::string why;
  const lxw_error built =
      report.layout == Layout::kExport ? write_export(book, report, source) : write_listing(book, report, source, why);
  errno = 0;
  const lxw_error closed = workbook_close(book);
  const int cause = errno;
  if (built != LXW_NO_ERROR) {
    error = why.empty() ? std::string("cannot build the spreadsheet: ") + lxw_strerror(built) : why;
    return false;
  }
  if (closed != LXW_NO_ERROR) {
    error = cause != 0 ? in_words(cause) : std::string(lxw_strerror(closed));
    return false;
  }
  return true;
}

}  // namespace invrender
