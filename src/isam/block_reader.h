// Block reads through a read-only mapping of a database file.
//
// A walk over every item reads each record block and each leaf once, one
// 256-byte transfer at a time: tens of thousands of read calls, nearly all
// of the run's time spent entering and leaving the kernel.  A database file
// is at most 8 MiB (16-bit block addresses, 128-byte steps), so the whole
// addressable range is mapped shared and read-only (in large pages where the
// system has them, its pages entered in one go) at the file's first read
// through the Env (env.h), and a block read becomes a copy out of the page
// cache instead of a read call (bench/README.md).
// The pages of the file count in the program's resident memory; the
// program's own heap does not grow with the file.  Writes still go through
// the file descriptor; the shared mapping sees them, and it sees what other
// programs write, just as a read call would.
//
// A read answers exactly as the read call (pread) would: the bytes of the
// range that lie inside the file, 0 at or past its end.  A caller that wants
// a whole block gets the bytes inside and then 0, as from the read call.
// The file's size is taken at map time and looked up again only when a
// range seems to reach past it, so a file that grew (by this program's
// writes or another's) is read in full.
//
// A file that another program truncates while it is mapped makes the pages
// past its new end raise SIGBUS on access.  Copies out of the mapping run
// under a handler that turns that signal into a failed read (the size is
// then looked up afresh), so such a file makes reads fail instead of ending
// the program.  Only a cut inside a 4 KiB page goes unseen until a later
// read needs the size: the blocks of that page past the new end read as the
// zero bytes the system then shows there.  (The library itself only ever
// grows its files; a cut comes from another program.)  The
// handler is installed once per process with the first mapping; a SIGBUS
// that does not come from a guarded copy goes on to the action that was in
// place before.
//
// When the mapping cannot be made (no address space, a file system without
// mappings), `mapped()` is false and the caller reads with read calls.
//
// Entering the pages: by default a new mapping enters the file's pages in
// one go (what a walk over every block wants); a reader made with
// `enter_now` false leaves them to be entered as reads touch them, until
// `enter()` is asked for, so that a lookup touching a few blocks does not
// pay for the whole file.
//
// `peek` hands out the mapped bytes of a range themselves instead of a copy:
// it answers only when the whole range lies inside the file and its pages
// are there (checked under the same guard as a copy), and the caller then
// reads with a read call otherwise, which gives the exact answer.  The bytes
// stay readable as long as the mapping does; a file cut short afterwards by
// another program (never by a holder of the file's lock) would make a later
// touch of them raise SIGBUS unguarded.
#pragma once

#include <cstddef>
#include <cstdint>

namespace isam::core {

class BlockReader {
 public:
  BlockReader() = default;
  ~BlockReader() { unmap(); }
  BlockReader(const BlockReader&) = delete;
  BlockReader& operator=(const BlockReader&) = delete;

  // Maps the addressable range of the open file `fd`; stays unmapped when
  // that fails.  `enter_now`: enter the file's pages at once.
  void map(int fd, bool enter_now = true);
  // Enters the pages of the whole file, once per mapping (a hint).
  void enter();
  void unmap();
  bool mapped() const { return base_ != nullptr; }
  // Whether [offset, offset + length) lies inside the mapped range (every
  // block of a 16-bit address does; the rest is for the read call).
  bool covers(std::uint64_t offset, std::size_t length) const { return mapped() && offset + length <= kLength; }

  // Reads a covered range as pread(2) would: the number of bytes copied
  // (fewer than `length` at the end of the file, 0 past it), or -1 with
  // errno EIO when its pages are gone even after a fresh look at the size.
  long read(void* out, std::size_t length, std::uint64_t offset) {
    if (offset + length <= size_ && copy(out, base_ + offset, length)) return static_cast<long>(length);
    return read_again(out, length, offset);
  }
  // The mapped bytes of [offset, offset + length) when the range lies inside
  // the file as it is now and its pages are there; null otherwise.
  const std::uint8_t* peek(std::uint64_t offset, std::size_t length) {
    if (!covers(offset, length)) return nullptr;
    if (offset + length > size_ && (!refresh_size() || offset + length > size_)) return nullptr;
    if (touch(base_ + offset, length)) return base_ + offset;
    refresh_size();
    return nullptr;
  }
  // Starts loading the 256-byte block at `offset` into the processor's
  // cache when it lies in the mapped range; a hint that never faults,
  // whatever the file's size.
  void prefetch_block(std::uint64_t offset) const {
    if (!covers(offset, 256)) return;
    const std::uint8_t* block = base_ + offset;
    __builtin_prefetch(block);
    __builtin_prefetch(block + 64);
    __builtin_prefetch(block + 128);
    __builtin_prefetch(block + 192);
    // A loop of nothing but prefetches has no effect the compiler must
    // keep; this empty statement, which it must keep, holds them in place.
    asm volatile("" : : "r"(block));
  }
  // Tells the reader that bytes up to `end` now exist (a write).
  void grew_to(std::uint64_t end) {
    if (end > size_) size_ = end;
  }
  // Tells the reader the file's new size (a truncation of its own).
  void resized(std::uint64_t size) { size_ = size; }

  // The mapped range: the block at address 65535 ends at 8 MiB.
  static constexpr std::size_t kLength = std::size_t{65535 - 1} * 128 + 256;

 private:
  // Copies `length` bytes out of the mapping; false when a page of them is
  // gone.
  static bool copy(void* out, const std::uint8_t* from, std::size_t length);
  // Touches the first and last byte of a range of at most a page (so every
  // page it spans); false when a page of them is gone.
  static bool touch(const std::uint8_t* from, std::size_t length);
  // A read that the size as last seen does not cover, or whose page was gone.
  long read_again(void* out, std::size_t length, std::uint64_t offset);
  // Looks the file's size up again; false when that fails.
  bool refresh_size();

  int fd_ = -1;
  const std::uint8_t* base_ = nullptr;
  std::uint64_t size_ = 0;  // the file's size as last seen
  bool entered_ = false;    // the whole file's pages entered
};

}  // namespace isam::core
