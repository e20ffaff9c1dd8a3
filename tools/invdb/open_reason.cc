#include "invdb/open_reason.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "invdb/db_files.h"

namespace invdb {

namespace {

std::string system_reason(int error) {
  switch (error) {
    case ENOENT: return "no such file";
    case EACCES: return "permission denied";
    default: return files::system_reason(error);
  }
}

std::string num(long v) { return std::to_string(v); }

// The header's fields against what the library accepts at open.
std::string header_reason(const files::FileImage& image, DbFile kind) {
  namespace format = isam::format;
  const format::HeaderView h(image.block(format::kHeaderAddress));
  if (h.map_blocks() < 1 || h.map_blocks() > format::kMaxMapBlocks)
    return "not a database file: the header's map block count " + num(h.map_blocks()) + " is out of range (1 to " +
           num(format::kMaxMapBlocks) + ")";
  const std::uint32_t first = h.data_start();
  if (!image.has_block(first - 2))
    return "too short for the " + num(h.map_blocks()) + " map blocks its header names (" + num(image.bytes.size()) +
           " bytes)";
  if (kind == DbFile::kRecords) return "";
  if (h.key_length() < 1 || h.key_length() > isam::kMaxKeyLength)
    return "not an index file: the header's key length " + num(h.key_length()) + " is out of range (1 to " +
           num(isam::kMaxKeyLength) + ")";
  const int capacity = format::node_capacity_for(h.key_length());
  if (h.node_capacity() != capacity)
    return "not an index file: the header's node capacity " + num(h.node_capacity()) +
           " does not match its key length " + num(h.key_length()) + " (" + num(capacity) + " expected)";
  if (h.root() % 2 == 0 || h.root() < first)
    return "damaged: the header's root node " + num(h.root()) + " is not a node address (odd, from " + num(first) + ")";
  if (!image.has_block(h.root())) return "damaged: the root node " + num(h.root()) + " lies past the end of the file";
  const format::NodeView root(image.block(h.root()), h.key_length());
  if (root.count() < 1 || root.count() > capacity)
    return "damaged: the root node " + num(h.root()) + " holds " + num(root.count()) + " entries (1 to " +
           num(capacity) + " fit)";
  return "";
}

}  // namespace

std::string open_failure_reason(const std::filesystem::path& path, DbFile kind, bool for_writing) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return system_reason(errno);
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  const int fd = ::open(path.c_str(), for_writing ? O_RDWR : O_RDONLY);
  if (fd < 0) return system_reason(errno);
  ::close(fd);
  // Read as it is: no lock to wait for, no journal rolled back.
  files::FileImage image;
  std::ifstream in(path, std::ios::binary);
  if (!in) return system_reason(errno);
  image.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) return "read error";
  if (image.bytes.size() < static_cast<std::size_t>(isam::kBlockSize))
    return "too short to hold a header (" + num(static_cast<long>(image.bytes.size())) + " bytes)";
  return header_reason(image, kind);
}

}  // namespace invdb
