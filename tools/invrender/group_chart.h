// The bar chart of the grouped sales reports (12 by category, 13 by
// department, 14 by vendor): for every group line of the listing, its sales
// of the current cycle and of the year to date, as the report prints them.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "invrender/report_file.h"

namespace invrender {

struct GroupSales {
  std::string label;  // columns 2-19: the group's number and name
  double cycle = 0;   // columns 20-27
  double ytd = 0;     // columns 58-65
  // A figure too wide for its eight columns loses its leading digits in the
  // report, which then shows a smaller number; the cost and the margin
  // printed beside it no longer add up to it.
  bool cycle_cut = false, ytd_cut = false;
};

bool has_chart(const Report& report);

// Whether the sales figure of a group or totals line at columns at..at+7
// lost its leading digits: its cost (the next eight columns) and margin (the
// eight after) do not add up to it.
bool sales_cut(std::string_view line, std::size_t at);

// What a chart of `groups` says instead of bars when there is nothing to
// draw ("no sales this cycle"), or beside them when one of the two figures
// is zero for every group; empty when both have sales.
std::string chart_message(std::span<const GroupSales> groups);

// The group lines of a grouped report, in the order printed: every line
// after a page header up to the rule line that precedes the totals.
std::vector<GroupSales> group_sales(const Report& report);

struct Color {
  double r, g, b;
};

// What the chart is drawn on: an SVG text or a PDF page.  Coordinates in
// points from the top left.
class Canvas {
 public:
  enum class Anchor { kStart, kMiddle, kEnd };
  virtual ~Canvas() = default;
  // A bar standing for `value`; `note` names it for a reader (a tooltip).
  virtual void bar(double x, double y, double w, double h, Color color, double value, std::string_view note) = 0;
  virtual void line(double x1, double y1, double x2, double y2, Color color, double width) = 0;
  // Text whose baseline starts, centres or ends at (x, y).
  virtual void text(double x, double y, std::string_view text, double size, Anchor anchor, Color color,
                    bool bold = false) = 0;
};

// The value range every part of a chart shares, so that bars split over
// several PDF pages keep one scale.
struct ChartScale {
  double low = 0, high = 0;
};
ChartScale chart_scale(std::span<const GroupSales> groups);

// Draws `groups` as horizontal bar pairs filling width x height.
void draw_chart(Canvas& canvas, std::string_view title, std::string_view subtitle, std::span<const GroupSales> groups,
                ChartScale scale, double width, double height);

// Height a chart of `rows` groups wants at its natural row height.
double chart_height(std::size_t rows);

}  // namespace invrender
