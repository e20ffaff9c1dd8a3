// Block reads through a read-only mapping, with SIGBUS turned into failure.
#include "isam/block_reader.h"

#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace isam::core {
namespace {

// The one piece of process-wide state the reader needs: a signal handler can
// reach nothing but globals.  `active_copy` is set only while a copy out of a
// mapping runs on this thread.
thread_local sigjmp_buf* active_copy = nullptr;
struct sigaction previous_action;

void restore_previous_action() { sigaction(SIGBUS, &previous_action, nullptr); }

void on_bus_error(int signal, siginfo_t* info, void* context) {
  if (sigjmp_buf* jump = active_copy) {
    active_copy = nullptr;
    siglongjmp(*jump, 1);
  }
  // Not ours.  With a handler of its own before us, hand the signal on;
  // otherwise put the old action back and return, so that the faulting access
  // runs again and meets it.
  if ((previous_action.sa_flags & SA_SIGINFO) && previous_action.sa_sigaction) {
    previous_action.sa_sigaction(signal, info, context);
  } else if (previous_action.sa_handler != SIG_DFL && previous_action.sa_handler != SIG_IGN) {
    previous_action.sa_handler(signal);
  } else {
    restore_previous_action();
  }
}

void install_handler_once() {
  static const bool installed = [] {
    struct sigaction action {};
    action.sa_sigaction = on_bus_error;
    // SA_NODEFER: the handler leaves by a jump that does not restore the
    // signal mask, so SIGBUS must not be blocked while it runs.
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    return sigaction(SIGBUS, &action, &previous_action) == 0;
  }();
  (void)installed;
}

}  // namespace

bool BlockReader::copy(void* out, const std::uint8_t* from, std::size_t length) {
  sigjmp_buf jump;
  if (sigsetjmp(jump, 0) != 0) return false;
  active_copy = &jump;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  std::memcpy(out, from, length);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  active_copy = nullptr;
  return true;
}

bool BlockReader::touch(const std::uint8_t* from, std::size_t length) {
  sigjmp_buf jump;
  if (sigsetjmp(jump, 0) != 0) return false;
  active_copy = &jump;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  const volatile std::uint8_t* bytes = from;
  (void)bytes[0];
  (void)bytes[length - 1];
  std::atomic_signal_fence(std::memory_order_seq_cst);
  active_copy = nullptr;
  return true;
}

void BlockReader::map(int fd, bool enter_now) {
  unmap();
  struct stat st {};
  if (fd < 0 || fstat(fd, &st) != 0) return;
  install_handler_once();
  void* base = mmap(nullptr, kLength, PROT_READ, MAP_SHARED, fd, 0);
  if (base == MAP_FAILED) return;
  fd_ = fd;
  base_ = static_cast<const std::uint8_t*>(base);
  size_ = static_cast<std::uint64_t>(st.st_size);
  // Large pages where the system keeps the file in them (a file read from
  // the disk is then read ahead in large pages too), and the file's pages
  // entered in one go (bench/README.md has what that saves).  Both calls are
  // hints: without them pages are entered as the reads first touch them.
  (void)madvise(base, kLength, MADV_HUGEPAGE);
  if (enter_now) enter();
}

void BlockReader::enter() {
  if (!base_ || entered_) return;
  entered_ = true;
  const std::uint64_t page = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
  const std::uint64_t entered = std::min<std::uint64_t>((size_ + page - 1) / page * page, kLength);
  if (entered > 0) (void)madvise(const_cast<std::uint8_t*>(base_), entered, MADV_POPULATE_READ);
}

void BlockReader::unmap() {
  if (base_) munmap(const_cast<std::uint8_t*>(base_), kLength);
  base_ = nullptr;
  fd_ = -1;
  size_ = 0;
  entered_ = false;
}

bool BlockReader::refresh_size() {
  struct stat st {};
  if (fstat(fd_, &st) != 0) return false;
  size_ = static_cast<std::uint64_t>(st.st_size);
  return true;
}

long BlockReader::read_again(void* out, std::size_t length, std::uint64_t offset) {
  // Each pass looks the size up afresh: the file grew, or shrank under the
  // mapping (a page was gone).  Two passes at most.
  for (int pass = 0; pass < 2; ++pass) {
    if (!refresh_size()) return -1;
    if (offset >= size_) return 0;
    const std::size_t inside = static_cast<std::size_t>(std::min<std::uint64_t>(length, size_ - offset));
    if (copy(out, base_ + offset, inside)) return static_cast<long>(inside);
  }
  errno = EIO;
  return -1;
}

}  // namespace isam::core
