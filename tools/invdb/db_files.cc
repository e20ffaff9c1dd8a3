#include "invdb/db_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "isam/call_interface.h"
#include "isam/env.h"
#include "report_common/stop_signal.h"

namespace invdb::files {

std::string system_reason(int error) {
  if (error == ENOSPC) return "the disk is full (" + std::string(std::strerror(error)) + ")";
  if (error == EIO) return "the device failed (" + std::string(std::strerror(error)) + ")";
  return std::strerror(error);
}

int Session::remaining_ms() {
  const long long now =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count();
  if (deadline_ms_ < 0) deadline_ms_ = now + wait_ms_;
  return static_cast<int>(std::max(0LL, deadline_ms_ - now));
}

void Session::say_waiting() {
  if (said_) return;
  said_ = true;
  std::fprintf(notices_, "invdb: waiting for another program using %s\n", shown.c_str());
  std::fflush(notices_);
}

bool load_file(const std::filesystem::path& path, std::string_view shown, FileImage& image, std::string& error,
               Session* session) {
  // The index is NAME.XXX; the record file NAME: either names the store.
  const std::string file = path.string();
  const bool index = file.ends_with(isam::kIndexSuffix);
  const std::string store = index ? file.substr(0, file.size() - isam::kIndexSuffix.size()) : file;
  isam::StoreOptions options;
  options.lock_wait_ms = session ? session->remaining_ms() : kLockWaitMs;
  options.on_notice = [](std::string_view line) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
  };
  if (session) options.on_wait = [session] { session->say_waiting(); };
  options.stop = [] { return report::stop::requested() != 0; };
  const isam::Status status = isam::audit::load(
      store, index ? isam::format::FileKind::kIndex : isam::format::FileKind::kRecords, options, image);
  image.name = shown;
  // A stop is told by the command, in one line.
  if (!status)
    error = status.kind() == isam::Status::Kind::kInterrupted ? "" : std::string(shown) + ": " + status.words();
  return status.is_ok();
}

}  // namespace invdb::files
