// A file-system seam for tests that makes the Nth change to the files fail
// with a chosen errno, or stops all I/O from the Nth change on as a crash
// would.  Changes are counted over writes, flushes, truncations, renames and
// removals; reads, opens, locks and closes pass through.
//
// Power loss: the Env also keeps, for every file it opens by name, what it
// takes to put back the bytes that were last made durable (what the file
// held when first seen, then at each flush of it: the bytes each later write
// or truncation replaced) and whether its directory entry was (as first
// seen, then at each flush of the directory).  cut_power() then leaves the files as a
// power loss at that moment could: every 512-byte sector written since the
// file's last flush is dropped or kept as the Tear says, and an entry made
// or removed since its directory's last flush is undone.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "isam/env.h"

namespace isam_test {

class FaultEnv : public isam::Env {
 public:
  enum class Fault { kNone, kFail, kStop };

  // Makes change number `at` (counted from 1 from now on) fail with `error`
  // or stop everything.
  void arm(long at, Fault fault, int error = EIO) {
    changes_ = 0;
    at_ = at;
    fault_ = fault;
    error_ = error;
    stopped_ = false;
    fired_ = false;
  }
  long changes() const { return changes_; }
  // The number of the latest removal (the journal's, at a commit), or 0.
  long last_unlink() const { return last_unlink_; }
  bool stopped() const { return stopped_; }
  bool fired() const { return fired_; }

  ssize_t pread(int fd, void* buffer, std::size_t length, off_t offset) override {
    if (stopped_) return refuse();
    return Env::pread(fd, buffer, length, offset);
  }
  ssize_t pwrite(int fd, const void* buffer, std::size_t length, off_t offset) override {
    if (!change()) return -1;
    remember(fd, static_cast<std::size_t>(offset), length);
    return Env::pwrite(fd, buffer, length, offset);
  }
  // A flush is a change point, but the files need not reach the disk: a
  // power loss is simulated (see cut_power).
  int fsync(int fd) override {
    if (!change()) return -1;
    const auto it = names_.find(fd);
    if (it == names_.end()) return 0;
    if (std::filesystem::is_directory(it->second)) {
      for (auto& [name, durable] : files_)
        if (std::filesystem::path(name).parent_path() == it->second) durable.entry = std::filesystem::exists(name);
    } else if (const auto file = files_.find(it->second); file != files_.end()) {
      file->second.undo.clear();
    }
    return 0;
  }
  int ftruncate(int fd, off_t length) override {
    if (!change()) return -1;
    remember(fd, static_cast<std::size_t>(length), SIZE_MAX);
    return Env::ftruncate(fd, length);
  }
  int rename(const char* from, const char* to) override { return change() ? Env::rename(from, to) : -1; }
  int unlink(const char* path) override {
    if (!change()) return -1;
    last_unlink_ = changes_;
    const std::string name = std::filesystem::absolute(path).lexically_normal().string();
    if (const auto now = contents(name)) removed_[name] = *now;
    return Env::unlink(path);
  }
  int open(const char* path, int flags, int mode) override {
    if (stopped_) return refuse();
    const std::string name = std::filesystem::absolute(path).lexically_normal().string();
    const bool seen = files_.count(name) > 0;
    const bool existed = std::filesystem::exists(name);
    const int fd = Env::open(path, flags, mode);
    if (fd < 0) return fd;
    names_[fd] = name;
    if (!seen && !std::filesystem::is_directory(name)) files_[name].entry = existed;
    return fd;
  }
  int close(int fd) override {
    names_.erase(fd);
    return Env::close(fd);
  }

  // How a power loss treats the sectors written since a file's last flush.
  enum class Tear {
    kDropAll,     // none of them reached the disk
    kAllButLast,  // all but the last one of each file did
    kEveryOther,  // the first, third, fifth ... did
  };
  // Puts every file the Env has seen as a power loss now could leave it.
  void cut_power(Tear tear) {
    for (auto& [name, durable] : files_) {
      const auto now = contents(name);
      if (!durable.entry) {
        std::error_code ec;
        std::filesystem::remove(name, ec);
        continue;
      }
      const std::string& current = now ? *now : removed_[name];
      std::string old = current;  // the durable bytes: every change since the flush undone
      for (auto u = durable.undo.rbegin(); u != durable.undo.rend(); ++u) {
        if (old.size() < u->offset + u->bytes.size()) old.resize(u->offset + u->bytes.size(), '\0');
        old.replace(u->offset, u->bytes.size(), u->bytes);
        old.resize(u->size_before, '\0');
      }
      std::string result = tear == Tear::kDropAll ? old : current;
      if (tear != Tear::kDropAll) {
        old.resize(std::max(old.size(), current.size()), '\0');
        std::vector<std::size_t> written;
        for (std::size_t at = 0; at < current.size(); at += kSector)
          if (old.compare(at, kSector, current, at, kSector) != 0) written.push_back(at);
        for (std::size_t i = 0; i < written.size(); ++i) {
          const bool lost = tear == Tear::kAllButLast ? i + 1 == written.size() : i % 2 == 1;
          const std::size_t length = std::min(kSector, result.size() - written[i]);
          if (lost) result.replace(written[i], length, old, written[i], length);
        }
      }
      put_file(name, result);
    }
  }

  // Writes the file's whole contents in place, without emptying it first (a
  // file emptied and written again is flushed at its close by some file
  // systems, which would make a sweep of thousands of states crawl).
  static void put_file(const std::string& name, const std::string& bytes) {
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return;
    for (std::size_t done = 0; done < bytes.size();) {
      const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    (void)::ftruncate(fd, static_cast<off_t>(bytes.size()));
    ::close(fd);
  }

 private:
  int refuse() {
    errno = EIO;
    return -1;
  }
  // Counts a change; false (errno set) when it must not happen.
  bool change() {
    if (stopped_) return refuse(), false;
    ++changes_;
    if (fault_ == Fault::kNone || changes_ != at_) return true;
    fired_ = true;
    if (fault_ == Fault::kStop) stopped_ = true;
    errno = fault_ == Fault::kStop ? EIO : error_;
    return false;
  }

  // What a write or truncation replaced: the file's length before it and
  // the bytes it overwrote or cut off.
  struct Undo {
    std::size_t size_before = 0;
    std::size_t offset = 0;
    std::string bytes;
  };
  struct Durable {
    bool entry = false;      // the directory entry is durable
    std::vector<Undo> undo;  // the changes since the last flush, in order
  };
  // Keeps what the change of `length` bytes at `offset` of fd's file replaces.
  void remember(int fd, std::size_t offset, std::size_t length) {
    const auto it = names_.find(fd);
    if (it == names_.end() || !files_.count(it->second)) return;
    const off_t size = Env::file_size(fd);
    Undo u{static_cast<std::size_t>(std::max<off_t>(size, 0)), offset, {}};
    if (offset < u.size_before) {
      u.bytes.resize(std::min(length, u.size_before - offset));
      const ssize_t got = ::pread(fd, u.bytes.data(), u.bytes.size(), static_cast<off_t>(offset));
      u.bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    }
    files_[it->second].undo.push_back(std::move(u));
  }
  static constexpr std::size_t kSector = 512;
  static std::optional<std::string> contents(const std::string& name) {
    if (std::filesystem::is_directory(name)) return std::nullopt;
    std::ifstream in(name, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::map<int, std::string> names_;            // open descriptors, by absolute name
  std::map<std::string, Durable> files_;        // every file seen
  std::map<std::string, std::string> removed_;  // a removed file's last contents
  long changes_ = 0;
  long at_ = 0;
  Fault fault_ = Fault::kNone;
  int error_ = EIO;
  bool stopped_ = false;
  bool fired_ = false;
  long last_unlink_ = 0;
};

}  // namespace isam_test
