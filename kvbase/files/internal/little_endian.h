#ifndef KVBASE_FILES_INTERNAL_LITTLE_ENDIAN_H
#define KVBASE_FILES_INTERNAL_LITTLE_ENDIAN_H

// Little-endian 16- and 32-bit fields in a byte buffer, as BMP files and the TIFF files this library
// writes ("II") hold them, whatever the machine's own byte order.

#include <cstdint>

namespace kvbase::internal {

inline std::uint16_t GetU16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
inline std::uint32_t GetU32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline void PutU16(unsigned char* p, std::uint32_t value) {
  p[0] = static_cast<unsigned char>(value);
  p[1] = static_cast<unsigned char>(value >> 8);
}
inline void PutU32(unsigned char* p, std::uint32_t value) {
  PutU16(p, value);
  PutU16(p + 2, value >> 16);
}

}  // namespace kvbase::internal

#endif  // KVBASE_FILES_INTERNAL_LITTLE_ENDIAN_H
