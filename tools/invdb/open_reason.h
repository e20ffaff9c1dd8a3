// Why a database file cannot be opened, in words: the tool looks at the file
// itself when the library refuses it, since the library's calls only report
// that an open failed.
#pragma once

#include <filesystem>
#include <string>

namespace invdb {

enum class DbFile { kIndex, kRecords };

// The first reason found: no such file, permission denied (for reading, or
// for writing too), too short to hold a header, or the header field that is
// out of range; empty when the file looks sound.
std::string open_failure_reason(const std::filesystem::path& path, DbFile kind, bool for_writing);

}  // namespace invdb
