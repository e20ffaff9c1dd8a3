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
  const isam::format::HeaderView h(image.block(isam::format::kHeaderAddress));
  return {h.root(), h.key_length(), h.node_capacity(), h.map_blocks(), h.open_mark()};
}

bool map_bit(const FileImage& image, std::uint16_t map_blocks, std::uint32_t address) {
  if (address == 0 || address >= map_end(map_blocks)) return false;
  const std::uint32_t map_address = isam::format::map_block_of(address);
  if (!image.has_block(map_address)) return false;
  return isam::format::map_bit_set(image.block(map_address), isam::format::map_bit_of(address));
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
