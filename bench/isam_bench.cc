// Timings of the indexed-file library on a store-sized database: building
// 32,000 items (cgetr, cwrbk, caddk in random key order) and walking them
// (cfind mode 2, then mode 3 to the end, reading every block with crdbk).
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "isam/call_interface.h"

namespace {

constexpr int kItems = 32000;
constexpr std::uint16_t kCapacity = 32767;

using Key = std::array<std::uint8_t, 22>;

// "12" + 12-character stock index + 8 blanks.
Key item_key(int n) {
  Key k;
  k.fill(' ');
  char digits[16];
  std::snprintf(digits, sizeof digits, "12%012d", n);
  std::memcpy(k.data(), digits, 14);
  return k;
}

// A scratch directory that is the working directory while it exists.
class ScratchDir {
 public:
  ScratchDir() : previous_(std::filesystem::current_path()) {
    std::string templ = (std::filesystem::temp_directory_path() / "isam-bench-XXXXXX").string();
    if (!::mkdtemp(templ.data())) std::abort();
    path_ = templ;
    std::filesystem::current_path(path_);
  }
  ~ScratchDir() {
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(path_);
  }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

struct Database {
  isam::Library lib;
  isam::Fcb fcb{};

  bool open() {
    std::int16_t a = 1, b = 1;
    lib.copfx(1, isam::make_name_field("STOCK", "XXX"), a);
    lib.copfd(isam::make_name_field("STOCK", ""), fcb, b);
    return a == 0 && b == 0;
  }
  void close() {
    std::int16_t status = 0;
    lib.cclfx(1, status);
    lib.cclfd(fcb, status);
  }
};

// Creates STOCK.XXX and STOCK and adds the items in a fixed random order.
bool build(Database& db) {
  std::int16_t status = 1;
  db.lib.ccrfx(isam::make_name_field("STOCK", "XXX"), 22, kCapacity, status);
  if (status != 0) return false;
  db.lib.ccrfd(isam::make_name_field("STOCK", ""), kCapacity, status);
  if (status != 0 || !db.open()) return false;
  std::vector<int> order(kItems);
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin(), order.end(), std::mt19937(2024));
  isam::Block block{};
  for (int n : order) {
    Key key = item_key(n);
    std::uint16_t address = 0;
    std::uint8_t flag = 1;
    db.lib.cgetr(db.fcb, address, flag);
    std::memcpy(block.data(), key.data(), key.size());
    db.lib.cwrbk(db.fcb, address, block, status);
    if (address == 0 || status != 0) return false;
    db.lib.caddk(1, key, address, 0, status);
    if (status != 0) return false;
  }
  db.close();
  return true;
}

// Walks every item key from "12" + 20 blanks, reading each block; returns
// the number of items read.
int walk(Database& db) {
  Key key;
  key.fill(' ');
  key[0] = '1';
  key[1] = '2';
  std::uint16_t address = 0;
  std::uint8_t type = 0;
  bool found = false;
  db.lib.cfind(1, 2, key, address, type, found);
  isam::Block block;
  int items = 0;
  for (;;) {
    db.lib.cfind(1, 3, key, address, type, found);
    if (!found || key[0] != '1' || key[1] != '2') break;
    std::int16_t status = 1;
    db.lib.crdbk(db.fcb, address, block, status);
    if (status == 0) ++items;
  }
  return items;
}

void BM_Build32000Items(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    {
      ScratchDir dir;
      Database db;
      state.ResumeTiming();
      if (!build(db)) state.SkipWithError("build failed");
      state.PauseTiming();
    }
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kItems);
}
BENCHMARK(BM_Build32000Items)->Unit(benchmark::kMillisecond);

void BM_Walk32000Items(benchmark::State& state) {
  ScratchDir dir;
  {
    Database db;
    if (!build(db)) {
      state.SkipWithError("build failed");
      return;
    }
  }
  for (auto _ : state) {
    Database db;
    if (!db.open()) {
      state.SkipWithError("open failed");
      break;
    }
    int items = walk(db);
    db.close();
    if (items != kItems) state.SkipWithError("walk missed items");
  }
  state.SetItemsProcessed(state.iterations() * kItems);
}
BENCHMARK(BM_Walk32000Items)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
