// Text between UTF-8 (files people edit, the command line, the terminal) and
// the one byte per character the records and reports hold (the reports count
// columns in bytes).  A record byte is read as Latin-1: the byte b is the
// character U+00b, so U+0000 to U+00FF are exactly the characters a record
// can carry, and every byte string has one UTF-8 spelling (two bytes for 0x80
// to 0xFF, one below).
//
// Refusals name the character by its place, counted in characters from 1:
//   "character 4 is not UTF-8 text (byte 0xC9)"
//   "character 6 (U+20AC) does not fit one byte; the record holds U+0000 to U+00FF only"
//   "character 4 is the control character 0x0D, which the reports cannot print"
// The control characters are the bytes below the blank, 0x7F and 0x80 to 0x9F.
#pragma once

#include <string>
#include <string_view>

namespace report::latin1 {

constexpr bool is_control(unsigned char c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// "0xC9": a byte as a message shows it.
std::string hex_byte(unsigned char c);

// UTF-8 text as record bytes, one per character.  Fails on bytes that are
// not UTF-8 (overlong forms included) and on characters above U+00FF.  Text
// of plain ASCII is its own bytes: `out` then views `utf8` itself, otherwise
// `storage`, which it fills.
bool decode(std::string_view utf8, std::string& storage, std::string_view& out, std::string& problem);

// The same into `bytes`.
bool from_utf8(std::string_view utf8, std::string& bytes, std::string& problem);

// Why the bytes cannot be printed (their first control character), or "".
std::string control_problem(std::string_view bytes);

// UTF-8 text that a report can print: from_utf8, then no control character.
bool printable_from_utf8(std::string_view utf8, std::string& bytes, std::string& problem);

// Record bytes as UTF-8, appended to `out`.
void append_utf8(std::string& out, std::string_view bytes);
std::string to_utf8(std::string_view bytes);

}  // namespace report::latin1
