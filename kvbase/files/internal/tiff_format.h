#ifndef KVBASE_FILES_INTERNAL_TIFF_FORMAT_H
#define KVBASE_FILES_INTERNAL_TIFF_FORMAT_H

// The TIFF file layout shared by the TIFF reader and writer: tags, field types, the 12-byte directory
// entry, and reading 16- and 32-bit fields in the byte order a file's header names ("II" little-endian,
// "MM" big-endian).

#include <cstdint>

#include "kvbase/files/internal/file_format.h"
#include "kvbase/files/internal/little_endian.h"

namespace kvbase::internal {

constexpr int kTiffHeaderSize = 8;
constexpr int kTiffCountSize = 2;       // the 16-bit entry count that opens a directory
constexpr int kTiffEntrySize = 12;      // one TiffDirectoryEntry
constexpr int kTiffNextOffsetSize = 4;  // the next-directory offset that closes it
constexpr std::uint32_t kTiffFirstIfdOffset = 8;

enum KTiffTag : std::uint16_t {
  kTagNewSubfileType = 254,
  kTagImageWidth = 256,
  kTagImageLength = 257,
  kTagBitsPerSample = 258,
  kTagCompression = 259,
  kTagPhotometric = 262,
  kTagFillOrder = 266,
  kTagDocumentName = 269,
  kTagImageDescription = 270,
  kTagStripOffsets = 273,
  kTagSamplesPerPixel = 277,
  kTagRowsPerStrip = 278,
  kTagStripByteCounts = 279,
  kTagXResolution = 282,
  kTagYResolution = 283,
  kTagPlanarConfiguration = 284,
  kTagResolutionUnit = 296,
  kTagDateTime = 306,
  kTagArtist = 315,
  kTagPredictor = 317,
  kTagColorMap = 320,
  kTagTileWidth = 322,
  kTagTileLength = 323,
  kTagTileOffsets = 324,
  kTagTileByteCounts = 325,
  kTagExtraSamples = 338,
  kTagSampleFormat = 339,
};

enum KTiffType : std::uint16_t {
  kTypeAscii = 2,
  kTypeShort = 3,
  kTypeLong = 4,
  kTypeRational = 5,
};

constexpr std::uint32_t kCompressionNone = 1;
constexpr std::uint32_t kCompressionLzw = 5;
constexpr std::uint32_t kCompressionDeflate = 8;         // zlib streams, the code TIFF 6 assigned
constexpr std::uint32_t kCompressionOldDeflate = 32946;  // the same streams under the code used before
constexpr std::uint32_t kCompressionPackBits = 32773;
constexpr std::uint32_t kPhotometricBlackIsZero = 1;
constexpr std::uint32_t kPhotometricRgb = 2;
constexpr std::uint32_t kPhotometricPalette = 3;
constexpr std::uint32_t kPredictorNone = 1;
constexpr std::uint32_t kPredictorHorizontal = 2;
constexpr std::uint32_t kFillOrderHighBitFirst = 1;
constexpr std::uint32_t kSampleFormatUnsigned = 1;
constexpr std::uint32_t kSampleFormatUndefined = 4;
constexpr std::uint32_t kResolutionUnitNone = 1;
constexpr std::uint32_t kResolutionUnitInch = 2;
constexpr std::uint32_t kResolutionUnitCentimetre = 3;

// Bytes of one value of a field type as this library reads and writes them: SHORT 2, ASCII 1,
// RATIONAL 8, anything else 4.
inline int TiffTypeSize(std::uint16_t type) {
  switch (type) {
    case kTypeAscii: return 1;
    case kTypeShort: return 2;
    case kTypeRational: return 8;
    default: return 4;
  }
}

// A directory entry as it lies in the file; `value` keeps the value field's four bytes unchanged.
struct TiffDirectoryEntry {
  std::uint16_t tag;
  std::uint16_t type;
  std::uint32_t count;
  unsigned char value[4];
};

// Reads fields in the byte order of one file.
class KTiffByteOrder {
 public:
  explicit KTiffByteOrder(bool bigEndian) : bigEndian_(bigEndian) {}

  bool BigEndian() const { return bigEndian_; }

  std::uint16_t U16(const unsigned char* p) const {
    return bigEndian_ ? static_cast<std::uint16_t>(p[0] << 8 | p[1]) : static_cast<std::uint16_t>(p[1] << 8 | p[0]);
  }

  std::uint32_t U32(const unsigned char* p) const {
    const std::uint32_t b0 = p[0], b1 = p[1], b2 = p[2], b3 = p[3];
    return bigEndian_ ? (b0 << 24 | b1 << 16 | b2 << 8 | b3) : (b3 << 24 | b2 << 16 | b1 << 8 | b0);
  }

  void PutU32(unsigned char* p, std::uint32_t value) const {
    for (int i = 0; i < 4; ++i) {
      const int shift = bigEndian_ ? 24 - 8 * i : 8 * i;
      p[i] = static_cast<unsigned char>(value >> shift);
    }
  }

  TiffDirectoryEntry Entry(const unsigned char* p) const {
    TiffDirectoryEntry entry{U16(p), U16(p + 2), U32(p + 4), {p[8], p[9], p[10], p[11]}};
    return entry;
  }

 private:
  bool bigEndian_;
};

K_ERRORS WriteTiff(KSaveContext& context);
K_ERRORS ReadTiff(KLoadContext& context);
K_ERRORS DescribeTiff(KLoadContext& context, KImageFileInfo& info);

}  // namespace kvbase::internal

#endif  // KVBASE_FILES_INTERNAL_TIFF_FORMAT_H
