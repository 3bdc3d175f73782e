#ifndef KVBASE_TESTING_PNG_CHUNKS_H
#define KVBASE_TESTING_PNG_CHUNKS_H

// PNG chunks by hand, for tests and fuzz seeds: big-endian fields, the chunk CRC computed bit by bit
// (independent of the library's), and appending a whole chunk.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kvbase::testing {

inline std::uint32_t BigEndian32(const std::vector<unsigned char>& bytes, size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) << 24 | bytes[at + 1] << 16 | bytes[at + 2] << 8 | bytes[at + 3];
}

inline void PutBigEndian32(std::vector<unsigned char>& bytes, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<unsigned char>(value >> shift));
}

// The CRC-32 of PNG chunks, bit by bit, independent of the library's.
inline std::uint32_t ReferenceCrc(const unsigned char* bytes, size_t count) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < count; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = crc & 1 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
  }
  return crc ^ 0xFFFFFFFFu;
}

// Appends a chunk of `type` holding `data`, with its CRC.
inline void AppendPngChunk(std::vector<unsigned char>& file, const char* type, const std::string& data) {
  PutBigEndian32(file, static_cast<std::uint32_t>(data.size()));
  const size_t start = file.size();
  file.insert(file.end(), type, type + 4);
  file.insert(file.end(), data.begin(), data.end());
  const std::uint32_t crc = ReferenceCrc(&file[start], 4 + data.size());
  PutBigEndian32(file, crc);
}

}  // namespace kvbase::testing

#endif  // KVBASE_TESTING_PNG_CHUNKS_H
