// The words for a header or root that the format does not allow.
#include "isam/file_format.h"

namespace isam::format {
namespace {

std::string num(long v) { return std::to_string(v); }

bool has_block(std::uint64_t file_size, std::uint32_t address) {
  return address >= 1 && offset_of(address) + kBlockSize <= file_size;
}

}  // namespace

std::string open_fault_words(BlockView header, FileKind kind, std::uint64_t file_size, const std::uint8_t* root) {
  const HeaderView h(header);
  const HeaderFault fault = header_fault(header, kind);
  if (fault == HeaderFault::kMapBlocks)
    return "not a database file: the header's map block count " + num(h.map_blocks()) + " is out of range (1 to " +
           num(kMaxMapBlocks) + ")";
  const std::uint32_t first = h.data_start();
  if (!has_block(file_size, first - 2))
    return "too short for the " + num(h.map_blocks()) + " map blocks its header names (" +
           num(static_cast<long>(file_size)) + " bytes)";
  if (kind == FileKind::kRecords) return "";
  const int capacity = node_capacity_for(h.key_length());
  switch (fault) {
    case HeaderFault::kKeyLength:
      return "not an index file: the header's key length " + num(h.key_length()) + " is out of range (1 to " +
             num(kMaxKeyLength) + ")";
    case HeaderFault::kNodeCapacity:
      return "not an index file: the header's node capacity " + num(h.node_capacity()) +
             " does not match its key length " + num(h.key_length()) + " (" + num(capacity) + " expected)";
    case HeaderFault::kRoot:
      return "damaged: the header's root node " + num(h.root()) + " is not a node address (odd, from " + num(first) +
             ")";
    default: break;
  }
  if (!has_block(file_size, h.root()))
    return "damaged: the root node " + num(h.root()) + " lies past the end of the file";
  if (root) {
    const NodeView node(BlockView(root, kBlockSize), h.key_length());
    if (node.count() < 1 || node.count() > capacity)
      return "damaged: the root node " + num(h.root()) + " holds " + num(node.count()) + " entries (1 to " +
             num(capacity) + " fit)";
  }
  return "";
}

}  // namespace isam::format
