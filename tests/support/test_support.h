// Helpers shared by the tests of the programs: running invreport and invdb
// as processes, items and headings, and building databases through the
// maintenance tool's wrapper (test_files.h has what every test shares).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "invdb/database.h"
#include "report_common/item_record.h"
#include "support/test_files.h"

namespace test_support {

// The programs under test, run as run_process() does.
ProcessResult run_invreport(const std::vector<std::string>& args, const std::filesystem::path& cwd,
                            std::string_view input = {});
ProcessResult run_invdb(const std::vector<std::string>& args, const std::filesystem::path& cwd,
                        std::string_view input = {});

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
