// Block reads through a read-only mapping of a database file.
//
// A walk over every item reads each record block and each leaf once, one
// 256-byte transfer at a time: tens of thousands of read calls, nearly all
// of the run's time spent entering and leaving the kernel.  A database file
// is at most 8 MiB (16-bit block addresses, 128-byte steps), so the whole
// addressable range is mapped shared and read-only at open (its pages
// entered in one go), and a block read becomes a copy out of the page cache:
// a walk over 32,000 items went from some 36,000 read calls to none.  The
// pages of the file count in the program's resident memory, the program's
// own heap does not grow with the file.  Writes still go through the file
// descriptor; the shared mapping sees them, and it sees what other programs
// write, just as a read call would.
//
// A read answers exactly as a 256-byte read call at (n - 1) * 128 would:
//   - the bytes when the whole block lies inside the file;
//   - failure when it does not, after copying the bytes that do lie inside
//     (a read call moves those before it comes up short).
// The file's size is taken at map time and looked up again only when a
// block seems to lie past it, so a file that grew (by this program's writes
// or another's) is read in full.
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
  // that fails.
  void map(int fd);
  void unmap();
  bool mapped() const { return base_ != nullptr; }
  // Whether block n lies inside the mapped range (every 16-bit address
  // does; larger ones are for the caller's read calls).
  bool covers(std::uint32_t n) const { return mapped() && n != 0 && offset_of(n) + kBlock <= kLength; }

  // Copies block n (covered) into `out`, as a 256-byte read call would;
  // false when the block is not wholly inside the file.
  bool read(std::uint32_t n, std::uint8_t* out) {
    const std::uint64_t at = offset_of(n);
    return (at + kBlock <= size_ && copy(out, base_ + at, kBlock)) || read_again(n, out);
  }
  // Tells the reader that bytes up to `end` now exist (a write).
  void grew_to(std::uint64_t end) {
    if (end > size_) size_ = end;
  }

  // The mapped range: the block at address 65535 ends at 8 MiB.
  static constexpr std::size_t kLength = std::size_t{65535 - 1} * 128 + 256;

 private:
  static constexpr std::uint64_t kBlock = 256;
  static std::uint64_t offset_of(std::uint32_t n) { return std::uint64_t{n - 1} * 128; }
  // Copies `length` bytes out of the mapping; false when a page of them is
  // gone.
  static bool copy(std::uint8_t* out, const std::uint8_t* from, std::size_t length);
  // A read that the size as last seen does not cover, or whose page was gone.
  bool read_again(std::uint32_t n, std::uint8_t* out);
  // Looks the file's size up again; false when that fails.
  bool refresh_size();

  int fd_ = -1;
  const std::uint8_t* base_ = nullptr;
  std::uint64_t size_ = 0;  // the file's size as last seen
};

}  // namespace isam::core
