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
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace isam {
namespace core {
class BlockReader;
}

// The plain Env reads through a read-only mapping of each file it reads
// (core::BlockReader, made at a descriptor's first read and dropped at its
// close): a block read is a copy out of the page cache instead of a system
// call, and it answers as the read call would.  A test Env that passes its
// reads on to Env::pread has that path beneath its faults.  Like the
// library, an Env serves one thread at a time.
class Env {
 public:
  Env();
  virtual ~Env();
  Env(const Env&) = delete;
  Env& operator=(const Env&) = delete;

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
  // Whether another open of the file holds a lock on it (one of this
  // program's own locks on the same open file does not count).
  virtual bool held_by_others(int fd);
  // Sleeps for a while before a lock is tried again.
  virtual void pause(int milliseconds);

  // A hint: the 256-byte blocks at `offsets` are about to be read (their
  // bytes are loaded ahead where the file is mapped).  Never fails, never
  // faults.
  void will_read(int fd, std::span<const std::uint64_t> offsets);

  // Whether a file's pages are entered whole when its mapping is made (at
  // its first read), as a walk over every block wants; when false they are
  // entered as reads touch them until will_walk() asks for them all, so a
  // lookup that reads a few blocks does not load the whole file.  For files
  // opened after the change.
  void set_enter_at_first_read(bool whole) { enter_at_first_read_ = whole; }
  // A hint: the file is about to be walked; its pages are entered whole
  // where it is mapped.  Never fails.
  void will_walk(int fd);
  // The bytes of [offset, offset + length) of fd straight out of its
  // mapping, when the range lies inside the file and its pages are there;
  // null otherwise (the caller then reads).  Valid until fd is closed.  Only
  // the plain reads are bypassed this way: a caller whose Env is a subclass
  // that changes pread must not use it.
  const std::uint8_t* mapped(int fd, std::uint64_t offset, std::size_t length);

  // The process's own files.
  static Env& system();

 private:
  // The reader of descriptor fd, made (and its mapping tried) when `make`;
  // null when there is none.
  core::BlockReader* view(int fd, bool make) {
    const auto slot = static_cast<std::size_t>(fd);
    if (fd >= 0 && slot < views_.size() && views_[slot]) return views_[slot].get();
    return make && fd >= 0 ? make_view(fd) : nullptr;
  }
  core::BlockReader* make_view(int fd);
  // Drops the reader of descriptor fd.
  void forget(int fd);
  std::vector<std::unique_ptr<core::BlockReader>> views_;  // by descriptor
  bool enter_at_first_read_ = true;
};

}  // namespace isam
