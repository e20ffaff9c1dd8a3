#include "invrender/group_chart.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace invrender {

namespace {

constexpr Color kCycle{0.23, 0.44, 0.71};
constexpr Color kYtd{0.88, 0.54, 0.17};
constexpr Color kInk{0.1, 0.1, 0.1};
constexpr Color kGrid{0.82, 0.82, 0.82};
constexpr Color kWarn{0.72, 0.05, 0.0};

constexpr double kTop = 64;  // title, legend and axis labels above the rows
constexpr double kBottom = 12;
constexpr double kRowHeight = 26;  // natural height of one group's pair of bars
constexpr double kLabelWidth = 120;
constexpr double kValueRoom = 64;  // right of the longest bar, for its figure

// An amount field as printed: blank is zero; the report's own rounding and
// truncation stand as they are.
double amount(std::string_view field) {
  field = trim(field);
  double value = 0;
  if (field.empty()) return 0;
  // from_chars does not take ".85" or "-.50"; put the 0 back in front.
  std::string text(field);
  const std::size_t point = text.find('.');
  if (point != std::string::npos && (point == 0 || text[point - 1] == '-')) text.insert(point, "0");
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() ? value : 0;
}

bool is_rule(std::string_view line) {
  return line.size() == 132 && line[0] == ' ' && line.find_first_not_of('-', 1) == std::string_view::npos;
}

// A step of 1, 2 or 5 times a power of ten giving about `ticks` ticks.
double nice_step(double span, int ticks) {
  const double raw = span / ticks;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0}) {
    if (raw <= m * power) return m * power;
  }
  return 10 * power;
}

std::string figure(double value, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

}  // namespace

bool has_chart(const Report& report) { return report.number >= 12 && report.number <= 14; }

bool sales_cut(std::string_view line, std::size_t at) {
  const double sales = amount(columns(line, at, at + 7));
  return std::abs(amount(columns(line, at + 8, at + 15)) + amount(columns(line, at + 16, at + 23)) - sales) > 0.05;
}

std::string chart_message(std::span<const GroupSales> groups) {
  if (groups.empty()) return "no items were selected: no sales to chart";
  const bool cycle = std::any_of(groups.begin(), groups.end(), [](const GroupSales& g) { return g.cycle != 0; });
  const bool ytd = std::any_of(groups.begin(), groups.end(), [](const GroupSales& g) { return g.ytd != 0; });
  if (!cycle && !ytd) return "no sales this cycle, none this year to date";
  if (!cycle) return "no sales this cycle";
  if (!ytd) return "no sales this year to date";
  return {};
}

std::vector<GroupSales> group_sales(const Report& report) {
  std::vector<GroupSales> groups;
  for (const Page& page : report.pages) {
    const std::size_t end = page.first + page.count;
    for (std::size_t i = page.first + (page.has_header ? kHeaderLines : 0); i < end; ++i) {
      const std::string_view line = report.lines[i];
      if (is_rule(line)) break;  // the totals follow
      if (trim(line).empty()) continue;
      // Sales, cost of sales and margin of the cycle from column 20, of the
      // year to date from column 58, eight columns each.
      groups.push_back({std::string(trim(columns(line, 2, 19))), amount(columns(line, 20, 27)),
                        amount(columns(line, 58, 65)), sales_cut(line, 20), sales_cut(line, 58)});
    }
  }
  return groups;
}

ChartScale chart_scale(std::span<const GroupSales> groups) {
  ChartScale scale;
  for (const GroupSales& g : groups) {
    scale.low = std::min({scale.low, g.cycle, g.ytd});
    scale.high = std::max({scale.high, g.cycle, g.ytd});
  }
  if (scale.high - scale.low <= 0) scale.high = 1;
  const double step = nice_step(scale.high - scale.low, 5);
  scale.low = std::floor(scale.low / step) * step;
  scale.high = std::ceil(scale.high / step) * step;
  return scale;
}

// A chart without groups keeps the room of two, for what it says instead.
double chart_height(std::size_t rows) {
  return kTop + kBottom + kRowHeight * static_cast<double>(std::max<std::size_t>(rows, 2));
}

void draw_chart(Canvas& canvas, std::string_view title, std::string_view subtitle, std::span<const GroupSales> groups,
                ChartScale scale, double width, double height) {
  canvas.text(0, 14, title, 13, Canvas::Anchor::kStart, kInk, true);
  canvas.text(width, 14, subtitle, 9, Canvas::Anchor::kEnd, kInk);
  const std::string message = chart_message(groups);
  const bool nothing =
      std::none_of(groups.begin(), groups.end(), [](const GroupSales& g) { return g.cycle != 0 || g.ytd != 0; });
  if (nothing) {  // no axes without bars: say why there are none
    canvas.text(width / 2, kTop + 24, message, 12, Canvas::Anchor::kMiddle, kInk, true);
    return;
  }
  // Legend.
  double x = 0;
  for (const auto& [color, name] : {std::pair<Color, std::string_view>{kCycle, "Sales this cycle $"},
                                    std::pair<Color, std::string_view>{kYtd, "Sales year to date $"}}) {
    canvas.bar(x, 25, 10, 10, color, 0, {});
    canvas.text(x + 14, 34, name, 9, Canvas::Anchor::kStart, kInk);
    x += 140;
  }
  if (!message.empty()) canvas.text(x + 20, 34, "(" + message + ")", 9, Canvas::Anchor::kStart, kWarn, true);

  const double plot_x = kLabelWidth;
  const double plot_w = std::max(50.0, width - kLabelWidth - kValueRoom);
  const double row_h = groups.empty() ? kRowHeight : (height - kTop - kBottom) / static_cast<double>(groups.size());
  const auto at = [&](double v) { return plot_x + (v - scale.low) / (scale.high - scale.low) * plot_w; };
  const double bottom = kTop + row_h * static_cast<double>(groups.size());

  const double step = nice_step(scale.high - scale.low, 5);
  for (double tick = scale.low; tick <= scale.high + step / 2; tick += step) {
    canvas.line(at(tick), kTop - 4, at(tick), bottom, kGrid, 0.5);
    // A step below 1 gets the decimals that tell its ticks apart.
    const int decimals = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    canvas.text(at(tick), kTop - 8, figure(std::abs(tick) < step / 2 ? 0 : tick, decimals), 8, Canvas::Anchor::kMiddle,
                kInk);
  }
  canvas.line(at(0), kTop - 4, at(0), bottom, kInk, 0.8);

  const double bar_h = std::min(10.0, row_h * 0.36);
  const double font = std::clamp(row_h * 0.45, 4.0, 9.0);
  double y = kTop;
  for (const GroupSales& g : groups) {
    canvas.text(plot_x - 6, y + row_h / 2 + font * 0.35, g.label, font, Canvas::Anchor::kEnd, kInk);
    double bar_y = y + row_h / 2 - bar_h - 0.5;
    struct Bar {
      double value;
      Color color;
      std::string_view what;
      bool cut;
    };
    for (const auto& [value, color, what, cut] :
         {Bar{g.cycle, kCycle, "this cycle", g.cycle_cut}, Bar{g.ytd, kYtd, "year to date", g.ytd_cut}}) {
      const double from = at(std::min(0.0, value)), to = at(std::max(0.0, value));
      const std::string shown = figure(value, 2) + (cut ? " (as printed: leading digits lost)" : "");
      canvas.bar(from, bar_y, to - from, bar_h, color, value, g.label + ", sales " + std::string(what) + ": " + shown);
      // A blank field in the report (zero) gets no figure either.
      const bool negative = value < 0;
      if (value != 0 || cut) {
        canvas.text(negative ? from - 3 : to + 3, bar_y + bar_h * 0.8, shown, std::min(font, bar_h * 0.9),
                    negative ? Canvas::Anchor::kEnd : Canvas::Anchor::kStart, cut ? kWarn : kInk);
      }
      bar_y += bar_h + 1;
    }
    y += row_h;
  }
}

}  // namespace invrender
