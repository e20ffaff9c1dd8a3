// The report run: options, database, walk over the items, completion.
#pragma once

#include <cstdio>

namespace driver {

// Runs the program with its command line; console input is read from `in`,
// console lines go to `out`, diagnostics to `err`.  Returns the exit status.
int run(int argc, const char* const* argv, std::FILE* in, std::FILE* out, std::FILE* err);

}  // namespace driver
