#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "invrender/group_chart.h"
#include "invrender/render.h"

namespace invrender {

namespace {

bool put(std::FILE* out, std::string_view text) { return std::fwrite(text.data(), 1, text.size(), out) == text.size(); }

// Report text is read as Latin-1; a file name (`latin1` false) stands as given.
void escape_into(std::string& html, std::string_view text, bool latin1 = true) {
  for (const char c : latin1 ? to_utf8(text) : std::string(text)) {
    switch (c) {
      case '&': html += "&amp;"; break;
      case '<': html += "&lt;"; break;
      case '>': html += "&gt;"; break;
      case '"': html += "&quot;"; break;
      default: html += c;
    }
  }
}

std::string escape(std::string_view text, bool latin1 = true) {
  std::string html;
  escape_into(html, text, latin1);
  return html;
}

// The chart as inline SVG; each bar carries its value in data-value.
class SvgCanvas : public Canvas {
 public:
  explicit SvgCanvas(std::string& svg) : svg_(svg) {}
  void bar(double x, double y, double w, double h, Color color, double value, std::string_view note) override {
    append("<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"%s\"", x, y, w, h, rgb(color).c_str());
    if (note.empty()) {
      svg_ += "/>\n";
      return;
    }
    append(" data-value=\"%.2f\"><title>", value);
    escape_into(svg_, note);
    svg_ += "</title></rect>\n";
  }
  void line(double x1, double y1, double x2, double y2, Color color, double width) override {
    append("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"%s\" stroke-width=\"%.1f\"/>\n", x1, y1, x2,
           y2, rgb(color).c_str(), width);
  }
  void text(double x, double y, std::string_view text, double size, Anchor anchor, Color color, bool bold) override {
    static constexpr const char* kAnchor[] = {"start", "middle", "end"};
    append("<text x=\"%.1f\" y=\"%.1f\" font-size=\"%.1f\" text-anchor=\"%s\" fill=\"%s\"%s>", x, y, size,
           kAnchor[static_cast<int>(anchor)], rgb(color).c_str(), bold ? " font-weight=\"bold\"" : "");
    escape_into(svg_, text);
    svg_ += "</text>\n";
  }

 private:
  static std::string rgb(Color c) {
    char text[16];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", static_cast<int>(c.r * 255), static_cast<int>(c.g * 255),
                  static_cast<int>(c.b * 255));
    return text;
  }
  template <typename... Args>
  void append(const char* format, Args... args) {
    char text[256];
    std::snprintf(text, sizeof text, format, args...);
    svg_ += text;
  }
  std::string& svg_;
};

constexpr std::string_view kStyle = R"(<style>
@page { size: letter landscape; margin: 0.35in; }
body { margin: 16px; background: #e8e8e8; font-family: "DejaVu Sans", sans-serif; color: #111; }
h1 { font-size: 16px; margin: 0 0 12px; }
section { background: #fff; margin: 0 0 16px; padding: 10px 14px; width: max-content; box-shadow: 0 1px 3px #999; }
.pageno { font-size: 11px; color: #666; margin: 0 0 4px; }
.note { color: #8a1c00; }
pre { font-family: "DejaVu Sans Mono", monospace; font-size: 12px; line-height: 1.2; margin: 0; }
pre .head { color: #123a6b; }
svg text { font-family: "DejaVu Sans", sans-serif; }
table { border-collapse: collapse; font-family: "DejaVu Sans Mono", monospace; font-size: 11px; }
th, td { border: 1px solid #ccc; padding: 1px 6px; white-space: pre; text-align: left; }
th { background: #eef; position: sticky; top: 0; }
td.n { text-align: right; }
caption { caption-side: top; text-align: left; font-size: 12px; padding: 4px 0; color: #444; }
@media print {
  body { margin: 0; background: none; }
  h1, .pageno { display: none; }
  section { margin: 0; padding: 0; box-shadow: none; break-after: page; }
  section:last-of-type { break-after: auto; }
  pre { font-size: 7.6pt; line-height: 1.15; }
  table { font-size: 7pt; }
}
</style>
)";

void export_section(const Report& report, std::string& html) {
  const ExportTable table = export_table(report);
  html += "<section class=\"export\">\n<table>\n";
  if (!table.unused.empty()) {
    html += "<caption>The heading line also names " + escape(table.unused) +
            ", which the lines do not hold; a column without a name is one the heading line does not name.</caption>\n";
  }
  html += "<thead><tr>";
  for (const std::string_view name : table.names) html += "<th>" + escape(name) + "</th>";
  html += "</tr></thead>\n<tbody>\n";
  for (const auto& row : table.rows) {
    html += "<tr>";
    for (const ExportCell& cell : row) {
      html += cell.number ? "<td class=\"n\">" : "<td>";
      escape_into(html, cell.text);
      html += "</td>";
    }
    html += "</tr>\n";
  }
  html += "</tbody>\n</table>\n</section>\n";
}

}  // namespace

std::string in_words(int error_number) {
  switch (error_number) {
    case ENOSPC: return "the disk is full";
    case EDQUOT: return "the disk quota is used up";
    case EACCES:
    case EPERM: return "permission denied";
    case EROFS: return "the file system is read-only";
    case EIO: return "an input/output error on the device";
    case EPIPE: return "the reader of the output went away";
    case EFBIG: return "the file is larger than the system allows";
    case ENOENT: return "no such file or directory";
    case 0: return "the cause is unknown";
    default: break;
  }
  std::string text = std::strerror(error_number);
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

bool render_text(const Report& report, bool latin1, std::FILE* out, std::string& error) {
  std::string text;
  const auto add = [&](std::string_view line) {
    text += latin1 ? std::string(line) : to_utf8(line);
    text += '\n';
  };
  if (report.empty && report.lines.empty()) add(describe(report));
  for (std::size_t p = 0; p < report.pages.size(); ++p) {
    const Page& page = report.pages[p];
    for (std::size_t i = page.first; i < page.first + page.count; ++i) {
      if (p > 0 && i == page.first) text += '\f';
      add(report.lines[i]);
    }
  }
  if (report.layout == Layout::kExport && report.pages.empty()) {
    for (const std::string& line : report.lines) add(line);
  }
  if (report.empty) {
    text += '\n';
    add(kNothingSelected);
  }
  errno = 0;
  if (!put(out, text)) {
    error = in_words(errno);
    return false;
  }
  return true;
}

bool render_html(const Report& report, std::string_view source, std::FILE* out, std::string& error) {
  const std::string title = describe(report) + " (" + std::string(source) + ")";
  std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
                     escape(title, false) + "</title>\n" + std::string(kStyle) + "</head>\n<body>\n<h1>" +
                     escape(title, false) + "</h1>\n";
  for (const std::string& note : report.notes) html += "<p class=\"note\">Note: " + escape(note) + "</p>\n";
  if (report.empty) html += "<p class=\"empty\"><strong>" + std::string(kNothingSelected) + "</strong></p>\n";
  if (report.layout == Layout::kExport) {
    if (!report.lines.empty()) export_section(report, html);
  } else {
    if (has_chart(report)) {
      const auto groups = group_sales(report);
      constexpr double kWidth = 960;
      const double height = chart_height(groups.size());
      char open[160];
      std::snprintf(open, sizeof open,
                    "<section class=\"chart\">\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" "
                    "height=\"%.0f\" viewBox=\"0 0 %.0f %.0f\">\n",
                    kWidth, height, kWidth, height);
      html += open;
      SvgCanvas canvas(html);
      draw_chart(canvas, describe(report), header_summary(report), groups, chart_scale(groups), kWidth, height);
      html += "</svg>\n</section>\n";
    }
    for (std::size_t p = 0; p < report.pages.size(); ++p) {
      const Page& page = report.pages[p];
      html += "<section class=\"page\" id=\"page-" + std::to_string(p + 1) + "\">\n<p class=\"pageno\">Page " +
              std::to_string(p + 1) + " of " + std::to_string(report.pages.size()) + "</p>\n<pre>";
      for (std::size_t i = 0; i < page.count; ++i) {
        const bool head = page.has_header && i < kHeaderLines;
        if (head && i == 0) html += "<span class=\"head\">";
        escape_into(html, report.lines[page.first + i]);
        if (head && i + 1 == kHeaderLines) html += "</span>";
        html += '\n';
      }
      if (page.has_header && page.count < kHeaderLines) html += "</span>";
      html += "</pre>\n</section>\n";
    }
  }
  html += "</body>\n</html>\n";
  errno = 0;
  if (!put(out, html)) {
    error = in_words(errno);
    return false;
  }
  return true;
}

}  // namespace invrender
