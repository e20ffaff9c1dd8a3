// invrender over real report files: a sample store's reports written by
// invreport, plus two kept outputs (a report 11 that selected nothing, and a
// report 12 whose size is a multiple of both record lengths).  The PDF is
// read back with pdftotext; the expectations are worked out here from the
// report file's own records.
// GCC 12 at -O1 with the sanitizers warns of "maybe uninitialized" members
// inside std::regex's own inlined constructors (the standard library's
// code, not this file's): a false positive, silenced for this file.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::read_file;
using test_support::run_process;
using test_support::TempDir;
using test_support::write_file;

std::string tool(const std::string& name) {
  std::stringstream path(std::getenv("PATH") != nullptr ? std::getenv("PATH") : "/usr/bin");
  for (std::string dir; std::getline(path, dir, ':');) {
    if (fs::exists(fs::path(dir) / name)) return (fs::path(dir) / name).string();
  }
  return "/usr/bin/" + name;
}

test_support::ProcessResult run_invrender(const std::vector<std::string>& args, const fs::path& cwd) {
  return run_process(INVRENDER_BIN, args, cwd);
}

std::vector<std::string> split(std::string_view text, char at) {
  std::vector<std::string> parts;
  for (std::size_t from = 0;;) {
    const std::size_t next = text.find(at, from);
    parts.emplace_back(text.substr(from, next - from));
    if (next == std::string_view::npos) return parts;
    from = next + 1;
  }
}

std::string rtrim(std::string s) { return s.erase(s.find_last_not_of(' ') + 1); }

double field(const std::string& record, std::size_t first, std::size_t last) {
  std::string text = record.substr(first - 1, last - first + 1);
  return text.find_first_not_of(' ') == std::string::npos ? 0 : std::stod(text);
}

// A listing's pages as a reader should get them: a page begins at a record
// with "1" in column 1 that is a page header (the banner in columns 50-84);
// the "1" itself is not shown.  Records before the first header make a page
// of their own.
struct Listing {
  std::vector<std::string> records;             // text columns, CR LF dropped
  std::vector<std::vector<std::string>> pages;  // lines as shown
  int ones_in_column_one = 0;
};

Listing read_listing(const std::string& bytes, std::size_t length) {
  Listing listing;
  for (std::size_t at = 0; at + length <= bytes.size(); at += length) {
    std::string text = bytes.substr(at, length - 2);
    listing.records.push_back(text);
    listing.ones_in_column_one += text[0] == '1';
    const bool header = length == 134 && text[0] == '1' && text.substr(49, 35) == "K O R V A N E     I N V E N T O R Y";
    if (header) text[0] = ' ';
    if (header || listing.pages.empty()) listing.pages.emplace_back();
    listing.pages.back().push_back(rtrim(text));
  }
  return listing;
}

// The column pitch of the PDF's monospace text, from the 131-hyphen rule
// under the column headings.
double pitch_of(const fs::path& pdf, const fs::path& dir) {
  const auto bbox = run_process(tool("pdftotext"), {"-bbox", pdf.string(), "-"}, dir);
  // <word xMin="..." yMin="..." xMax="..." yMax="...">---...---</word>
  const std::size_t rule = bbox.out.find(">" + std::string(131, '-') + "<");
  const std::size_t word = rule == std::string::npos ? rule : bbox.out.rfind("<word ", rule);
  if (word == std::string::npos) return 0;
  const std::string tag = bbox.out.substr(word, rule - word);
  const auto attribute = [&](const std::string& name) {
    return std::stod(tag.substr(tag.find(name + "=\"") + name.size() + 2));
  };
  return (attribute("xMax") - attribute("xMin")) / 131;
}

// pdftotext at that pitch, page by page, with the page margin taken off so
// that column 1 of the report is column 1 of the text.
std::vector<std::vector<std::string>> pdf_pages(const fs::path& pdf, const fs::path& dir, double pitch) {
  const auto text =
      run_process(tool("pdftotext"), {"-layout", "-fixed", std::to_string(pitch), pdf.string(), "-"}, dir);
  std::vector<std::vector<std::string>> pages;
  for (const std::string& page : split(text.out, '\f')) {
    auto& lines = pages.emplace_back(split(page, '\n'));
    for (auto& line : lines) line = rtrim(line);
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
  }
  if (!pages.empty() && pages.back().empty()) pages.pop_back();
  return pages;
}

void expect_same_page(std::vector<std::string> actual, std::vector<std::string> expected, const std::string& where) {
  while (!expected.empty() && expected.back().empty()) expected.pop_back();
  // The margin: the difference in indent of the first line with text.
  std::size_t margin = 0;
  for (std::size_t i = 0; i < std::min(actual.size(), expected.size()); ++i) {
    if (expected[i].empty()) continue;
    margin = actual[i].find_first_not_of(' ') - expected[i].find_first_not_of(' ');
    break;
  }
  for (auto& line : actual) line.erase(0, std::min(margin, line.find_first_not_of(' ')));
  EXPECT_EQ(actual, expected) << where;
}

class Render : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    ASSERT_EQ(test_support::run_invdb({"sample", "STOCK", "--items", "2000"}, dir_->path()).exit_code, 0);
  }
  static void TearDownTestSuite() { delete dir_; }

  // Runs invreport and keeps its output under rNN.dat.
  static fs::path report(const std::string& number) {
    const fs::path kept = *dir_ / ("r" + number + ".dat");
    if (!fs::exists(kept)) {
      EXPECT_EQ(test_support::run_invreport({"-RPT", number, "-F", "STOCK", "-DT", "123108"}, dir_->path()).exit_code,
                0);
      fs::rename(*dir_ / (number == "15" ? "KOROt15.csv" : "OUTF21.DAT"), kept);
    }
    return kept;
  }
  static TempDir* dir_;
};
TempDir* Render::dir_ = nullptr;

// Every listing: PDF pages, their text, the plain text, the HTML sections
// and, for the grouped reports, the chart's bars against the group lines.
TEST_F(Render, ListingsPageForPage) {
  struct Case {
    std::string name;
    fs::path file;
    bool chart;
  };
  const std::vector<Case> cases = {
      {"01 several pages", report("01"), false},
      {"09 stock indexes in column 1", report("09"), false},
      {"07 one page", report("07"), false},
      {"07 one page longer than a sheet", test_support::data_path("reports/golden/rpt07_sixty.txt"), false},
      {"12 by category", report("12"), true},
      {"13 by department", report("13"), true},
      {"14 by vendor", report("14"), true},
      {"11 nothing selected", test_support::data_path("reports/golden/rpt11_none_purchased.txt"), false},
      {"12 of 8576 bytes", test_support::data_path("reports/golden/rpt12_categories.txt"), true},
  };
  const fs::path pdf01 = *dir_ / "pitch.pdf";
  ASSERT_EQ(run_invrender({report("01").string(), "-o", pdf01.string()}, dir_->path()).exit_code, 0);
  const double pitch = pitch_of(pdf01, dir_->path());
  ASSERT_GT(pitch, 3.0) << "no column rule found in the PDF text";
  std::size_t total_cut = 0;

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Listing listing = read_listing(read_file(c.file), 134);
    const fs::path pdf = *dir_ / "out.pdf", html = *dir_ / "out.html";
    ASSERT_EQ(run_invrender({c.file.string(), "-o", pdf.string()}, dir_->path()).exit_code, 0);
    ASSERT_EQ(run_invrender({c.file.string(), "-o", html.string()}, dir_->path()).exit_code, 0);
    const auto text = run_invrender({c.file.string()}, dir_->path());
    ASSERT_EQ(text.exit_code, 0) << text.err;

    // The chart comes first, on as many pages as its groups need.
    const auto pages = pdf_pages(pdf, dir_->path(), pitch);
    const std::size_t chart_pages = std::count_if(pages.begin(), pages.end(), [](const auto& page) {
      return std::any_of(page.begin(), page.end(),
                         [](const std::string& line) { return line.find("Sales this cycle $") != std::string::npos; });
    });
    EXPECT_EQ(chart_pages > 0, c.chart);
    ASSERT_EQ(pages.size(), listing.pages.size() + chart_pages);
    for (std::size_t p = 0; p < listing.pages.size(); ++p) {
      expect_same_page(pages[p + chart_pages], listing.pages[p], "page " + std::to_string(p + 1));
    }

    std::string expected_text;
    for (std::size_t p = 0; p < listing.pages.size(); ++p) {
      for (std::size_t i = 0; i < listing.pages[p].size(); ++i) {
        expected_text += (p > 0 && i == 0 ? "\f" : "") + listing.pages[p][i] + "\n";
      }
    }
    EXPECT_EQ(text.out, expected_text);

    const std::string page_html = read_file(html);
    const auto count = [&](const std::string& what) {
      std::size_t n = 0;
      for (std::size_t at = page_html.find(what); at != std::string::npos; at = page_html.find(what, at + 1)) ++n;
      return n;
    };
    EXPECT_EQ(count("<section class=\"page\""), listing.pages.size());
    EXPECT_EQ(count("<script"), 0u);
    EXPECT_EQ(count("http:") + count("https:"), count("http://www.w3.org/2000/svg"));

    // The chart: a cycle and a year-to-date bar per group line, in order.
    std::vector<double> bars, groups;
    std::size_t cut = 0;
    const std::string value = "data-value=\"";
    for (std::size_t at = page_html.find(value); at != std::string::npos; at = page_html.find(value, at + 1)) {
      bars.push_back(std::stod(page_html.substr(at + value.size(), 24)));
    }
    if (c.chart) {
      for (const auto& page : listing.pages) {
        for (std::size_t i = 8; i < page.size() && page[i].find_first_not_of('-', 1) != std::string::npos; ++i) {
          const std::string record = page[i] + std::string(132, ' ');
          for (const std::size_t at : {20, 58}) {
            const double sales = field(record, at, at + 7);
            groups.push_back(sales);
            // Too wide a figure loses its leading digits: its cost and margin
            // then do not add up to it, and the chart says so.
            cut += std::abs(field(record, at + 8, at + 15) + field(record, at + 16, at + 23) - sales) > 0.05;
          }
        }
      }
      ASSERT_GT(groups.size(), 4u);
    }
    ASSERT_EQ(bars.size(), groups.size());
    EXPECT_EQ(count("leading digits lost)</title>"), cut);
    total_cut += cut;
    for (std::size_t i = 0; i < bars.size(); ++i) EXPECT_NEAR(bars[i], groups[i], 0.0051) << "bar " << i;
  }
  EXPECT_GT(total_cut, 0u);
  // Report 9 carries stock indexes ("1...") in column 1: they are text, and
  // its pages still break only at page headers.
  const Listing value_report = read_listing(read_file(report("09")), 134);
  EXPECT_GT(value_report.ones_in_column_one, static_cast<int>(value_report.pages.size()) * 2);
}

// Exports: a table row per record under the heading's names, values cut at
// their fixed columns (a description holding a comma stays one value), and
// every record in the PDF text.
TEST_F(Render, ExportsAsTables) {
  for (const std::string number : {"02", "06", "15"}) {
    SCOPED_TRACE(number);
    std::string bytes = read_file(report(number));
    if (number != "02") bytes.replace(128 + 13, 24, "HAMMER, CLAW 16 OZ      ");
    const fs::path input = *dir_ / "export.dat", html = *dir_ / "export.html", pdf = *dir_ / "export.pdf";
    write_file(input, bytes);
    ASSERT_EQ(run_invrender({input.string(), "-o", html.string()}, dir_->path()).exit_code, 0);
    ASSERT_EQ(run_invrender({input.string(), "-o", pdf.string()}, dir_->path()).exit_code, 0);
    const Listing records = read_listing(bytes, 128);
    const std::string page = read_file(html);

    const std::size_t body = page.find("<tbody>");
    ASSERT_NE(body, std::string::npos);
    const auto rows = split(page.substr(body), '\n');
    const std::size_t row_count =
        std::count_if(rows.begin(), rows.end(), [](auto& r) { return r.starts_with("<tr>"); });
    EXPECT_EQ(row_count, records.records.size() - 1);
    if (number != "02") { EXPECT_NE(rows[1].find("<td>HAMMER, CLAW 16 OZ</td>"), std::string::npos) << rows[1]; }
    EXPECT_NE(
        page.find(number == "15" ? "<th>StockIndex</th><th>LongName</th><th>Vendor Id</th>" : "<th>StockIndex</th>"),
        std::string::npos);

    // The PDF is a table of the same values in the same order: the record's
    // text without its blanks and commas, row after row.
    std::string pdf_text = run_process(tool("pdftotext"), {"-layout", pdf.string(), "-"}, dir_->path()).out;
    std::erase(pdf_text, ' ');
    std::erase(pdf_text, ',');
    for (const std::string& name : split(records.records.front(), ',')) {
      std::string squeezed = name;
      std::erase(squeezed, ' ');
      EXPECT_NE(pdf_text.find(squeezed), std::string::npos) << name;
    }
    std::size_t at = 0;
    for (std::string record : std::vector(records.records.begin() + 1, records.records.end())) {
      std::erase(record, ' ');
      std::erase(record, ',');
      at = pdf_text.find(record, at);
      ASSERT_NE(at, std::string::npos) << record;
    }
  }
}

// Files that are no report output: a clear message, exit status 1, and no
// output file, neither new nor half written, while an existing one stays.
TEST_F(Render, BadInputsLeaveNoOutput) {
  const std::string listing = read_file(report("01")).substr(0, 134 * 20);
  std::string control = listing;
  control[134 * 3 + 40] = '\0';
  std::string unix_lines = listing;
  for (std::size_t at = unix_lines.find("\r\n"); at != std::string::npos; at = unix_lines.find("\r\n", at)) {
    unix_lines.erase(at, 1);
  }
  std::string binary;
  for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 7919) % 251);
  struct Case {
    std::string name, bytes, message;
    std::vector<std::string> extra;
  };
  const std::vector<Case> cases = {
      {"empty", "", "empty", {}},
      {"binary", binary, "not a report file", {}},
      {"cut short", listing.substr(0, listing.size() - 1), "not a whole number of 134-byte lines", {}},
      {"line feeds only", unix_lines, "not a report file", {}},
      {"control byte", control, "line 4 holds the control byte 0x00 in column 41", {}},
      {"listing taken for an export", listing, "report 15 is a comma-separated export", {"--report", "15"}},
  };
  for (const Case& c : cases) {
    for (const std::string format : {"txt", "html", "pdf"}) {
      SCOPED_TRACE(c.name + " to " + format);
      TempDir dir;
      write_file(dir / "in.dat", c.bytes);
      write_file(dir / "kept.html", "earlier");
      std::vector<std::string> args = {"in.dat", "-o", "out." + format};
      if (format == "html") args = {"in.dat", "-o", "kept.html"};
      args.insert(args.end(), c.extra.begin(), c.extra.end());
      const auto result = run_invrender(args, dir.path());
      EXPECT_EQ(result.exit_code, 1);
      EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
      std::vector<std::string> left;
      for (const auto& entry : fs::directory_iterator(dir.path())) left.push_back(entry.path().filename().string());
      std::sort(left.begin(), left.end());
      EXPECT_EQ(left, (std::vector<std::string>{"in.dat", "kept.html"}));
      EXPECT_EQ(read_file(dir / "kept.html"), "earlier");
    }
  }
  TempDir dir;
  write_file(dir / "in.dat", listing);
  EXPECT_EQ(run_invrender({"in.dat", "-o", "missing/out.pdf"}, dir.path()).exit_code, 1);

  // A shorter run over an earlier, longer one leaves that run's pages after
  // its own: shown, with a note.
  std::string mixed = read_file(report("09"));
  mixed.replace(0, listing.size(), listing);
  write_file(dir / "mixed.dat", mixed);
  const auto result = run_invrender({"mixed.dat", "-o", "mixed.html"}, dir.path());
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_NE(result.err.find("pages 2 to "), std::string::npos) << result.err;
  EXPECT_NE(read_file(dir / "mixed.html").find("left over from an earlier, longer run"), std::string::npos);
}

}  // namespace
