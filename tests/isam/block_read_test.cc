// Block reads at the edges of a file and under files that change while they
// are open: every read answers as a 256-byte read call at the block's offset
// would, and a file cut short under an open reader makes reads fail instead
// of ending the program.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <limits>

#include "isam_fixture.h"

namespace isam_test {
namespace {

constexpr int kItems = 80;  // 5 pages of record file

// A database of kItems items, written and closed, then open for reading as
// the report program opens it.
class BlockRead : public InTempDir {
 protected:
  struct Built {
    Built() {
      isam::Library writer;
      Db db(writer);
      for (int i = 0; i < kItems; ++i) db.add(numbered_key(i), 0, static_cast<std::uint8_t>(i));
      db.close();
    }
  };
  ~BlockRead() override {
    std::int16_t status = 0;
    lib.cclfx(1, status);
    lib.cclfd(db.fcb, status);
  }
  bool read(int n) {
    std::int16_t status = -1;
    block.fill('?');
    lib.crdbk(db.fcb, static_cast<std::uint16_t>(n), block, status);
    return status == 0;
  }
  std::string got(std::size_t length = 256) const { return std::string(block.begin(), block.begin() + length); }

  Built built;
  isam::Library lib{isam::LibraryOptions{.role = isam::LibraryOptions::Role::kReader}};
  Db db{lib, 4000, 4000, false};
  isam::Block block{};
};

TEST_F(BlockRead, EdgesOfTheFileAnswerAsAReadCallWould) {
  // Another program appends a block after the open: it is read in full.
  std::string bytes = file_bytes("STOCK") + std::string(256, 'Z');
  test_support::write_file("STOCK", bytes);
  const int last = static_cast<int>(bytes.size() / 128) - 1;
  for (int n : {0, 1, 3, last - 2, last - 1, last, last + 1, last + 2, last + 3, 65533, 65535}) {
    SCOPED_TRACE(n);
    const std::size_t offset = static_cast<std::size_t>(n - 1) * 128;
    const bool inside = n != 0 && offset + 256 <= bytes.size();
    ASSERT_EQ(read(n), inside);
    if (inside) {
      EXPECT_EQ(got(), block_at(bytes, n));
    } else {
      EXPECT_EQ(lib.core_error(), 3);
      // A block that straddles the end: the bytes inside are copied first.
      if (n != 0 && offset < bytes.size()) { EXPECT_EQ(got(bytes.size() - offset), bytes.substr(offset)); }
    }
  }
}

TEST_F(BlockRead, FilesCutShortUnderAnOpenReaderFailReadsAndRecover) {
  const std::string bytes = file_bytes("STOCK");
  const int last = static_cast<int>(bytes.size() / 128) - 1;
  for (int n = 7; n <= last; n += 2) ASSERT_TRUE(read(n));  // every page is in use

  // Cut to one page: the blocks past it fail, the ones inside still read.
  ASSERT_EQ(::truncate("STOCK", 4096), 0);
  EXPECT_TRUE(read(15));
  EXPECT_EQ(got(), block_at(bytes, 15));
  EXPECT_FALSE(read(last));
  EXPECT_EQ(lib.core_error(), 3);
  EXPECT_FALSE(read(33));

  // Rewritten whole by another program: the new contents are read.
  std::string changed = bytes;
  changed.replace(static_cast<std::size_t>(last - 1) * 128, 256, std::string(256, 'N'));
  test_support::write_file("STOCK", changed);
  ASSERT_TRUE(read(last));
  EXPECT_EQ(got(), std::string(256, 'N'));

  // An index cut to nothing: the walk stops with a failed read.
  ASSERT_EQ(::truncate("STOCK.XXX", 0), 0);
  std::array<std::uint8_t, 22> key{};
  std::uint16_t address = 0;
  std::uint8_t type = 0;
  bool found = true;
  int steps = 0;
  lib.cfind(1, 2, key, address, type, found);
  while (found && steps <= kItems) {
    lib.cfind(1, 3, key, address, type, found);
    ++steps;
  }
  EXPECT_LT(steps, kItems);
  EXPECT_EQ(lib.core_error(), 3);
}

// Reads of one block answered from a script before they pass on: a piece of
// the block (bytes >= 0) or a failure with an errno.
class ScriptedReads : public isam::Env {
 public:
  struct Answer {
    ssize_t bytes;
    int error = 0;
  };
  ssize_t pread(int fd, void* buffer, std::size_t length, off_t offset) override {
    if (offset < at || offset >= at + 256) return Env::pread(fd, buffer, length, offset);
    ++calls;
    if (next == script.size()) return Env::pread(fd, buffer, length, offset);
    const Answer answer = script[next++];
    if (answer.bytes < 0) {
      errno = answer.error;
      return -1;
    }
    return Env::pread(fd, buffer, std::min(length, static_cast<std::size_t>(answer.bytes)), offset);
  }
  off_t at = std::numeric_limits<off_t>::max() - 256;  // the block's offset: none yet
  std::vector<Answer> script;
  std::size_t next = 0;
  int calls = 0;
};

// A block read goes on after a short or interrupted read call until the
// block is whole, and fails with the system's reason otherwise.
TEST_F(BlockRead, ShortAndInterruptedReadCallsGoOnUntilTheBlockIsWhole) {
  using Answer = ScriptedReads::Answer;
  struct Case {
    std::vector<Answer> script;
    bool ok;
    int calls;
    int reason;  // system_error after a failure
  };
  const Case cases[] = {
      {{}, true, 1, 0},
      {{{-1, EINTR}}, true, 2, 0},
      {{{100}}, true, 2, 0},
      {{{100}, {-1, EINTR}, {50}}, true, 4, 0},
      {{{100}, {0}}, false, 2, EIO},
      {{{-1, ENXIO}}, false, 1, ENXIO},
      {{{255}, {-1, EBADMSG}}, false, 2, EBADMSG},
  };
  const std::string bytes = file_bytes("STOCK");
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    ScriptedReads env;
    isam::Library reader{{.role = isam::LibraryOptions::Role::kReader, .env = &env}};
    Db open{reader, 4000, 4000, false};
    env.at = 10 * 128;  // block 11
    env.script = cases[i].script;
    std::int16_t status = -1;
    block.fill('?');
    reader.crdbk(open.fcb, 11, block, status);
    EXPECT_EQ(status == 0, cases[i].ok);
    EXPECT_EQ(env.calls, cases[i].calls);
    if (cases[i].ok) {
      EXPECT_EQ(got(), block_at(bytes, 11));
    } else {
      EXPECT_EQ(reader.core_error(), 3);
      EXPECT_EQ(reader.system_error(), cases[i].reason);
    }
    reader.cclfx(1, status);
    reader.cclfd(open.fcb, status);
  }
}

// The handler that turns a vanished page into a failed read must not swallow
// a bus error that happens elsewhere in the program.
TEST_F(BlockRead, OtherBusErrorsStillEndTheProgram) {
  ASSERT_TRUE(read(7));  // a mapping, and with it the handler, is in place
  test_support::write_file("OTHER", std::string(8192, 'x'));
  EXPECT_DEATH(
      {
        const int fd = ::open("OTHER", O_RDONLY);
        auto* p = static_cast<volatile char*>(::mmap(nullptr, 8192, PROT_READ, MAP_SHARED, fd, 0));
        if (::truncate("OTHER", 0) != 0) std::abort();
        std::fprintf(stderr, "%c", p[4096]);
      },
      "");
}

}  // namespace
}  // namespace isam_test
