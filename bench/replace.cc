// Writes a copy of a file beside its destination and renames it over the
// destination, as a report replaces the previous report:
//   replace SOURCE DESTINATION
// (DESTINATION.new is written in 64 KiB chunks, closed, then renamed.)
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: replace SOURCE DESTINATION\n");
    return 2;
  }
  const int in = open(argv[1], O_RDONLY);
  const std::string temp = std::string(argv[2]) + ".new";
  const int out = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0) return 1;
  std::vector<char> buffer(64 * 1024);
  for (ssize_t n; (n = read(in, buffer.data(), buffer.size())) > 0;)
    if (write(out, buffer.data(), static_cast<std::size_t>(n)) != n) return 1;
  return close(out) == 0 && rename(temp.c_str(), argv[2]) == 0 ? 0 : 1;
}
