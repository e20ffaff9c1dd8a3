// The database maintenance tool.
#pragma once

namespace invdb {

// Runs the tool with its command line; returns the exit status.
int run(int argc, const char* const* argv);

}  // namespace invdb
