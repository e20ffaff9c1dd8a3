#include "isam/env.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <new>
#include <thread>

#include "isam/block_reader.h"

namespace isam {

Env::Env() = default;
Env::~Env() = default;

core::BlockReader* Env::make_view(int fd) {
  const auto slot = static_cast<std::size_t>(fd);
  if (slot >= views_.size()) {
    try {
      views_.resize(slot + 1);
    } catch (const std::bad_alloc&) { return nullptr; }
  }
  std::unique_ptr<core::BlockReader>& reader = views_[slot];
  reader.reset(new (std::nothrow) core::BlockReader);
  if (reader) reader->map(fd, enter_at_first_read_);
  return reader.get();
}

void Env::forget(int fd) {
  if (fd >= 0 && static_cast<std::size_t>(fd) < views_.size()) views_[static_cast<std::size_t>(fd)].reset();
}

int Env::open(const char* path, int flags, int mode) {
  int fd;
  do fd = ::open(path, flags | O_CLOEXEC, mode);
  while (fd < 0 && errno == EINTR);
  forget(fd);  // a descriptor number used before names another file now
  return fd;
}

int Env::close(int fd) {
  forget(fd);
  return ::close(fd);
}

ssize_t Env::pread(int fd, void* buffer, std::size_t length, off_t offset) {
  core::BlockReader* reader = offset >= 0 ? view(fd, true) : nullptr;
  if (reader && reader->covers(static_cast<std::uint64_t>(offset), length))
    return reader->read(buffer, length, static_cast<std::uint64_t>(offset));
  return ::pread(fd, buffer, length, offset);
}

ssize_t Env::pwrite(int fd, const void* buffer, std::size_t length, off_t offset) {
  const ssize_t moved = ::pwrite(fd, buffer, length, offset);
  if (core::BlockReader* reader = view(fd, false); reader && moved > 0)
    reader->grew_to(static_cast<std::uint64_t>(offset) + static_cast<std::uint64_t>(moved));
  return moved;
}

void Env::will_read(int fd, std::span<const std::uint64_t> offsets) {
  const core::BlockReader* reader = view(fd, false);
  if (!reader) return;
  for (const std::uint64_t offset : offsets) reader->prefetch_block(offset);
}

void Env::will_walk(int fd) {
  if (core::BlockReader* reader = view(fd, false)) reader->enter();
}

const std::uint8_t* Env::mapped(int fd, std::uint64_t offset, std::size_t length) {
  core::BlockReader* reader = view(fd, true);
  return reader ? reader->peek(offset, length) : nullptr;
}

int Env::fsync(int fd) { return ::fsync(fd); }

int Env::ftruncate(int fd, off_t length) {
  const int result = ::ftruncate(fd, length);
  if (core::BlockReader* reader = view(fd, false); reader && result == 0)
    reader->resized(static_cast<std::uint64_t>(length));
  return result;
}

off_t Env::file_size(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return -1;
  return st.st_size;
}

int Env::rename(const char* from, const char* to) { return std::rename(from, to); }

int Env::unlink(const char* path) { return ::unlink(path); }

// Open-file-description locks: held by the open file, like whole-file
// locks, but a shared lock turns exclusive in one step, and another holder
// can be seen without taking anything.
int Env::lock(int fd, LockKind kind) {
  struct flock range {};
  range.l_type = kind == kShared ? F_RDLCK : kind == kExclusive ? F_WRLCK : F_UNLCK;
  range.l_whence = SEEK_SET;
  int result;
  do result = ::fcntl(fd, F_OFD_SETLK, &range);
  while (result != 0 && errno == EINTR);
  if (result != 0 && errno == EACCES) errno = EWOULDBLOCK;
  return result;
}

bool Env::held_by_others(int fd) {
  struct flock range {};
  range.l_type = F_WRLCK;
  range.l_whence = SEEK_SET;
  return ::fcntl(fd, F_OFD_GETLK, &range) == 0 && range.l_type != F_UNLCK;
}

void Env::pause(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

Env& Env::system() {
  static Env env;
  return env;
}

}  // namespace isam
