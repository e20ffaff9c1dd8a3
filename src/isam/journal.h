// The rollback journal: every change a writer makes to a database is
// all-or-nothing.
//
// Before the first change to any block of either file of a database since
// it was opened, the block's original bytes (and, before the first change to
// a file at all, the file's original length) are appended to a journal file
// beside the database, NAME.JNL, and the journal is made durable before the
// block is overwritten.  Changed blocks wait in memory until the journal
// records they need are durable; they are applied in batches, so that a run
// of changes costs one flush of the journal, not one per block.  Closing the
// last file of the pair commits: both files are made durable, then the
// journal is removed (its removal is the commit point).  A journal found at
// an open is "hot": a writer stopped before its commit.  Every journalled
// block is put back, the files are cut back to their original lengths and
// made durable, and the journal is removed.
//
// The writer holds an exclusive lock on the journal file from its creation
// until after its removal.  A writer lets go of the index before its record
// file is closed and the pair committed, so a program that gets the index
// then may find a journal that is live, not hot: it waits for the journal's
// lock, and once it has it, a journal that is no longer at its path was
// committed and is not rolled back.
//
// Journal file
//   bytes 0-7     "ISAMJNL1"
//   then records, appended in order:
//     byte 0      kind: 'F' (a file's original length) or 'B' (a block)
//     bytes 1-4   payload length p (32-bit little-endian)
//     bytes 5..   payload
//     4 bytes     FNV-1a checksum of the kind, length and payload bytes
//   'F' payload   file id (1 byte), original length (64-bit), the file's
//                 name in the journal's directory
//   'B' payload   file id (1 byte), byte offset (64-bit), the bytes that were
//                 there before the change (up to the original length)
// Recovery reads records up to the first one that is incomplete or whose
// checksum fails (a write cut short by the crash, before any change it
// guarded was made) and applies the block records last first, so that the
// earliest copy of any byte wins.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "isam/env.h"
#include "isam/file_format.h"

namespace isam::core {

struct Core;

class Journal {
 public:
  // `batch`: changed blocks held before the journal is flushed (at most
  // kMaxBatch).
  Journal(Env& env, std::string path, std::size_t batch)
      : env_(env), path_(std::move(path)), batch_(std::clamp<std::size_t>(batch, 1, kMaxBatch)) {}
  static constexpr std::size_t kMaxBatch = 0xFFFF;
  ~Journal();  // closes the journal; writes nothing
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  const std::string& path() const { return path_; }
  // Registers an open file of the database (`name` as in the journal's
  // directory); returns its id.
  int attach(const std::string& name, int fd);
  // The file's descriptor closes.  After a close that synced it (`closed`)
  // nothing of it is waiting; otherwise (a record released without a close,
  // as a crash would leave it) the journal can no longer commit and stays
  // for the next open to roll back.
  void detach(int id, bool closed);
  int attached() const { return attached_; }
  // Whether a change failed: nothing more is written and the closes fail.
  bool failed() const { return failed_; }

  // A 256-byte block at address n of file `id`, through the changes not
  // yet applied.
  bool read(Core& core, int id, std::uint32_t n, std::uint8_t* out);
  bool write(Core& core, int id, std::uint32_t n, const std::uint8_t* data);
  // Applies every waiting change and makes file `id` durable.
  bool sync(Core& core, int id);
  // Makes the changes permanent: called once every file is detached.
  bool commit(Core& core);
  // Forgets the waiting changes and puts the files back as they were.
  bool rollback(Core& core);

 private:
  struct File {
    std::string name;
    int fd = -1;
    std::int64_t original_length = -1;  // -1: not changed yet
    std::vector<bool> saved;            // 128-byte units already journalled
    bool changed = false;
    // 1 + the place in waiting_ of the change to each block address (up
    // to the last one and one past it); 0: none.  Made at the first change.
    std::vector<std::uint16_t> waiting_at;
  };
  struct Change {
    int id = 0;
    std::uint32_t address = 0;
    Block bytes{};
  };
  // The waiting change to block n of file `id`, or null.
  Change* waiting(int id, std::uint32_t n);
  bool straddles_waiting(int id, std::uint32_t n) { return (n > 0 && waiting(id, n - 1)) || waiting(id, n + 1); }
  bool fail(Core& core, int error);
  bool note_length(Core& core, File& file, int id);
  bool save_original(Core& core, File& file, int id, std::uint64_t offset);
  void append(char kind, const std::vector<std::uint8_t>& payload);
  bool flush(Core& core);
  bool apply(Core& core);
  void forget_waiting();

  Env& env_;
  std::string path_;
  int fd_ = -1;
  std::size_t batch_;
  std::uint64_t size_ = 0;  // bytes of the journal file written
  std::vector<File> files_;
  int attached_ = 0;
  bool failed_ = false;
  bool abandoned_ = false;
  bool created_ = false;               // the journal file exists (until a commit or rollback)
  std::vector<std::uint8_t> records_;  // journal bytes not yet written
  std::vector<Change> waiting_;        // the changed blocks, in the order of their first change
  std::vector<std::uint64_t> order_;   // apply's sort: id << 48 | address << 16 | place
  std::vector<std::uint8_t> run_;      // apply's transfer
};

// The journal that belongs to a database file name ("STOCK.XXX", "STOCK."):
// NAME.JNL in the same directory, as an absolute path.  `file` takes the
// file's own name within that directory.
std::string journal_path_for(std::string_view name, std::string& file);
// Rolls a hot journal back.  True when there was none or it was rolled
// back (rolled_back tells which); false (code 9, system_error) when it could
// not be, and the journal then stays for the next open.
bool recover(Core& core, const std::string& journal_path, bool& rolled_back);

}  // namespace isam::core
