// Helpers shared by every test, the library's own included: temporary
// directories, running a program as a process, reading and writing whole
// files, and comparing output with expected files kept under tests/.  Needs
// nothing but GoogleTest.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

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

std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, std::string_view content);

// Path of a file kept under tests/ (for example "reports/golden/x.txt").
std::filesystem::path data_path(std::string_view relative);

// Compares `actual` with the expected file tests/<relative>.  When the
// environment variable UPDATE_GOLDEN is set, writes the file instead.  On a
// difference the failure names the first differing line.
void expect_golden(std::string_view actual, std::string_view relative);

}  // namespace test_support
