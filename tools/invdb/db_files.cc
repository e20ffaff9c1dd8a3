#include "invdb/db_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace invdb::files {

bool load_file(const std::filesystem::path& path, std::string_view shown, FileImage& image, std::string& error) {
  // The index is NAME.XXX; the record file NAME: either names the store.
  const std::string file = path.string();
  const bool index = file.ends_with(isam::kIndexSuffix);
  const std::string store = index ? file.substr(0, file.size() - isam::kIndexSuffix.size()) : file;
  isam::StoreOptions options;
  options.lock_wait_ms = kLockWaitMs;
  options.on_notice = [](std::string_view line) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
  };
  const isam::Status status = isam::inspect::load(
      store, index ? isam::format::FileKind::kIndex : isam::format::FileKind::kRecords, options, image);
  image.name = shown;
  if (!status) error = std::string(shown) + ": " + status.words();
  return status.is_ok();
}

Header read_header(const FileImage& image) {
  const isam::format::HeaderView h = image.header();
  return {h.root(), h.key_length(), h.node_capacity(), h.map_blocks(), h.open_mark()};
}

}  // namespace invdb::files
