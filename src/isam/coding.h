// Fixed-width little-endian integers inside byte buffers.
//
// Every integer the library keeps on disk (header fields, node links, entry
// pointers) is an unsigned 16-bit little-endian value at a byte offset that
// need not be aligned.  These helpers move them with memcpy, so they never
// make an unaligned or type-punned access, and swap bytes only on a
// big-endian host.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace isam::core {

inline std::uint16_t decode_u16(const std::uint8_t* p) {
  std::uint16_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) v = static_cast<std::uint16_t>((v << 8) | (v >> 8));
  return v;
}

inline void encode_u16(std::uint8_t* p, std::uint16_t v) {
  if constexpr (std::endian::native == std::endian::big) v = static_cast<std::uint16_t>((v << 8) | (v >> 8));
  std::memcpy(p, &v, sizeof v);
}

}  // namespace isam::core
