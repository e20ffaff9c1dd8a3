// A file-system seam for tests that makes the Nth change to the files fail
// with a chosen errno, or stops all I/O from the Nth change on as a crash
// would.  Changes are counted over writes, flushes, truncations, renames and
// removals; reads, opens, locks and closes pass through.
#pragma once

#include <cerrno>

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
    return Env::pwrite(fd, buffer, length, offset);
  }
  // A flush is a change point, but the files need not reach the disk: a
  // stop is simulated, not a power loss.
  int fsync(int) override { return change() ? 0 : -1; }
  int ftruncate(int fd, off_t length) override { return change() ? Env::ftruncate(fd, length) : -1; }
  int rename(const char* from, const char* to) override { return change() ? Env::rename(from, to) : -1; }
  int unlink(const char* path) override {
    if (!change()) return -1;
    last_unlink_ = changes_;
    return Env::unlink(path);
  }
  int open(const char* path, int flags, int mode) override {
    if (stopped_) return refuse();
    return Env::open(path, flags, mode);
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

  long changes_ = 0;
  long at_ = 0;
  Fault fault_ = Fault::kNone;
  int error_ = EIO;
  bool stopped_ = false;
  bool fired_ = false;
  long last_unlink_ = 0;
};

}  // namespace isam_test
