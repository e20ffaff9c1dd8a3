#include "support/test_support.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "report_common/control_records.h"

namespace test_support {

namespace fs = std::filesystem;

ProcessResult run_invreport(const std::vector<std::string>& args, const fs::path& cwd, std::string_view input) {
  return run_process(INVREPORT_BIN, args, cwd, input);
}

ProcessResult run_invdb(const std::vector<std::string>& args, const fs::path& cwd, std::string_view input) {
  return run_process(INVDB_BIN, args, cwd, input);
}

report::ItemArea make_item(std::string_view stock_index) {
  report::ItemArea item{};
  for (const auto& f : report::item::kAllFields)
    if (f.kind == report::FieldKind::kText) report::set_text(item, f, "");
  report::set_text(item, report::item::RecordClass, "12");
  report::set_text(item, report::item::StockIndex, stock_index);
  return item;
}

std::string heading_text(const std::vector<std::string>& lines) {
  const std::vector<std::string_view> views(lines.begin(), lines.end());
  const report::control::HeadingText text = report::control::heading_text(views);
  return std::string(text.begin(), text.end());
}

DbBuilder::DbBuilder(const fs::path& dir, std::string_view name, std::uint16_t capacity) {
  std::string error;
  const auto path = invdb::parse_db_path((dir / name).string(), error);
  open_ = path && invdb::create_database(*path, capacity, error) && db_.open(*path, error);
  EXPECT_TRUE(open_) << error;
}

DbBuilder::~DbBuilder() { close(); }

std::uint16_t DbBuilder::add(const report::ItemArea& record, std::uint8_t type) {
  std::string error;
  const std::uint16_t address = db_.add_record(record, error, type);
  EXPECT_NE(address, 0) << error;
  return address;
}

void DbBuilder::add_headings(std::string_view left144, std::string_view right144) {
  namespace control = report::control;
  for (auto [side, given] :
       {std::pair{control::Heading::kRight, right144}, std::pair{control::Heading::kLeft, left144}}) {
    control::HeadingText text;
    text.fill(' ');
    std::copy_n(given.begin(), std::min<std::size_t>(given.size(), text.size()), text.begin());
    std::string error;
    EXPECT_TRUE(db_.write_heading(side, text, error)) << error;
  }
}

void DbBuilder::add_key(std::string_view key, std::uint16_t address) {
  std::string error;
  EXPECT_TRUE(db_.add_key(key, address, 0, error)) << error;
}

void DbBuilder::close() {
  if (!open_) return;
  open_ = false;
  std::string error;
  EXPECT_TRUE(db_.close(error)) << error;
}

}  // namespace test_support
