#ifndef KVBASE_VECTORS_INTERNAL_VECTOR_FILE_H
#define KVBASE_VECTORS_INTERNAL_VECTOR_FILE_H

// How each element type of KVectorTemplate travels in a vector file: its type code (header byte 1), its
// size in the file, and bulk read and write. Files are little-endian; so is every machine we build for,
// which lets plain elements go through fread/fwrite as they lie in memory.

#include <array>
#include <cstdint>
#include <cstdio>

#include "kvbase/pixels/pixel_types.h"
#include "kvbase/vectors/run.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "vector files are written in machine order");

namespace kvbase::internal {

bool WriteUint32(std::FILE* file, std::uint32_t value);
bool ReadUint32(std::FILE* file, std::uint32_t* value);
// Bytes from the stream's position to its end, or -1 when the stream cannot tell (a pipe).
long long BytesLeft(std::FILE* file);

template <typename T, unsigned char TypeCode>
struct KRawElementFile {
  static constexpr unsigned char kTypeCode = TypeCode;
  static constexpr size_t kFileSize = sizeof(T);
  static std::array<unsigned char, 4> Header() {
    return {0x4B, kTypeCode, 1, static_cast<unsigned char>(0x4B ^ kTypeCode ^ 1)};
  }
  static size_t Write(std::FILE* file, const T* elements, size_t count) {
    return count == 0 ? 0 : std::fwrite(elements, sizeof(T), count, file);
  }
  static size_t Read(std::FILE* file, T* elements, size_t count) {
    return count == 0 ? 0 : std::fread(elements, sizeof(T), count, file);
  }
};

template <typename T>
struct KVectorElementFile;
template <>
struct KVectorElementFile<unsigned char> : KRawElementFile<unsigned char, 1> {};
template <>
struct KVectorElementFile<unsigned short> : KRawElementFile<unsigned short, 2> {};
template <>
struct KVectorElementFile<unsigned int> : KRawElementFile<unsigned int, 3> {};
template <>
struct KVectorElementFile<KC24> : KRawElementFile<KC24, 4> {};

// Runs keep their 12-byte record in files: the two location words are cut to 32 bits.
template <>
struct KVectorElementFile<KRun> {
  static constexpr unsigned char kTypeCode = 6;
  static constexpr size_t kFileSize = 12;
  static std::array<unsigned char, 4> Header() { return {0x4B, 6, 1, 0x4B ^ 6 ^ 1}; }
  static size_t Write(std::FILE* file, const KRun* runs, size_t count);
  static size_t Read(std::FILE* file, KRun* runs, size_t count);
};

}  // namespace kvbase::internal

#endif  // KVBASE_VECTORS_INTERNAL_VECTOR_FILE_H
