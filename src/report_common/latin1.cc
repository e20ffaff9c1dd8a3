#include "report_common/latin1.h"

#include <cstdio>

namespace report::latin1 {

std::string hex_byte(unsigned char c) {
  constexpr std::string_view kUpper = "0123456789ABCDEF";
  return std::string("0x") + kUpper[c >> 4] + kUpper[c & 15];
}

bool decode(std::string_view utf8, std::string& storage, std::string_view& out, std::string& problem) {
  std::size_t ascii = 0;
  while (ascii < utf8.size() && static_cast<unsigned char>(utf8[ascii]) < 0x80) ++ascii;
  if (ascii == utf8.size()) {
    out = utf8;
    return true;
  }
  storage.assign(utf8.substr(0, ascii));
  for (std::size_t i = ascii; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    const std::size_t character = storage.size() + 1;
    if (c < 0x80) {
      storage += static_cast<char>(c);
      ++i;
      continue;
    }
    const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
    char32_t code = length == 4 ? c & 0x07u : length == 3 ? c & 0x0Fu : c & 0x1Fu;
    bool valid = length > 0 && c <= 0xF4 && i + length <= utf8.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto t = static_cast<unsigned char>(utf8[i + k]);
      valid = (t & 0xC0) == 0x80;
      code = code << 6 | (t & 0x3Fu);
    }
    if (!valid || code < 0x80 || (length == 3 && code < 0x800) || (length == 4 && code < 0x10000)) {
      problem = "character " + std::to_string(character) + " is not UTF-8 text (byte " + hex_byte(c) + ")";
      return false;
    }
    if (code > 0xFF) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(code));
      problem = "character " + std::to_string(character) + " (" + hex +
                ") does not fit one byte; the record holds U+0000 to U+00FF only";
      return false;
    }
    storage += static_cast<char>(code);
    i += length;
  }
  out = storage;
  return true;
}

bool from_utf8(std::string_view utf8, std::string& bytes, std::string& problem) {
  std::string_view out;
  if (!decode(utf8, bytes, out, problem)) return false;
  if (out.data() == utf8.data()) bytes.assign(utf8);
  return true;
}

std::string control_problem(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i)
    if (is_control(static_cast<unsigned char>(bytes[i])))
      return "character " + std::to_string(i + 1) + " is the control character " +
             hex_byte(static_cast<unsigned char>(bytes[i])) + ", which the reports cannot print";
  return "";
}

bool printable_from_utf8(std::string_view utf8, std::string& bytes, std::string& problem) {
  if (!from_utf8(utf8, bytes, problem)) return false;
  problem = control_problem(bytes);
  return problem.empty();
}

void append_utf8(std::string& out, std::string_view bytes) {
  for (const char b : bytes) {
    const auto c = static_cast<unsigned char>(b);
    if (c < 0x80) {
      out += b;
    } else {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
}

std::string to_utf8(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  append_utf8(text, bytes);
  return text;
}

}  // namespace report::latin1
