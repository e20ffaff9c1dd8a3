// PDF pages drawn with cairo.  Report lines are set in DejaVu Sans Mono, one
// glyph per print column at a fixed pitch, so the columns line up exactly
// and a text extractor reads the lines back as printed.
#include <cairo-pdf.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <array>
#include <cerrno>
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

// Where the PDF goes, and the errno of the first write that failed.
struct Sink {
  std::FILE* out;
  int error = 0;
};

cairo_status_t write_to_file(void* closure, const unsigned char* data, unsigned int length) {
  Sink& sink = *static_cast<Sink*>(closure);
  errno = 0;
  if (std::fwrite(data, 1, length, sink.out) == length) return CAIRO_STATUS_SUCCESS;
  if (sink.error == 0) sink.error = errno != 0 ? errno : EIO;
  return CAIRO_STATUS_WRITE_ERROR;
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

// An export as a table on landscape sheets: the heading line's names over
// its columns, figures right-aligned, the names repeated on every sheet.  The
// type shrinks when the columns are wider than a sheet.
void draw_export_pages(cairo_t* cr, const Report& report) {
  const ExportTable table = export_table(report);
  std::vector<std::size_t> widths(table.names.size(), 1);
  for (std::size_t c = 0; c < table.names.size(); ++c) widths[c] = std::max(widths[c], table.names[c].size());
  for (const auto& row : table.rows) {
    for (std::size_t c = 0; c < row.size() && c < widths.size(); ++c)
      widths[c] = std::max(widths[c], row[c].text.size());
  }
  std::size_t chars = 0;
  for (const std::size_t w : widths) chars += w + 2;
  cairo_select_font_face(cr, kMono, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, kFontSize);
  cairo_text_extents_t m;
  cairo_text_extents(cr, "M", &m);
  const double room = kPageWidth - 2 * kMargin;
  const double size =
      std::min(kFontSize, kFontSize * room / (m.x_advance * static_cast<double>(std::max<std::size_t>(chars, 1))));
  const double advance = m.x_advance * size / kFontSize;
  const double pitch = size * 1.5;
  const double width = advance * static_cast<double>(chars);
  const double left = (kPageWidth - width) / 2;
  const std::size_t per_sheet = static_cast<std::size_t>((kPageHeight - 2 * kMargin - 2 * pitch) / pitch);

  const auto cell = [&](std::string_view text, double x, std::size_t w, bool right, double y, bool bold) {
    const std::string utf8 = to_utf8(text);
    cairo_select_font_face(cr, kMono, CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    const double shift = right ? advance * static_cast<double>(w - std::min(w, text.size())) : 0;
    cairo_move_to(cr, x + advance + shift, y);
    cairo_show_text(cr, utf8.c_str());
  };
  std::size_t first = 0;
  do {
    double y = kMargin;
    if (first == 0 && !table.unused.empty()) {
      cairo_set_source_rgb(cr, 0.27, 0.27, 0.27);
      cell("The heading line also names " + table.unused + ", which the lines do not hold.", left - advance, 0, false,
           y - pitch * 0.2, false);
    }
    // The names on a tinted band, then the rows with a rule under each.
    cairo_set_source_rgb(cr, 0.93, 0.93, 1.0);
    cairo_rectangle(cr, left, y, width, pitch);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.07, 0.23, 0.42);
    double x = left;
    for (std::size_t c = 0; c < widths.size(); ++c) {
      cell(table.names[c], x, widths[c], false, y + pitch * 0.72, true);
      x += advance * static_cast<double>(widths[c] + 2);
    }
    const std::size_t end = std::min(table.rows.size(), first + per_sheet);
    cairo_set_source_rgb(cr, 0, 0, 0);
    for (std::size_t r = first; r < end; ++r) {
      y += pitch;
      x = left;
      for (std::size_t c = 0; c < widths.size() && c < table.rows[r].size(); ++c) {
        const ExportCell& value = table.rows[r][c];
        cell(value.text, x, widths[c], value.number, y + pitch * 0.72, false);
        x += advance * static_cast<double>(widths[c] + 2);
      }
    }
    // Grid lines: the table's frame, column separators and row rules.
    cairo_set_source_rgb(cr, 0.8, 0.8, 0.8);
    cairo_set_line_width(cr, 0.4);
    const double bottom = kMargin + pitch * static_cast<double>(end - first + 1);
    x = left;
    for (std::size_t c = 0; c <= widths.size(); ++c) {
      cairo_move_to(cr, x, kMargin);
      cairo_line_to(cr, x, bottom);
      if (c < widths.size()) x += advance * static_cast<double>(widths[c] + 2);
    }
    for (std::size_t r = 0; r <= end - first + 1; ++r) {
      cairo_move_to(cr, left, kMargin + pitch * static_cast<double>(r));
      cairo_line_to(cr, left + width, kMargin + pitch * static_cast<double>(r));
    }
    cairo_stroke(cr);
    if (first == 0 && table.rows.empty()) {
      cairo_set_source_rgb(cr, 0, 0, 0);
      cell(kNothingSelected, left, 0, false, bottom + pitch * 1.2, true);
    }
    cairo_show_page(cr);
    first = end;
  } while (first < table.rows.size());
}

// A report without any lines (the file was empty): its description and what
// it means, on one sheet.
void draw_empty_page(cairo_t* cr, const Report& report) {
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_select_font_face(cr, kSans, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_font_size(cr, 14);
  cairo_move_to(cr, 2 * kMargin, 3 * kMargin);
  cairo_show_text(cr, describe(report).c_str());
  cairo_set_font_size(cr, 12);
  cairo_move_to(cr, 2 * kMargin, 3 * kMargin + 28);
  cairo_show_text(cr, std::string(kNothingSelected).c_str());
  cairo_show_page(cr);
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
  Sink sink{out};
  cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(write_to_file, &sink, kPageWidth, kPageHeight);
  // The file name may be in any encoding; the title keeps to what is known.
  cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE, describe(report).c_str());
  cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATOR, "invrender");
  cairo_t* cr = cairo_create(surface);

  if (has_chart(report)) draw_chart_pages(cr, report);
  if (report.layout == Layout::kExport && !report.lines.empty()) {
    draw_export_pages(cr, report);
  } else if (report.lines.empty()) {
    draw_empty_page(cr, report);
  } else {
    const MonoFont font = load_mono(cr);
    const double text_width = font.advance * kColumns;
    const double left = (kPageWidth - text_width) / 2;
    for (const Page& page : report.pages) {
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
      const std::size_t head = page.has_header ? kHeaderLines : 0;
      draw_lines(cr, font, report, page, head, left, kMargin);
      if (report.empty && &page == &report.pages.back()) {
        // Below the page's last line: why there are no detail lines.
        cairo_select_font_face(cr, kSans, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
        cairo_set_font_size(cr, 11);
        cairo_move_to(cr, left, kMargin + kLinePitch * (static_cast<double>(page.count) + 1.5));
        cairo_show_text(cr, std::string(kNothingSelected).c_str());
      }
      cairo_restore(cr);
      cairo_show_page(cr);
      if (height != kPageHeight) cairo_pdf_surface_set_size(surface, kPageWidth, kPageHeight);
    }
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
    error = sink.error != 0 ? in_words(sink.error)
                            : std::string("the PDF could not be made: ") + cairo_status_to_string(status);
    return false;
  }
  return true;
}

}  // namespace invrender
