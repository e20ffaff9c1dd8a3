#include "invdb/db_files.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace invdb::files {

bool load_file(const std::filesystem::path& path, std::string_view shown, FileImage& image, std::string& error) {
  image.name = shown;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = image.name + ": cannot open: " + std::strerror(errno);
    return false;
  }
  image.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    error = image.name + ": read error";
    return false;
  }
  if (image.bytes.size() < kBlockSize) {
    error = image.name + ": too short to hold a header (" + std::to_string(image.bytes.size()) + " bytes)";
    return false;
  }
  return true;
}

Header read_header(const FileImage& image) {
  return {image.u16(0), image.u16(2), image.u16(4), image.u16(6), image.u16(8)};
}

std::uint32_t map_end(std::uint16_t map_blocks) {
  return std::min<std::uint32_t>(4096u * map_blocks, kLastAddress + 1);
}

bool map_bit(const FileImage& image, std::uint16_t map_blocks, std::uint32_t address) {
  if (address == 0 || address >= map_end(map_blocks)) return false;
  const std::uint32_t map_address = 2 * ((address - 1) / 4096) + 3;
  const std::uint32_t bit = ((address - 1) / 2) % 2048;
  if (!image.has_block(map_address)) return false;
  return (image.block(map_address)[bit / 8] & (0x80 >> (bit % 8))) != 0;
}

int compare_keys(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  const int c = n == 0 ? 0 : std::memcmp(a.data(), b.data(), n);
  if (c != 0) return c;
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

std::string printable_key(std::string_view key) {
  while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
  std::string out = "\"";
  for (unsigned char c : key) {
    if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out + "\"";
}

}  // namespace invdb::files
