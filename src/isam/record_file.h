// Record files: fixed 256-byte blocks, block addressing, the free-block map,
// the fcb table and the core error codes shared by the whole library.
//
// Block addressing (the index file uses it too)
// ----------------------------------------------
// A block address is a 16-bit unsigned number n.  It names the 256 bytes that
// begin at byte offset (n - 1) * 128, so block k of a file (counting from 0)
// has the address 2k + 1.  The library only hands out odd addresses; an even
// address is not refused by the plain transfers and moves the 256 bytes that
// straddle two blocks.  Address 0 names no block and every transfer at it
// fails.  Addresses stop at 65535, so at most 32768 blocks are addressable.
//
// Record file layout (all integers 16-bit little-endian unsigned)
// ----------------------------------------------------------------
//   address 1            header
//                          bytes 0-5   zero (the index file keeps its root,
//                                      key length and node capacity here)
//                          bytes 6-7   nb, the number of map blocks, 1..32
//                          bytes 8-9   open mark: 1 while open, 0 after a
//                                      proper close
//                          bytes 10-255 zero
//   addresses 3..2nb+1   the free-block map, nb blocks
//   addresses 2nb+3 on   the data area ("data start" = 2nb + 3), one record
//                        per block; the content belongs to the writer
//
// Free-block map
// --------------
// Map block j (0-based, address 2j + 3) holds 2048 bits for the file blocks
// 2048j .. 2048j + 2047.  Bit i is in byte i / 8 under the mask 0x80 >> (i % 8)
// (most significant bit first); 1 means "in use".  For an address n:
//   map block address = 2 * ((n - 1) / 4096) + 3
//   bit               = ((n - 1) / 2) % 2048
//   bit i of map block j <-> address 4096j + 2i + 1
// A new file has the bits of its header and map blocks set.  Allocation
// (`finddp`, and node allocation in the index) scans forward from the map
// block in memory, skips every bit that names the header or a map block even
// when a damaged map leaves it clear, and never hands out an address above
// 65535: map blocks 16 and later stand only for unaddressable blocks.
//
// Open files keep one map block in memory.  It is written back, when it was
// changed, as the buffer moves to another map block and at close.  Data
// blocks are written straight through.  A close that wrote anything flushes
// the file to stable storage before it clears the open mark, so a set mark
// reliably means "not closed properly".
//
// Damaged files: a header whose map-block count is outside 1..32 is treated
// as a failed header read.  No transfer ever leaves its 256-byte buffer.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "isam/block_reader.h"

namespace isam::core {

inline constexpr int kBlockSize = 256;
using Block = std::array<std::uint8_t, kBlockSize>;

// The core error code: one 16-bit code for the whole library, set by core
// operations and never returned through the call interface.
enum Code : std::int16_t {
  kNoError = 0,      // cleared at the start of open, find, add and modify
  kKeyPresent = 1,   // the key is already present and live
  kTooDeep = 2,      // the tree would grow past 9 levels
  kIoFailed = 3,     // a block transfer failed, no map block was left, or
                     // a node, link or pointer was found damaged
  kNoFreeNode = 4,   // not enough free nodes for a split cascade
  kHeaderRead = 5,   // header, root or first map block unreadable (or
                     // damaged) at open; header unreadable at close or at
                     // root growth
  kHeaderWrite = 6,  // header write failed at open or close, or a dirty
                     // node could not be written at close
  kBadMode = 7,      // search mode outside 1..4
  kNoMemory = 8,     // out of memory
  kOpenFailed = 9,   // opening or creating the file failed
  kWasOpen = 10,     // warning: the file was still marked open
};

// Header fields, byte offsets in block 1 of either file.
inline constexpr int kHeaderRoot = 0;
inline constexpr int kHeaderKeyLength = 2;
inline constexpr int kHeaderNodeCapacity = 4;
inline constexpr int kHeaderMapBlocks = 6;
inline constexpr int kHeaderOpenMark = 8;

inline constexpr std::uint16_t kHeaderAddress = 1;
inline constexpr std::uint16_t kFirstMapAddress = 3;
inline constexpr int kBitsPerMapBlock = 2048;
inline constexpr int kMaxMapBlocks = 32;
// Map blocks 0..15 cover every 16-bit address; later ones cover none.
inline constexpr int kAddressableMapBlocks = 16;

// State that every open file of one library shares: the core error code,
// the header buffer used by open, close and create, the scratch node of the
// index writer, and where the core's own diagnostics go.
struct Core {
  std::int16_t code = kNoError;
  Block header{};
  Block scratch{};
  std::FILE* out = stdout;
};

inline std::uint16_t map_blocks_for(std::uint16_t capacity) { return capacity / kBitsPerMapBlock + 1; }
inline std::uint16_t data_start_for(std::uint16_t map_blocks) { return static_cast<std::uint16_t>(2 * map_blocks + 3); }
inline std::uint16_t map_block_of(std::uint16_t n) { return static_cast<std::uint16_t>(2 * ((n - 1) / 4096) + 3); }
inline int map_bit_of(std::uint16_t n) { return ((n - 1) / 2) % kBitsPerMapBlock; }
inline std::uint32_t address_of_bit(std::uint16_t map_address, int bit) {
  return 4096u * ((map_address - 3u) / 2u) + 2u * static_cast<std::uint32_t>(bit) + 1u;
}

// An open file addressed in 256-byte blocks.  `wrote` records whether any
// block was written since the open, so that close knows to flush.
class BlockFile {
 public:
  BlockFile() = default;
  explicit BlockFile(int fd) : fd_(fd) {}
  ~BlockFile() { close(); }
  BlockFile(const BlockFile&) = delete;
  BlockFile& operator=(const BlockFile&) = delete;

  // Opens an existing file for reading and writing, or creates one
  // exclusively (owner read/write).  `name` is a built file name; a
  // trailing "." (blank extension) names the file without extension.
  static std::optional<int> open_existing(std::string_view name);
  static std::optional<int> create_exclusive(std::string_view name);

  // Unguarded transfers of exactly 256 bytes at address n; code 3 when the
  // address is 0, the seek or the transfer fails, or fewer bytes move.
  bool read(Core& core, std::uint32_t n, std::uint8_t* buffer) const;
  bool write(Core& core, std::uint32_t n, const std::uint8_t* buffer);
  bool wrote() const { return wrote_; }
  // Forgets the writes so far (the open mark set by an open is not a
  // change that close needs to flush).
  void forget_writes() { wrote_ = false; }
  // Flushes to stable storage; true when nothing was written.
  bool sync();
  void close();
  bool is_open() const { return fd_ >= 0; }
  // Takes over an open descriptor (closing any held one) and maps it for
  // reading.
  void adopt(int fd) {
    close();
    fd_ = fd;
    wrote_ = false;
    reader_.map(fd);
  }

 private:
  int fd_ = -1;
  bool wrote_ = false;
  mutable BlockReader reader_;  // reads through a mapping where it could be made
};

// The map block held in memory (address 0: none).
struct FreeMap {
  std::uint16_t address = 0;
  bool dirty = false;
  Block bits{};

  bool test(int bit) const { return bits[bit / 8] & (0x80 >> (bit % 8)); }
  void assign(int bit, bool used);
};

// Writes the held map block back if it was changed (result ignored).
void write_back(Core& core, BlockFile& file, FreeMap& map);
// Makes `address` the held map block, writing the previous one back first.
// On a failed read nothing is held afterwards (code 3).
bool load_map(Core& core, BlockFile& file, FreeMap& map, std::uint16_t address);
// Takes the first free block from the held map block onwards, marks it used
// and returns its address; 0 when none is left (code 3 after the last map
// block, no code when the held block already lies past it).
std::uint16_t allocate(Core& core, BlockFile& file, FreeMap& map, std::uint16_t data_start);
// Counts the blocks that `allocate` could still hand out, stopping once
// `enough` are found.  Reads later map blocks without disturbing the held
// one.  Empty on a failed read (code 3).
std::optional<std::uint32_t> count_free(Core& core, const BlockFile& file, const FreeMap& map, std::uint16_t data_start,
                                        std::uint32_t enough);

// Writes a new database file of nb + 2 blocks: `header` at address 1 (nb
// taken from it), the first map block at 3 with bits 0 .. used_bits - 1 set,
// zero blocks up to 2nb + 1, and `first_block` at 2nb + 3.  Creates
// exclusively (code 9 when the file exists or cannot be made); a failed
// write removes the file again (code 3).  The file is not left open.
bool create_block_file(Core& core, std::string_view name, const Block& header, int used_bits, const Block& first_block);
// At open, with the header in core.header: sets the open mark (code 10 when
// it was already set) and writes the header (code 6).  Returns the mark as
// it was, or nothing when the write failed.
std::optional<std::uint16_t> set_open_mark(Core& core, BlockFile& file);
// Undoes set_open_mark when an open fails later on (result ignored).
void restore_open_mark(Core& core, BlockFile& file, std::uint16_t mark);

// The close sequence of either file once all its blocks are written: flush
// if anything was written, read the header (code 5), clear the open mark and
// write it (code 6), flush again.
bool clear_open_mark(Core& core, BlockFile& file);

// The first steps of every open: clear the code, open the existing file
// (code 9) and allocate its record (code 8), which takes the file over.
template <class Record>
std::unique_ptr<Record> open_file_record(Core& core, std::string_view name) {
  core.code = kNoError;
  auto fd = BlockFile::open_existing(name);
  if (!fd) {
    core.code = kOpenFailed;
    return nullptr;
  }
  auto record = std::unique_ptr<Record>(new (std::nothrow) Record);
  if (!record) {
    BlockFile(*fd).close();
    core.code = kNoMemory;
    return nullptr;
  }
  record->file.adopt(*fd);
  return record;
}

// The open-record-file record.
struct RecordFile {
  BlockFile file;
  FreeMap map;
  std::uint16_t data_start = 0;  // 2nb + 3: the first data block; fixes nb
};

// Creates an empty record file whose map covers `capacity` blocks:
// nb = capacity / 2048 + 1, a header, nb map blocks and one zeroed data
// block.  Fails (code 9) when the file exists or cannot be made, and (code
// 3, file removed) when a write fails.  The file is not left open.
bool create_record_file(Core& core, std::string_view name, std::uint16_t capacity);
// Opens a record file, sets its open mark (code 10 when it was already set)
// and loads the first map block.  Nothing is returned on failure (codes 5,
// 6, 8, 9), and the mark is then restored to what it was.
std::unique_ptr<RecordFile> opfild(Core& core, std::string_view name);
// Reads any block, header and map blocks included.
bool rdblkd(Core& core, RecordFile& file, std::uint16_t address, std::span<std::uint8_t, kBlockSize> out);
// Writes a data block.  Refuses, leaving the file and the code unchanged,
// an address below the data start or beyond what the file's map covers.
bool wrblkd(Core& core, RecordFile& file, std::uint16_t address, std::span<const std::uint8_t, kBlockSize> in);
// Allocates a data block (see `allocate`).
std::uint16_t finddp(Core& core, RecordFile& file);
// Sets (used) or clears the block's map bit.  Refuses address 0 and
// addresses beyond the last map block.
bool set_map_bit(Core& core, RecordFile& file, std::uint16_t address, bool used);
// Whether the block's map bit is set; false when refused or unreadable.
bool test_map_bit(Core& core, RecordFile& file, std::uint16_t address);
// Writes the map block back, flushes, clears the open mark (codes 5, 6) and
// closes.  The record is released in every case.
bool clfild(Core& core, std::unique_ptr<RecordFile> file);

// One entry of the table of open record files.  Byte 0 of `fcb` is the
// in-use byte (1 in use, 0 free), bytes 1-11 the file name field.
struct FcbEntry {
  std::array<std::uint8_t, 12> fcb{};
  std::unique_ptr<RecordFile> file;
  bool in_use() const { return fcb[0] != 0; }
};
inline constexpr int kFcbTableSize = 5;
using FcbTable = std::array<FcbEntry, kFcbTableSize>;

// The first in-use entry whose name bytes (1-11) equal the fcb's.
FcbEntry* find_fcb(FcbTable& table, std::span<const std::uint8_t, 12> fcb);

}  // namespace isam::core
