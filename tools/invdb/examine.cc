// The commands that only read a database, straight from its files' bytes:
// check, stat and dump.
#include <string>

#include "invdb/check.h"
#include "invdb/commands.h"
#include "invdb/database.h"
#include "invdb/db_files.h"
#include "invdb/json.h"
#include "invdb/stat_dump.h"

namespace invdb {

namespace {

// Both files read straight from disk.
bool load_images(std::string_view name, files::FileImage& index, files::FileImage& records, const Io& io) {
  std::string error;
  const auto db = parse_db_path(name, error);
  if (!db || !files::load_file(db->index_file(), db->shown_index(), index, error, io.session) ||
      !files::load_file(db->record_file(), db->shown_records(), records, error, io.session)) {
    io.fail(error);
    return false;
  }
  return true;
}

// The arguments NAME or NAME --json, then both files of NAME read: the exit
// status of a usage error or a failed read, or -1 to go on.
int take_store(const Args& args, const Io& io, std::string_view usage, bool& json, files::FileImage& index,
               files::FileImage& records) {
  json = args.size() == 2 && args[1] == "--json";
  if (args.size() != 1 && !json) return io.usage(usage);
  return load_images(args[0], index, records, io) ? -1 : 1;
}

}  // namespace

int cmd_check(const Args& args, const Io& io) {
  bool json = false;
  files::FileImage index, records;
  if (const int rc = take_store(args, io, "check NAME [--json]", json, index, records); rc >= 0) return rc;
  const CheckReport report = check_database(index, records);
  // Marks alone: a program stopped without closing the database, which is
  // otherwise sound.
  const int status = report.clean() ? 0 : report.only_open_marks() ? kCheckOnlyOpenMarks : 1;
  if (json) {
    std::fputs(check_json(report).c_str(), io.out);
    return status;
  }
  for (const std::string& f : report.findings) std::fprintf(io.out, "%s\n", f.c_str());
  if (status == kCheckOnlyOpenMarks) {
    std::fprintf(io.out,
                 "clean apart from the open marks: %ld items, %ld other keys, %ld deleted entries, %d levels, %ld "
                 "nodes, %ld blocks in use; \"invdb clear-mark %s\" clears the marks (so does the next command "
                 "that changes the database)\n",
                 report.items, report.live_keys - report.items, report.deleted, report.levels, report.nodes,
                 report.blocks_in_use, std::string(args[0]).c_str());
    return status;
  }
  if (!report.clean()) {
    std::fprintf(io.out, "%zu problem%s found\n", report.findings.size(), report.findings.size() == 1 ? "" : "s");
    return 1;
  }
  std::fprintf(
      io.out, "clean: %ld items, %ld other keys, %ld deleted entries, %d levels, %ld nodes, %ld blocks in use\n",
      report.items, report.live_keys - report.items, report.deleted, report.levels, report.nodes, report.blocks_in_use);
  return 0;
}

int cmd_stat(const Args& args, const Io& io) {
  bool json = false;
  files::FileImage index, records;
  if (const int rc = take_store(args, io, "stat NAME [--json]", json, index, records); rc >= 0) return rc;
  const StatReport report = stat_report(index, records);
  std::fputs((json ? stat_json(report) : stat_text(report)).c_str(), io.out);
  return 0;
}

int cmd_dump(const Args& args, const Io& io) {
  if (args.size() != 1) return io.usage("dump NAME");
  std::string error;
  const auto db = parse_db_path(args[0], error);
  files::FileImage index;
  if (!db || !files::load_file(db->index_file(), db->shown_index(), index, error, io.session)) return io.fail(error);
  const std::string text = dump_text(index);
  std::fwrite(text.data(), 1, text.size(), io.out);
  return 0;
}

}  // namespace invdb
