// PDF pages drawn with cairo.  Report lines are set in DejaVu Sans Mono, one
// glyph per print column at a fixed pitch, so the columns line up exactly
// and a text extractor reads the lines back as printed.
#include <cairo-pdf.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "invrender/group_chart.h"
#include "invrender/render.h"

namespace invrender {

namespace {

constexpr double kPageWidth = 792;  // US letter, landscape
constexpr double kPageHeight = 612;
constexpr double kMargin = 24;
constexpr double kMaxPageHeight = 14400;  // the largest page a PDF reader must take
// A full page: the eight header lines, 54 detail lines, a rule and totals.
constexpr int kLinesPerPage = 64;
constexpr int kColumns = 132;
constexpr double kLinePitch = (kPageHeight - 2 * kMargin) / kLinesPerPage;
constexpr double kFontSize = kLinePitch / 1.06;
constexpr const char* kMono = "DejaVu Sans Mono";
constexpr const char* kSans = "DejaVu Sans";

cairo_status_t write_to_file(void* closure, const unsigned char* data, unsigned int length) {
  return std::fwrite(data, 1, length, static_cast<std::FILE*>(closure)) == length ? CAIRO_STATUS_SUCCESS
                                                                                  : CAIRO_STATUS_WRITE_ERROR;
}

class CairoCanvas : public Canvas {
 public:
  CairoCanvas(cairo_t* cr, double x0, double y0) : cr_(cr), x0_(x0), y0_(y0) {}
  void bar(double x, double y, double w, double h, Color color, double, std::string_view) override {
    cairo_set_source_rgb(cr_, color.r, color.g, color.b);
    cairo_rectangle(cr_, x0_ + x, y0_ + y, w, h);
    cairo_fill(cr_);
  }
  void line(double x1, double y1, double x2, double y2, Color color, double width) override {
    cairo_set_source_rgb(cr_, color.r, color.g, color.b);
    cairo_set_line_width(cr_, width);
    cairo_move_to(cr_, x0_ + x1, y0_ + y1);
    cairo_line_to(cr_, x0_ + x2, y0_ + y2);
    cairo_stroke(cr_);
  }
  void text(double x, double y, std::string_view text, double size, Anchor anchor, Color color, bool bold) override {
    const std::string utf8 = to_utf8(text);
    cairo_select_font_face(cr_, kSans, CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr_, size);
    cairo_text_extents_t extents;
    cairo_text_extents(cr_, utf8.c_str(), &extents);
    const double shift = anchor == Anchor::kStart    ? 0
                         : anchor == Anchor::kMiddle ? extents.x_advance / 2
                                                     : extents.x_advance;
    cairo_set_source_rgb(cr_, color.r, color.g, color.b);
    cairo_move_to(cr_, x0_ + x - shift, y0_ + y);
    cairo_show_text(cr_, utf8.c_str());
  }

 private:
  cairo_t* cr_;
  double x0_, y0_;
};

// The monospace glyph of every byte (read as Latin-1) and the column pitch.
struct MonoFont {
  std::array<unsigned long, 256> glyph{};
  double advance = 0;
};

MonoFont load_mono(cairo_t* cr) {
  MonoFont font;
  cairo_select_font_face(cr, kMono, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, kFontSize);
  cairo_scaled_font_t* scaled = cairo_get_scaled_font(cr);
  for (int byte = 0x21; byte < 0x100; ++byte) {
    const std::string utf8 = to_utf8(std::string(1, static_cast<char>(byte)));
    cairo_glyph_t* glyphs = nullptr;
    int count = 0;
    if (cairo_scaled_font_text_to_glyphs(scaled, 0, 0, utf8.data(), static_cast<int>(utf8.size()), &glyphs, &count,
                                         nullptr, nullptr, nullptr) == CAIRO_STATUS_SUCCESS &&
        count == 1) {
      font.glyph[byte] = glyphs[0].index;
    }
    cairo_glyph_free(glyphs);
  }
  cairo_text_extents_t extents;
  cairo_scaled_font_text_extents(scaled, "M", &extents);
  font.advance = extents.x_advance;
  return font;
}

// The first `head` lines (the page header, or an export's heading line) are
// set in a dark blue, the rest in black.
void draw_lines(cairo_t* cr, const MonoFont& font, const Report& report, const Page& page, std::size_t head,
                double left, double top) {
  std::vector<cairo_glyph_t> glyphs;
  glyphs.reserve(kColumns);
  for (std::size_t i = 0; i < page.count; ++i) {
    const std::string& line = report.lines[page.first + i];
    const double y = top + kLinePitch * static_cast<double>(i) + kFontSize * 0.8;
    glyphs.clear();
    for (std::size_t c = 0; c < line.size(); ++c) {
      const auto byte = static_cast<unsigned char>(line[c]);
      if (byte == ' ') continue;  // a blank is a column without a glyph
      glyphs.push_back({font.glyph[byte], left + font.advance * static_cast<double>(c), y});
    }
    if (i < head) {
      cairo_set_source_rgb(cr, 0.07, 0.23, 0.42);
    } else {
      cairo_set_source_rgb(cr, 0, 0, 0);
    }
    cairo_show_glyphs(cr, glyphs.data(), static_cast<int>(glyphs.size()));
  }
}

void draw_chart_pages(cairo_t* cr, const Report& report) {
  const auto groups = group_sales(report);
  const ChartScale scale = chart_scale(groups);
  constexpr std::size_t kMostRows = 36;
  const std::size_t pages = std::max<std::size_t>(1, (groups.size() + kMostRows - 1) / kMostRows);
  const std::size_t rows = (groups.size() + pages - 1) / pages;
  const double width = kPageWidth - 4 * kMargin;
  const double room = kPageHeight - 4 * kMargin;
  for (std::size_t p = 0; p < pages; ++p) {
    const std::size_t first = std::min(groups.size(), p * rows);
    const std::span<const GroupSales> part(groups.data() + first, std::min(rows, groups.size() - first));
    CairoCanvas canvas(cr, 2 * kMargin, 2 * kMargin);
    std::string title = describe(report);
    if (pages > 1) title += " (" + std::to_string(p + 1) + " of " + std::to_string(pages) + ")";
    draw_chart(canvas, title, header_summary(report), part, scale, width, std::min(room, chart_height(part.size())));
    cairo_show_page(cr);
  }
}

}  // namespace

bool render_pdf(const Report& report, std::FILE* out, std::string& error) {
  cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(write_to_file, out, kPageWidth, kPageHeight);
  // The file name may be in any encoding; the title keeps to what is known.
  cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE, describe(report).c_str());
  cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATOR, "invrender");
  cairo_t* cr = cairo_create(surface);

  if (has_chart(report)) draw_chart_pages(cr, report);
  const MonoFont font = load_mono(cr);
  const double text_width = font.advance * kColumns;
  const double left = (kPageWidth - text_width) / 2;
  // An export has no pages of its own: it is set on sheets of a page's
  // length, each beginning with the heading line.
  Report sheets;
  if (report.layout == Layout::kExport) {
    for (std::size_t i = 1; i < report.lines.size() || i == 1; i += kLinesPerPage - 1) {
      const std::size_t end = std::min(report.lines.size(), i + kLinesPerPage - 1);
      sheets.pages.push_back({sheets.lines.size(), 1 + end - std::min(i, end), true});
      sheets.lines.push_back(report.lines.front());
      sheets.lines.insert(sheets.lines.end(), report.lines.begin() + static_cast<std::ptrdiff_t>(std::min(i, end)),
                          report.lines.begin() + static_cast<std::ptrdiff_t>(end));
    }
  }
  const Report& shown = report.layout == Layout::kExport ? sheets : report;
  for (const Page& page : shown.pages) {
    // A report page longer than a sheet (reports 7 and 8 never break) gets
    // a taller PDF page; beyond the largest page size its lines shrink.
    const double needed = 2 * kMargin + kLinePitch * static_cast<double>(page.count);
    const double height = std::clamp(needed, kPageHeight, kMaxPageHeight);
    cairo_pdf_surface_set_size(surface, kPageWidth, height);
    cairo_save(cr);
    if (needed > kMaxPageHeight) {
      const double shrink = kMaxPageHeight / needed;
      cairo_translate(cr, kPageWidth * (1 - shrink) / 2, 0);
      cairo_scale(cr, shrink, shrink);
    }
    const std::size_t head = !page.has_header ? 0 : report.layout == Layout::kExport ? 1 : kHeaderLines;
    draw_lines(cr, font, shown, page, head, left, kMargin);
    cairo_restore(cr);
    cairo_show_page(cr);
    if (height != kPageHeight) cairo_pdf_surface_set_size(surface, kPageWidth, kPageHeight);
  }
  cairo_destroy(cr);
  cairo_surface_finish(surface);
  const cairo_status_t status = cairo_surface_status(surface);
  cairo_surface_destroy(surface);
  // Let go of the font caches cairo and fontconfig keep for the process, so
  // that the program ends owning no memory (the leak checker sees them).
  cairo_debug_reset_static_data();
  FcFini();
  if (status != CAIRO_STATUS_SUCCESS) {
    error = std::string("PDF output failed: ") + cairo_status_to_string(status);
    return false;
  }
  return true;
}

}  // namespace invrender
