// The operating-system calls the library makes on its files, behind one
// seam.  The library never calls the system directly: every open, transfer,
// flush, truncation, rename, removal and lock goes through an Env, so a test
// can make any one of them fail or stop all further I/O as a crash would,
// and a faster read path can be put underneath without touching the callers.
//
// Each call returns what the system call returns: a descriptor, a byte
// count or 0 on success, -1 with errno set on failure.  Transfers may move
// any number of bytes at any offset.
#pragma once

#include <sys/types.h>

#include <cstddef>

namespace isam {

class Env {
 public:
  virtual ~Env() = default;

  virtual int open(const char* path, int flags, int mode);
  virtual int close(int fd);
  virtual ssize_t pread(int fd, void* buffer, std::size_t length, off_t offset);
  virtual ssize_t pwrite(int fd, const void* buffer, std::size_t length, off_t offset);
  virtual int fsync(int fd);
  virtual int ftruncate(int fd, off_t length);
  // The file's length in bytes, or -1.
  virtual off_t file_size(int fd);
  virtual int rename(const char* from, const char* to);
  virtual int unlink(const char* path);
  // An advisory lock on the whole file: shared or exclusive, or released
  // (kUnlock).  Never waits: -1 with errno EWOULDBLOCK when another process
  // holds a conflicting lock.
  enum LockKind { kShared, kExclusive, kUnlock };
  virtual int lock(int fd, LockKind kind);
  // Sleeps for a while before a lock is tried again.
  virtual void pause(int milliseconds);

  // The process's own files.
  static Env& system();
};

}  // namespace isam
