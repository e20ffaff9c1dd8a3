#include "driver/console.h"

#include <cerrno>
#include <cstring>

namespace driver {

void write_line(std::FILE* out, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), out);
  std::fputc('\n', out);
}

std::string read_line(std::FILE* in, std::size_t keep) {
  std::string line;
  for (int c = std::fgetc(in); c != EOF && c != '\n'; c = std::fgetc(in))
    if (line.size() < keep) line += static_cast<char>(c);
  return line;
}

std::string flush_console(std::FILE* out) {
  // A write that failed earlier left the stream's error flag set; the flush
  // fails anew while the buffered bytes still cannot go out.
  errno = 0;
  const bool flushed = std::fflush(out) == 0;
  if (flushed && !std::ferror(out)) return {};
  return (!flushed && errno != 0) ? std::strerror(errno) : "write error";
}

}  // namespace driver
