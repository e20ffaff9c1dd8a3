// clear-mark: clears the open marks a program left set, once the files
// check clean.
//
// A mark left set without a journal means that a reader stopped without
// closing the database, or that a program changed it without journalling.
// Writers refuse such a database; this command checks both files and, when
// the check finds nothing but the marks, clears them through the library.
#include <string>

#include "invdb/check.h"
#include "invdb/commands.h"
#include "invdb/database.h"
#include "invdb/db_files.h"

namespace invdb {

int cmd_clear_mark(const Args& args, const Io& io) {
  if (args.size() != 1) return io.usage("clear-mark NAME");
  std::string error;
  const auto path = parse_db_path(args[0], error);
  if (!path) return io.fail(error);
  bool marked = false;
  {
    files::FileImage index, records;
    if (!files::load_file(path->index_file(), path->shown_index(), index, error, io.session) ||
        !files::load_file(path->record_file(), path->shown_records(), records, error, io.session))
      return io.fail(error);
    marked = files::read_header(index).open_mark != 0 || files::read_header(records).open_mark != 0;
    const CheckReport report = check_database(index, records);
    long problems = 0;
    for (std::size_t i = 0; i < report.findings.size(); ++i) {
      if (report.is_open_mark(i)) continue;
      std::fprintf(io.out, "%s\n", report.findings[i].c_str());
      ++problems;
    }
    if (problems > 0)
      return io.fail(std::to_string(problems) + " problem" + (problems == 1 ? "" : "s") +
                     " found; the open marks are left as they are");
  }
  if (!marked) {
    std::fprintf(io.out, "%s is not marked open\n", path->given.c_str());
    return 0;
  }
  // Writers refuse a marked database, so nothing changed it since the check.
  Database db(Database::Access::kClearMark, {}, io.session);
  if (!db.open(*path, error) || !db.close(error)) return io.fail(error);
  std::fprintf(io.out, "cleared the open marks of %s and %s\n", path->shown_index().c_str(),
               path->shown_records().c_str());
  return 0;
}

}  // namespace invdb
