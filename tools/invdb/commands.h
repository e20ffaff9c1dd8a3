// The sub-commands of the tool.  Each takes the arguments after its name,
// writes its results to `out` and its errors to `err` (one line each, starting
// "invdb: "), and returns the exit status: 0 success, 1 failure, 2 a command
// line it cannot use, 3 (check) clean apart from the open marks, 128 + n
// stopped by signal n.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "invdb/db_files.h"

namespace invdb {

using Args = std::vector<std::string_view>;

// check's exit status for files that are clean apart from their open marks.
inline constexpr int kCheckOnlyOpenMarks = 3;

struct Io {
  std::FILE* out;
  std::FILE* err;
  // The command's one wait for another program using its database (--wait)
  // and what it did; every open of the command goes through it.
  files::Session* session = nullptr;
  // Says that a signal stopped the command ("interrupted: NAME is
  // unchanged", or that the change was kept) and returns 128 + the signal.
  int stopped() const;
  // Prints "invdb: " + message on the error stream and returns 1; an empty
  // message after a stop is the stop, told as stopped() tells it.
  int fail(const std::string& message) const;
  // Prints the usage line of a command and returns 2.
  int usage(std::string_view line) const;
  // Prints "invdb: " + message and where to find the usage of `command`
  // ("invdb help" alone when empty); returns 2.
  int usage_error(const std::string& message, std::string_view command) const;
};

int cmd_create(const Args& args, const Io& io);
int cmd_import(const Args& args, const Io& io);
int cmd_export(const Args& args, const Io& io);
int cmd_heading(const Args& args, const Io& io);
int cmd_delete(const Args& args, const Io& io);
int cmd_check(const Args& args, const Io& io);
int cmd_stat(const Args& args, const Io& io);
int cmd_dump(const Args& args, const Io& io);
int cmd_sample(const Args& args, const Io& io);

// Reads "--name VALUE" as a whole number in [lo, hi].
bool parse_number_option(std::string_view name, std::string_view value, long lo, long hi, long& out, const Io& io);

}  // namespace invdb
