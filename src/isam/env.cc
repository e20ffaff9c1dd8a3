#include "isam/env.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

namespace isam {

int Env::open(const char* path, int flags, int mode) {
  int fd;
  do fd = ::open(path, flags | O_CLOEXEC, mode);
  while (fd < 0 && errno == EINTR);
  return fd;
}

int Env::close(int fd) { return ::close(fd); }

ssize_t Env::pread(int fd, void* buffer, std::size_t length, off_t offset) {
  return ::pread(fd, buffer, length, offset);
}

ssize_t Env::pwrite(int fd, const void* buffer, std::size_t length, off_t offset) {
  return ::pwrite(fd, buffer, length, offset);
}

int Env::fsync(int fd) { return ::fsync(fd); }

int Env::ftruncate(int fd, off_t length) { return ::ftruncate(fd, length); }

off_t Env::file_size(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return -1;
  return st.st_size;
}

int Env::rename(const char* from, const char* to) { return std::rename(from, to); }

int Env::unlink(const char* path) { return ::unlink(path); }

int Env::lock(int fd, LockKind kind) {
  int operation = kind == kShared ? LOCK_SH : kind == kExclusive ? LOCK_EX : LOCK_UN;
  int result;
  do result = ::flock(fd, operation | LOCK_NB);
  while (result != 0 && errno == EINTR);
  return result;
}

void Env::pause(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

Env& Env::system() {
  static Env env;
  return env;
}

}  // namespace isam
