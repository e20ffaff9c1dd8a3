// invrender: shows a report file written by invreport as plain text, HTML or
// PDF.
#pragma once

#include <cstdio>

namespace invrender {

// The whole program: exit status 0 on success, 1 on a failure (a message on
// `err`, no output file left behind), 2 on a command line it cannot use.
int run(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

}  // namespace invrender
