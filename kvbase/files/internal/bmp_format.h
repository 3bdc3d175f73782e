#ifndef KVBASE_FILES_INTERNAL_BMP_FORMAT_H
#define KVBASE_FILES_INTERNAL_BMP_FORMAT_H

// The Windows bitmap layout shared by the BMP reader and writer: the 14-byte file header, the
// information headers (12-byte BITMAPCOREHEADER; 40-byte BITMAPINFOHEADER and its longer versions, which
// begin with the same 40 bytes), and row strides. Fields are little-endian (little_endian.h); rows are
// stored bottom-up (positive height), each padded to a multiple of 4 bytes.

#include <cstdint>

#include "kvbase/files/internal/file_format.h"
#include "kvbase/files/internal/little_endian.h"

namespace kvbase::internal::bmp {

constexpr int kFileHeaderSize = 14;
constexpr int kInfoHeaderSize = 40;
constexpr int kCoreHeaderSize = 12;
// The longer headers: 52 and 56 bytes (masks, then alpha mask, inside the header), 108 (V4, colour
// space added) and 124 (V5, colour profile added).
constexpr int kV2HeaderSize = 52;
constexpr int kV3HeaderSize = 56;
constexpr int kV4HeaderSize = 108;
constexpr int kV5HeaderSize = 124;
constexpr int kMasksSize = 12;  // red, green, blue masks after a 40-byte header with bit fields
// Red, green, blue and alpha masks start at offset 40 of the information header in every form: after
// a 40-byte header, inside the longer ones.
constexpr int kMasksAt = 40;

// File header offsets.
constexpr int kFileSizeAt = 2;
constexpr int kPixelOffsetAt = 10;

// Information header offsets (from its start, file offset 14).
constexpr int kSizeAt = 0;
constexpr int kWidthAt = 4;
constexpr int kHeightAt = 8;
constexpr int kPlanesAt = 12;
constexpr int kBitCountAt = 14;
constexpr int kCompressionAt = 16;
constexpr int kSizeImageAt = 20;
constexpr int kXPelsPerMeterAt = 24;
constexpr int kYPelsPerMeterAt = 28;
constexpr int kClrUsedAt = 32;
// Core header offsets.
constexpr int kCoreWidthAt = 4;
constexpr int kCoreHeightAt = 6;
constexpr int kCorePlanesAt = 8;
constexpr int kCoreBitCountAt = 10;

constexpr std::uint32_t kCompressionNone = 0;
constexpr std::uint32_t kCompressionRle8 = 1;
constexpr std::uint32_t kCompressionRle4 = 2;
constexpr std::uint32_t kCompressionBitFields = 3;
constexpr std::uint32_t kCompressionAlphaBitFields = 6;  // bit fields with an alpha mask too

// Resolution a core-header file is taken to have, in pixels per metre.
constexpr float kCoreResolution = 1000.0f;

// Bytes of pixel data in one file row of `width` pixels of `bitCount` bits (15 counts as 16).
inline long long RowLength(long long width, int bitCount) {
  const int bits = bitCount == 15 ? 16 : bitCount;
  return (width * bits + 7) / 8;
}
// The row length rounded up to a multiple of 4.
inline long long Stride(long long rowLength) { return (rowLength + 3) / 4 * 4; }

// Bit count a pixel kind is written with, and the bytes of colour table or masks after the header.
inline int BitCountOf(const KPixelKind& kind) {
  return kind.planesPerPixel == 1 ? kind.bitsPerPlane[0] : kind.bitsPerPixel;
}
inline int TableBytesOf(const KPixelKind& kind) {
  switch (BitCountOf(kind)) {
    case 1: return 2 * 4;
    case 8: return 256 * 4;
    case 16: return kMasksSize;
    default: return 0;
  }
}

}  // namespace kvbase::internal::bmp

namespace kvbase::internal {

K_ERRORS WriteBmp(KSaveContext& context);
K_ERRORS ReadBmp(KLoadContext& context);
K_ERRORS DescribeBmp(KLoadContext& context, KImageFileInfo& info);

}  // namespace kvbase::internal

#endif  // KVBASE_FILES_INTERNAL_BMP_FORMAT_H
