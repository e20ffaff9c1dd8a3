// Fuzzes the indexed-file library with damaged databases.
//
// The input is a database pair: two bytes (little-endian) giving the length
// of the index file, the index file, and the record file as the rest.  Both
// are written to a private directory and then opened, searched in every
// mode, walked both ways (reading the block of every address the walk
// meets), given a few keys and records, cut short under the open reader,
// walked again, and closed.  Any crash, sanitizer
// report, hang or leak is a finding.
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "isam/call_interface.h"

namespace {

void write_whole(const char* name, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(name, "wb");
  if (!f) std::abort();
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);
}

using Key = std::array<std::uint8_t, isam::kMaxKeyLength>;

struct Session {
  isam::Library lib;
  isam::Fcb fcb{};
  bool index_open = false;
  bool record_open = false;
  isam::Block block{};

  bool find(int mode, Key& key, std::uint16_t& address) {
    std::uint8_t type = 0;
    bool found = false;
    lib.cfind(1, static_cast<std::int16_t>(mode), key, address, type, found);
    return found;
  }
  void read(std::uint16_t address) {
    std::int16_t status = 0;
    if (record_open) lib.crdbk(fcb, address, block, status);
  }
  // Mode 2 from `start`, then `mode` to the end, reading every block.  A
  // walk longer than the file could hold means the walk does not end.
  void walk(Key start, int mode) {
    std::uint16_t address = 0;
    if (!find(2, start, address)) return;
    read(address);
    for (long steps = 0; find(mode, start, address); ++steps) {
      if (steps > 32768L * 62) std::abort();
      read(address);
    }
  }
};

std::string work_dir;

void remove_work_dir() {
  ::unlink((work_dir + "/FZ.XXX").c_str());
  ::unlink((work_dir + "/FZ").c_str());
  ::rmdir(work_dir.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The library names files relative to the working directory.
  const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  work_dir = std::string(base) + "/index-fuzz-XXXXXX";
  if (!mkdtemp(work_dir.data()) || chdir(work_dir.c_str()) != 0) std::abort();
  std::atexit(remove_work_dir);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  std::size_t index_size = std::min<std::size_t>(data[0] | data[1] << 8, size - 2);
  write_whole("FZ.XXX", data + 2, index_size);
  write_whole("FZ", data + 2 + index_size, size - 2 - index_size);

  Session s;
  std::int16_t status = 1;
  s.lib.copfx(1, isam::make_name_field("FZ", "XXX"), status);
  s.index_open = status == 0;
  s.lib.copfd(isam::make_name_field("FZ", ""), s.fcb, status);
  s.record_open = status == 0;

  Key zero{}, high{}, item{};
  high.fill(0xFF);
  item.fill(' ');
  item[0] = '1';
  item[1] = '2';
  for (int mode = 0; mode <= 5; ++mode) {
    for (Key key : {zero, high, item}) {
      std::uint16_t address = 0;
      if (s.find(mode, key, address)) s.read(address);
    }
  }
  s.walk(item, 3);
  s.walk(zero, 3);
  s.walk(high, 4);

  // The writer's side on the same files.
  for (int i = 0; i < 3; ++i) {
    std::uint16_t address = 0;
    std::uint8_t flag = 0;
    s.lib.cgetr(s.fcb, address, flag);
    s.block.fill(static_cast<std::uint8_t>(i));
    s.lib.cwrbk(s.fcb, address, s.block, status);
    Key key = item;
    key[2] = static_cast<std::uint8_t>('0' + i);
    s.lib.caddk(1, key, address, 0, status);
    bool in_use = false;
    s.lib.cckrc(s.fcb, address, in_use);
  }
  Key deleted = item;
  deleted[2] = '1';
  bool done = false;
  s.lib.cmdky(1, deleted, 0, isam::format::kDeleted, done);
  s.walk(zero, 3);

  // Both files cut to half under the open reader, as another program might:
  // reads past the cut fail, and nothing ends the program.
  if (::truncate("FZ.XXX", static_cast<off_t>(index_size / 2)) != 0 ||
      ::truncate("FZ", static_cast<off_t>((size - 2 - index_size) / 2)) != 0)
    std::abort();
  s.walk(zero, 3);
  s.walk(high, 4);

  s.lib.cclfx(1, status);
  s.lib.cclfd(s.fcb, status);
  return 0;
}
