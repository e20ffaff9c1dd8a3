#include "invrender/invrender.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
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
    "usage: invrender REPORT_FILE [-o OUTPUT] [--format text|html|pdf|xlsx] [--report NN]\n"
    "                 [--encoding utf-8|latin1]\n"
    "\n"
    "Shows a report file written by invreport (OUTF21.DAT, KOROt15.csv) for\n"
    "reading: plain text with a form feed between pages, one self-contained\n"
    "HTML page, a PDF with one landscape page per report page (the exports as\n"
    "tables), or a spreadsheet whose figures are number cells.  Reports 12, 13\n"
    "and 14 also get a bar chart of their groups' sales (HTML, PDF, xlsx).\n"
    "A report that selected no item says so.\n"
    "\n"
    "  -o OUTPUT        write there (written whole, or not at all; a device such\n"
    "                   as /dev/stdout is written into, never replaced); without\n"
    "                   it, text and HTML go to standard output\n"
    "  --format F       text, html, pdf or xlsx; without it, taken from OUTPUT's\n"
    "                   extension (.html, .htm, .pdf, .xlsx; anything else is text)\n"
    "  --report NN      the report the file holds (1 to 15); without it, it is\n"
    "                   recognised from the page header, the heading line or the\n"
    "                   file's name (KOROt15.csv); refused when the file shows\n"
    "                   another report\n"
    "  --encoding E     text output: utf-8 (the default: the report's Latin-1\n"
    "                   characters converted) or latin1 (the bytes as stored)\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 bad command line.\n";

enum class Format { kText, kHtml, kPdf, kXlsx };

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
    error = "cannot open " + path + ": " + in_words(errno);
    return false;
  }
  char block[1 << 16];
  for (std::size_t n; (n = std::fread(block, 1, sizeof block, in)) > 0;) bytes.append(block, n);
  const bool ok = std::ferror(in) == 0;
  if (!ok) error = "cannot read " + path + ": " + in_words(errno);
  std::fclose(in);
  return ok;
}

struct Output {
  Format format = Format::kText;
  bool latin1 = false;  // text: the bytes as stored
};

bool render(Output how, const Report& report, std::string_view source, std::FILE* out, std::string& error) {
  switch (how.format) {
    case Format::kText: return render_text(report, how.latin1, out, error);
    case Format::kHtml: return render_html(report, source, out, error);
    case Format::kPdf: return render_pdf(report, out, error);
    case Format::kXlsx: break;  // written to a file by name, never to a stream
  }
  return false;
}

// Renders into a new file in `dir` and flushes it to the disk; its name is
// left in `temp`.  On failure the file is removed and `cause` says why.
bool render_to_new_file(const std::filesystem::path& dir, const std::string& stem, Output how, const Report& report,
                        std::string_view source, std::string& temp, std::string& cause) {
  temp = (dir / ("." + stem + ".XXXXXX")).string();
  const int fd = mkstemp(temp.data());
  if (fd < 0) {
    cause = "cannot create a file in " + dir.string() + ": " + in_words(errno);
    return false;
  }
  fchmod(fd, 0644);
  bool ok = true;
  if (how.format == Format::kXlsx) {
    // The spreadsheet library writes the file by name; the descriptor is
    // only reopened to flush it to the disk.
    close(fd);
    ok = render_xlsx(report, source, temp, cause);
    const int again = ok ? open(temp.c_str(), O_RDONLY) : -1;
    if (ok && (again < 0 || fsync(again) != 0)) {
      cause = in_words(errno);
      ok = false;
    }
    if (again >= 0) close(again);
  } else {
    std::FILE* out = fdopen(fd, "wb");
    if (out == nullptr) {
      cause = in_words(errno);
      close(fd);
      ok = false;
    } else {
      ok = render(how, report, source, out, cause);
      errno = 0;
      if (ok && (std::fflush(out) != 0 || fsync(fd) != 0)) {
        cause = in_words(errno);
        ok = false;
      }
      errno = 0;
      if (std::fclose(out) != 0 && ok) {
        cause = in_words(errno);
        ok = false;
      }
    }
  }
  if (!ok) std::remove(temp.c_str());
  return ok;
}

// Copies the finished file `from` into `target`, which is no regular file
// (a device, a pipe, a terminal) and so cannot be replaced by a rename.
bool copy_into(const std::string& from, const std::filesystem::path& target, std::string& cause) {
  std::FILE* in = std::fopen(from.c_str(), "rb");
  std::FILE* out = in != nullptr ? std::fopen(target.c_str(), "wb") : nullptr;
  bool ok = in != nullptr && out != nullptr;
  if (!ok) cause = in_words(errno);
  char block[1 << 16];
  for (std::size_t n; ok && (n = std::fread(block, 1, sizeof block, in)) > 0;) {
    errno = 0;
    if (std::fwrite(block, 1, n, out) != n) {
      cause = in_words(errno);
      ok = false;
    }
  }
  errno = 0;
  if (ok && (std::ferror(in) != 0 || std::fflush(out) != 0)) {
    cause = in_words(errno);
    ok = false;
  }
  if (out != nullptr && std::fclose(out) != 0 && ok) {
    cause = in_words(errno);
    ok = false;
  }
  if (in != nullptr) std::fclose(in);
  return ok;
}

// Writes into a new file beside `target` and renames it over `target` only
// when everything was written and flushed to the disk, so a failure never
// leaves a partial file.  A target that exists and is no regular file (say
// /dev/stdout) is never replaced: the finished file, made in the temporary
// directory, is copied into it.  Every failure names the file and its cause.
bool write_atomically(const std::filesystem::path& target, Output how, const Report& report, std::string_view source,
                      std::string& error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const auto type = fs::status(target, ec).type();
  // A link is followed: the file it names is replaced, the link stays.  A
  // name under /dev or /proc (/dev/stdout, /proc/self/fd/1) stands for an
  // open file that a rename would not reach.
  fs::path resolved = fs::is_symlink(fs::symlink_status(target, ec)) ? fs::canonical(target, ec) : target;
  if (resolved.empty()) resolved = target;
  const std::string absolute = fs::absolute(target, ec).lexically_normal().string();
  const bool exists = type != fs::file_type::not_found && type != fs::file_type::none;
  const bool special = exists && (type != fs::file_type::regular || absolute.starts_with("/dev/") ||
                                  absolute.starts_with("/proc/") || resolved.string().starts_with("/proc/"));
  if (type == fs::file_type::directory) {
    error = "cannot write " + target.string() + ": it is a directory";
    return false;
  }
  std::string temp, cause;
  if (special) {
    const bool ok = render_to_new_file(fs::temp_directory_path(ec), "invrender", how, report, source, temp, cause) &&
                    copy_into(temp, target, cause);
    std::remove(temp.c_str());
    if (!ok) error = "cannot write " + target.string() + ": " + cause;
    return ok;
  }
  const fs::path dir = resolved.has_parent_path() ? resolved.parent_path() : ".";
  bool ok = render_to_new_file(dir, resolved.filename().string(), how, report, source, temp, cause);
  if (ok && std::rename(temp.c_str(), resolved.c_str()) != 0) {
    cause = "cannot rename the finished file into place: " + in_words(errno);
    std::remove(temp.c_str());
    ok = false;
  }
  if (!ok) {
    error = "cannot write " + target.string() + ": " + (cause.empty() ? in_words(0) : cause) + " (no file was written" +
            (fs::exists(target, ec) ? "; the earlier one is kept)" : ")");
  }
  return ok;
}

}  // namespace

int run(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  std::string input, output, format_name, encoding;
  int number = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool takes_value = arg == "-o" || arg == "--format" || arg == "--report" || arg == "--encoding";
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
      } else if (arg == "--encoding") {
        encoding = value;
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

  Output how;
  Format& format = how.format;
  if (format_name.empty()) {
    std::string ext = std::filesystem::path(output).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".html" || ext == ".htm") format = Format::kHtml;
    if (ext == ".pdf") format = Format::kPdf;
    if (ext == ".xlsx") format = Format::kXlsx;
  } else if (format_name == "html") {
    format = Format::kHtml;
  } else if (format_name == "pdf") {
    format = Format::kPdf;
  } else if (format_name == "xlsx") {
    format = Format::kXlsx;
  } else if (format_name != "text") {
    return usage(err, "--format is text, html, pdf or xlsx, not \"" + format_name + "\"");
  }
  if (encoding == "latin1" || encoding == "latin-1" || encoding == "iso-8859-1") {
    how.latin1 = true;
  } else if (!encoding.empty() && encoding != "utf-8" && encoding != "utf8") {
    return usage(err, "--encoding is utf-8 or latin1, not \"" + encoding + "\"");
  }
  if (!encoding.empty() && format != Format::kText) {
    return usage(err, "--encoding is for text output; HTML, PDF and xlsx are always UTF-8");
  }
  if (format == Format::kPdf && output.empty()) return usage(err, "a PDF needs an output file: -o FILE.pdf");
  if (format == Format::kXlsx && output.empty()) {
    return usage(err, "a spreadsheet needs an output file: -o FILE.xlsx");
  }

  std::string bytes, error;
  Report report;
  if (!read_whole(input, bytes, error)) return fail(err, error);
  const std::string source = std::filesystem::path(input).filename().string();
  if (!read_report(bytes, number, source, report, error)) return fail(err, input + ": " + error);
  for (const std::string& note : report.notes) std::fprintf(err, "invrender: %s: %s\n", input.c_str(), note.c_str());
  if (output.empty()) {
    if (render(how, report, source, out, error)) {
      errno = 0;
      if (std::fflush(out) == 0) return 0;
      error = in_words(errno);
    }
    return fail(err, "cannot write to standard output: " + error);
  }
  return write_atomically(output, how, report, source, error) ? 0 : fail(err, error);
}

}  // namespace invrender
