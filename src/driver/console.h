// The console: whole lines out, one line in.
//
// Every console line is its bytes followed by a newline.  A carriage-control
// character at the start of a line ("1" on the completion line) is shown as
// a plain character.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace driver {

// Writes the bytes of `text` and a newline.
void write_line(std::FILE* out, std::string_view text);

// Reads one line and returns at most its first `keep` bytes (the rest of the
// line is read and dropped, the newline too).  Input that ends before a
// newline gives what was read so far: an empty line when nothing was.
std::string read_line(std::FILE* in, std::size_t keep);

// Flushes the console.  Returns an empty text when every write to it went
// through, else what went wrong ("No space left on device").
std::string flush_console(std::FILE* out);

}  // namespace driver
