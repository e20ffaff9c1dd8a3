// Direct, read-only access to the two files of a database through the
// library's inspection layer (isam/inspect.h): the checker, `stat` and
// `dump` read the bytes themselves.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "isam/file_format.h"
#include "isam/inspect.h"

namespace invdb::files {

using isam::kBlockSize;
using isam::format::kDeleted;
using isam::format::kLastAddress;
using isam::format::kLeafFlag;
using isam::format::kMaxLevels;
using isam::format::map_end;
using BlockView = isam::format::BlockView;
// An index node, read in place.
using Node = isam::format::NodeView;

// How long a command waits for another program using the database before
// it gives up with "in use by another program".
inline constexpr int kLockWaitMs = 5000;

// A whole file in memory (see isam/inspect.h).
using FileImage = isam::inspect::FileImage;

// Reads the whole file under a shared lock, after rolling back a change that
// a writer left cut short; `shown` names it in messages and findings.
bool load_file(const std::filesystem::path& path, std::string_view shown, FileImage& image, std::string& error);

struct Header {
  std::uint16_t root = 0;           // index only
  std::uint16_t key_length = 0;     // index only
  std::uint16_t node_capacity = 0;  // index only
  std::uint16_t map_blocks = 0;
  std::uint16_t open_mark = 0;
};
// The header fields; the image must hold at least one block.
Header read_header(const FileImage& image);

inline std::uint32_t first_data_address(std::uint16_t map_blocks) { return isam::format::data_start_for(map_blocks); }
// Whether the map marks the block in use; false when the map block is missing.
inline bool map_bit(const FileImage& image, std::uint16_t, std::uint32_t address) { return image.map_bit(address); }

using isam::inspect::compare_keys;
using isam::inspect::printable_key;

}  // namespace invdb::files
