// The database maintenance tool: creates, loads, exports, checks and
// describes the two files of an inventory database.
#pragma once

#include <cstdio>

namespace invdb {

// Runs the tool with its command line; results go to `out`, errors to `err`.
// Returns the exit status.
int run(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

}  // namespace invdb
