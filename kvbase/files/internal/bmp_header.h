#ifndef KVBASE_FILES_INTERNAL_BMP_HEADER_H
#define KVBASE_FILES_INTERNAL_BMP_HEADER_H

// What the BMP reader learns from a file's information header and colour table: size, bit count,
// compression, how the pixels are stored, and for 32-bit pixels where each colour sits.

#include <cstdint>
#include <cstdio>

#include "kvbase/files/internal/file_format.h"
#include "kvbase/files/internal/sample_rows.h"

namespace kvbase::internal::bmp {

// How a file's pixels are stored.
enum class KStorage {
  kRows,      // uncompressed 1-, 8-, 16- or 24-bit rows, which a target of their kind takes as they are
  kIndices4,  // uncompressed 4-bit palette indices
  kRle8,      // run-length compressed 8-bit indices
  kRle4,      // run-length compressed 4-bit indices
  kBytes32,   // 32-bit pixels whose colours are whole bytes
};

struct KHeader {
  std::uint32_t size;  // of the information header
  long long width;
  long long height;  // negative: rows stored top-down
  int bitCount;      // 1, 4, 8, 15 (5-5-5), 16 (5-6-5), 24 or 32
  std::uint32_t compression;
  KStorage storage;
  bool otherMasks;          // bit fields that neither a pixel kind nor whole bytes hold
  std::uint32_t alphaMask;  // the bits of an alpha channel the bit fields name, which loads drop; 0: none
  int colourBytes[3];       // 32 bits: the byte of blue, green and red in each pixel
  std::uint32_t colours;    // entries in the colour table of a palette file
  float resolutionX;        // pixels per metre
  float resolutionY;
};

// Reads and checks the information header and the masks of bit-field files: K_ERROR_FILE_READ when
// they are cut short, K_ERROR_UNSUPPORTED_BMP_FORMAT for a header, bit count or compression this reader
// does not know.
K_ERRORS ReadHeader(std::FILE* file, KHeader& header);

// True for the files whose pixels are palette indices that loads expand (4-bit and run-length files).
inline bool ExpandsPalette(const KHeader& header) {
  return header.storage == KStorage::kIndices4 || header.storage == KStorage::kRle8 ||
         header.storage == KStorage::kRle4;
}

// Reads the colour table that follows the information header: `header.colours` entries of blue, green,
// red and a reserved byte (no reserved byte after a core header), but none from the pixel data on, which
// starts at `pixelOffset`: a table the pixels cut short has fewer entries. K_ERROR_FILE_READ when the
// table does not lie in the file's `fileSize` bytes.
K_ERRORS ReadPalette(std::FILE* file, long long fileSize, long long pixelOffset, const KHeader& header,
                     KPalette& palette);

}  // namespace kvbase::internal::bmp

#endif  // KVBASE_FILES_INTERNAL_BMP_HEADER_H
