// Writes the fuzzer's seed corpus: small sound database pairs built through
// the library, each as one input (two length bytes, the index file, the
// record file).  Build and run from the repository root:
//   g++ -std=c++20 -Isrc src/isam/*.cc fuzz/make_corpus.cc -o /tmp/make_corpus && /tmp/make_corpus fuzz/corpus
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "isam/call_interface.h"

namespace {

std::string slurp(const char* name) {
  std::ifstream f(name, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// Builds a pair with `keys` keys of `key_length` bytes (ascending or random),
// deleting every `delete_every`-th, and writes it to `out`.
void seed(const std::string& out, int key_length, int keys, bool random, int delete_every) {
  ::unlink("SEED.XXX");
  ::unlink("SEED");
  isam::Library lib;
  std::int16_t status = 0;
  lib.ccrfx(isam::make_name_field("SEED", "XXX"), static_cast<std::int16_t>(key_length), 0, status);
  lib.ccrfd(isam::make_name_field("SEED", ""), 0, status);
  lib.copfx(1, isam::make_name_field("SEED", "XXX"), status);
  isam::Fcb fcb{};
  lib.copfd(isam::make_name_field("SEED", ""), fcb, status);
  std::mt19937 rng(7);
  for (int i = 1; i <= keys; ++i) {
    std::array<std::uint8_t, 32> key;
    key.fill(' ');
    int n = random ? static_cast<int>(rng() % 100000) : i;
    char digits[16];
    std::snprintf(digits, sizeof digits, "12%06d", n);
    for (int j = 0; j < key_length && digits[j]; ++j) key[j] = static_cast<std::uint8_t>(digits[j]);
    std::uint16_t address = 0;
    std::uint8_t flag = 0;
    // Only a few records: the record file stays small.
    if (i <= 4) {
      lib.cgetr(fcb, address, flag);
      isam::Block block;
      block.fill(static_cast<std::uint8_t>(i));
      lib.cwrbk(fcb, address, block, status);
    }
    std::span<const std::uint8_t> k(key.data(), static_cast<std::size_t>(key_length));
    lib.caddk(1, k, address, static_cast<std::uint8_t>(i % 10), status);
    if (delete_every && i % delete_every == 0) {
      bool done = false;
      lib.cmdky(1, k, 0, isam::format::kDeleted, done);
    }
  }
  lib.cclfx(1, status);
  lib.cclfd(fcb, status);
  std::string index = slurp("SEED.XXX");
  std::string record = slurp("SEED");
  std::ofstream f(out, std::ios::binary);
  f.put(static_cast<char>(index.size() & 0xFF));
  f.put(static_cast<char>(index.size() >> 8));
  f << index << record;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::string dir = argv[1];
  char tmp[] = "/tmp/make-corpus-XXXXXX";
  if (!mkdtemp(tmp) || chdir(tmp) != 0) return 1;
  if (dir[0] != '/') dir = std::string(std::getenv("PWD")) + "/" + dir;
  seed(dir + "/empty", 22, 0, false, 0);
  seed(dir + "/ascending22", 22, 25, false, 0);
  seed(dir + "/random4", 4, 120, true, 7);
  seed(dir + "/deep32", 32, 70, true, 5);
  ::unlink("SEED.XXX");
  ::unlink("SEED");
  ::rmdir(tmp);
  return 0;
}
