// Placeholder until the library is built: every operation fails.
#include "isam/call_interface.h"

namespace isam {

struct Library::State {};

NameField make_name_field(std::string_view name, std::string_view extension) {
  NameField f;
  f.fill(' ');
  for (std::size_t i = 0; i < 8 && i < name.size(); ++i) f[i] = name[i];
  for (std::size_t i = 0; i < 3 && i < extension.size(); ++i) f[8 + i] = extension[i];
  return f;
}

std::string file_name_of(const NameField& field) {
  std::string s;
  for (int i = 0; i < 8 && field[i] != ' '; ++i) s += field[i];
  s += '.';
  for (int i = 8; i < 11 && field[i] != ' '; ++i) s += field[i];
  return s;
}

Library::Library() : state_(std::make_unique<State>()) {}
Library::~Library() = default;
void Library::set_error_hook(ErrorHook) {}
void Library::copfx(std::int16_t, const NameField&, std::int16_t& s) { s = 1; }
void Library::copfd(const NameField&, Fcb&, std::int16_t& s) { s = 1; }
void Library::cfind(std::int16_t, std::int16_t, std::span<std::uint8_t>, std::uint16_t&, std::uint8_t&, bool& f) { f = false; }
void Library::crdbk(const Fcb&, std::uint16_t, std::span<std::uint8_t, kBlockSize>, std::int16_t& s) { s = 1; }
void Library::cclfx(std::int16_t, std::int16_t& s) { s = 1; }
void Library::cclfd(const Fcb&, std::int16_t& s) { s = 1; }
void Library::ccrfx(const NameField&, std::int16_t, std::uint16_t, std::int16_t& s) { s = 1; }
void Library::ccrfd(const NameField&, std::uint16_t, std::int16_t& s) { s = 1; }
void Library::caddk(std::int16_t, std::span<const std::uint8_t>, std::uint16_t, std::uint8_t, std::int16_t& s) { s = 1; }
void Library::cmdky(std::int16_t, std::span<const std::uint8_t>, std::uint16_t, std::uint8_t, bool& d) { d = false; }
void Library::cgetr(const Fcb&, std::uint16_t& a, std::uint8_t&) { a = 0; }
void Library::cgivr(const Fcb&, std::uint16_t) {}
void Library::csmap(const Fcb&, std::uint16_t, std::int16_t) {}
void Library::cckrc(const Fcb&, std::uint16_t, bool& u) { u = false; }
void Library::cwrbk(const Fcb&, std::uint16_t, std::span<const std::uint8_t, kBlockSize>, std::int16_t& s) { s = 1; }
void Library::cwtbk(const Fcb&, std::uint16_t, std::span<const std::uint8_t, kBlockSize>, std::int16_t& s) { s = 1; }
std::int16_t Library::core_error() const { return 0; }

}  // namespace isam
