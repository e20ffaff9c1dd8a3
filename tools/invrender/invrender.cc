#include "invrender/invrender.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include "invrender/render.h"
#include "invrender/report_file.h"

namespace invrender {

namespace {

constexpr const char* kHelp =
    "usage: invrender REPORT_FILE [-o OUTPUT] [--format text|html|pdf] [--report NN]\n"
    "\n"
    "Shows a report file written by invreport (OUTF21.DAT, KOROt15.csv) for\n"
    "reading: plain text with a form feed between pages, one self-contained\n"
    "HTML page, or a PDF with one landscape page per report page.  Reports 12,\n"
    "13 and 14 also get a bar chart of their groups' sales (HTML and PDF).\n"
    "\n"
    "  -o OUTPUT        write there (written whole, or not at all); without it,\n"
    "                   text and HTML go to standard output\n"
    "  --format F       text, html or pdf; without it, taken from OUTPUT's\n"
    "                   extension (.html, .htm, .pdf; anything else is text)\n"
    "  --report NN      the report the file holds (1 to 15); without it, it is\n"
    "                   recognised from the page header or the heading line\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 bad command line.\n";

enum class Format { kText, kHtml, kPdf };

int fail(std::FILE* err, const std::string& message) {
  std::fprintf(err, "invrender: %s\n", message.c_str());
  return 1;
}

int usage(std::FILE* err, const std::string& message) {
  std::fprintf(err, "invrender: %s\n(invrender --help shows the usage)\n", message.c_str());
  return 2;
}

bool read_whole(const std::string& path, std::string& bytes, std::string& error) {
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  char block[1 << 16];
  for (std::size_t n; (n = std::fread(block, 1, sizeof block, in)) > 0;) bytes.append(block, n);
  const bool ok = std::ferror(in) == 0;
  if (!ok) error = "cannot read " + path + ": " + std::strerror(errno);
  std::fclose(in);
  return ok;
}

bool render(Format format, const Report& report, std::string_view source, std::FILE* out, std::string& error) {
  switch (format) {
    case Format::kText: return render_text(report, out, error);
    case Format::kHtml: return render_html(report, source, out, error);
    case Format::kPdf: return render_pdf(report, out, error);
  }
  return false;
}

// Writes into a new file beside `target` and renames it over `target` only
// when everything was written, so a failure never leaves a partial file.
bool write_atomically(const std::filesystem::path& target, Format format, const Report& report, std::string_view source,
                      std::string& error) {
  const std::filesystem::path dir = target.has_parent_path() ? target.parent_path() : ".";
  std::string temp = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = mkstemp(temp.data());
  if (fd < 0) {
    error = "cannot create a file in " + dir.string() + ": " + std::strerror(errno);
    return false;
  }
  fchmod(fd, 0644);
  std::FILE* out = fdopen(fd, "wb");
  bool ok = out != nullptr && render(format, report, source, out, error);
  if (out != nullptr) {
    if (std::fflush(out) != 0 || fsync(fd) != 0) ok = false;
    if (std::fclose(out) != 0) ok = false;
  } else {
    close(fd);
  }
  if (ok && std::rename(temp.c_str(), target.c_str()) != 0) {
    error = "cannot write " + target.string() + ": " + std::strerror(errno);
    ok = false;
  } else if (!ok && error.empty()) {
    error = "cannot write " + target.string() + ": " + std::strerror(errno);
  }
  if (!ok) std::remove(temp.c_str());
  return ok;
}

}  // namespace

int run(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  std::string input, output, format_name;
  int number = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool takes_value = arg == "-o" || arg == "--format" || arg == "--report";
    if (arg == "-h" || arg == "--help") {
      std::fputs(kHelp, out);
      return 0;
    }
    if (takes_value) {
      if (i + 1 >= argc) return usage(err, std::string(arg) + " needs a value");
      const std::string_view value = argv[++i];
      if (arg == "-o") {
        output = value;
      } else if (arg == "--format") {
        format_name = value;
      } else {
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
        if (value.empty() || ec != std::errc() || end != value.data() + value.size() || number < 1 || number > 15) {
          return usage(err, "--report wants a report number from 1 to 15, not \"" + std::string(value) + "\"");
        }
      }
    } else if (arg.starts_with("-") && arg != "-") {
      return usage(err, "unknown option " + std::string(arg));
    } else if (input.empty()) {
      input = arg;
    } else {
      return usage(err, "one report file at a time (" + input + " and " + std::string(arg) + ")");
    }
  }
  if (input.empty()) {
    std::fputs(kHelp, err);
    return 2;
  }
  if (output == "-") output.clear();

  Format format = Format::kText;
  if (format_name.empty()) {
    const std::string ext = std::filesystem::path(output).extension().string();
    if (ext == ".html" || ext == ".htm") format = Format::kHtml;
    if (ext == ".pdf") format = Format::kPdf;
  } else if (format_name == "html") {
    format = Format::kHtml;
  } else if (format_name == "pdf") {
    format = Format::kPdf;
  } else if (format_name != "text") {
    return usage(err, "--format is text, html or pdf, not \"" + format_name + "\"");
  }
  if (format == Format::kPdf && output.empty()) return usage(err, "a PDF needs an output file: -o FILE.pdf");

  std::string bytes, error;
  Report report;
  if (!read_whole(input, bytes, error)) return fail(err, error);
  if (!read_report(bytes, number, report, error)) return fail(err, input + ": " + error);
  for (const std::string& note : report.notes) std::fprintf(err, "invrender: %s: %s\n", input.c_str(), note.c_str());
  const std::string source = std::filesystem::path(input).filename().string();
  if (output.empty()) {
    return render(format, report, source, out, error) && std::fflush(out) == 0 ? 0 : fail(err, error);
  }
  return write_atomically(output, format, report, source, error) ? 0 : fail(err, error);
}

}  // namespace invrender
