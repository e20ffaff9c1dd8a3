// Direct, read-only access to the two files of a database through the
// library's audit layer (isam/audit.h): the checker, `stat` and
// `dump` read the bytes themselves.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "isam/audit.h"
#include "isam/file_format.h"

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

// What the opens of one command share: one wait for another program using
// the database, all told (the time runs from the first lock the command
// waits for, and each later lock waits only for what is left), one line
// saying that it waits, once a wait has lasted a second, and whether the
// command committed a change (for the line a stop by a signal prints).
class Session {
 public:
  Session(int wait_ms, std::FILE* notices) : wait_ms_(wait_ms), notices_(notices) {}
  // The database as the user named it, for the waiting line.
  std::string shown;
  // A writer's close committed its change.
  bool changed = false;
  // The command has said that a signal stopped it.
  bool told_stop = false;
  // Milliseconds of the wait left (the whole wait until the first call).
  int remaining_ms();
  // "invdb: waiting for another program using S", the first time.
  void say_waiting();

 private:
  int wait_ms_;
  std::FILE* notices_;
  bool said_ = false;
  long long deadline_ms_ = -1;  // on the steady clock; -1: not started
};

// An errno as a message: a full disk and a failing device read differently.
std::string system_reason(int error);

// A whole file in memory (see isam/audit.h).
using FileImage = isam::audit::FileImage;

// Reads the whole file under a shared lock, after rolling back a change that
// a writer left cut short; `shown` names it in messages and findings.  The
// lock is waited for as `session` allows (kLockWaitMs without one).
bool load_file(const std::filesystem::path& path, std::string_view shown, FileImage& image, std::string& error,
               Session* session = nullptr);

using isam::audit::Header;
using isam::audit::read_header;

inline std::uint32_t first_data_address(std::uint16_t map_blocks) { return isam::format::data_start_for(map_blocks); }
// Whether the map marks the block in use; false when the map block is missing.
inline bool map_bit(const FileImage& image, std::uint16_t, std::uint32_t address) { return image.map_bit(address); }

using isam::audit::compare_keys;
using isam::audit::printable_key;

}  // namespace invdb::files
