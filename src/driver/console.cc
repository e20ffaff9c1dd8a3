#include "driver/console.h"

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

}  // namespace driver
