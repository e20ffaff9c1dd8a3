// Helpers shared by the tests: temporary directories, running the programs
// as processes, building databases through the maintenance tool's wrapper, and
// comparing output with expected files kept under tests/.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "invdb/database.h"
#include "report_common/item_record.h"

namespace test_support {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

struct ProcessResult {
  int exit_code = -1;  // the exit status, or 128 + signal
  std::string out;
  std::string err;
};

// Runs `binary` with `args` in `cwd`, feeding `input` to its standard input
// (closed at once when empty).
ProcessResult run_process(const std::string& binary, const std::vector<std::string>& args,
                          const std::filesystem::path& cwd, std::string_view input = {});
ProcessResult run_invreport(const std::vector<std::string>& args, const std::filesystem::path& cwd,
                            std::string_view input = {});
ProcessResult run_invdb(const std::vector<std::string>& args, const std::filesystem::path& cwd,
                        std::string_view input = {});

std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, std::string_view content);

// Path of a file kept under tests/ (for example "reports/golden/x.txt").
std::filesystem::path data_path(std::string_view relative);

// Compares `actual` with the expected file tests/<relative>.  When the
// environment variable UPDATE_GOLDEN is set, writes the file instead.  On a
// difference the failure names the first differing line.
void expect_golden(std::string_view actual, std::string_view relative);

// An item record with the key "12" + stock index (blank-padded to 12) + 8
// blanks, blank text fields and zero numbers.
report::ItemArea make_item(std::string_view stock_index);

// A 144-character heading text from up to six lines (each cut or padded to 24).
std::string heading_text(const std::vector<std::string>& lines);

// Creates NAME.XXX (key length 22) and NAME in `dir` and opens them through
// the maintenance tool's database wrapper.  Closes both files at destruction
// or at close().  Every failing step fails the current test.
class DbBuilder {
 public:
  DbBuilder(const std::filesystem::path& dir, std::string_view name, std::uint16_t capacity = 4000);
  ~DbBuilder();
  DbBuilder(const DbBuilder&) = delete;
  DbBuilder& operator=(const DbBuilder&) = delete;

  // Adds the record under its first 22 bytes as key.  Returns its address.
  std::uint16_t add(const report::ItemArea& record, std::uint8_t type = 0);
  // The two heading control records, each given as its 144 characters.
  void add_headings(std::string_view left144, std::string_view right144);
  // Adds an index key for a block address as it is, the record file untouched.
  void add_key(std::string_view key, std::uint16_t address);
  void close();

 private:
  invdb::Database db_;
  bool open_ = false;
};

}  // namespace test_support
