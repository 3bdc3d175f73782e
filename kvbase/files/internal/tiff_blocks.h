#ifndef KVBASE_FILES_INTERNAL_TIFF_BLOCKS_H
#define KVBASE_FILES_INTERNAL_TIFF_BLOCKS_H

// How a TIFF image's samples are cut into blocks, strips or tiles, each coded on its own, and whether
// the file's bytes can fill them.
//
// Strips are as wide as the image and RowsPerStrip high, the last one holding the rows left; tiles are
// TileWidth x TileLength, always whole, those at the right and bottom edges reaching past the image.
// With separate planes (PlanarConfiguration 2) every sample has its own blocks, all of the first
// sample's first; otherwise a block holds all samples of its pixels.

#include <algorithm>
#include <cstdint>

#include "kvbase/files/internal/file_format.h"
#include "kvbase/files/internal/tiff_directory.h"

namespace kvbase::internal {

struct KTiffBlocks {
  std::uint32_t width;  // of the image
  std::uint32_t height;
  std::uint32_t blockWidth;   // pixels of a block row: the image's width for strips
  std::uint32_t blockHeight;  // rows per strip, at most the image's height, or the tile length
  bool tiled;
  std::uint32_t across;         // blocks side by side
  std::uint32_t down;           // blocks one above the other
  std::uint32_t usedPlanes;     // the planes a load decodes: 1, or the colour samples of separate planes
  std::uint32_t blockSamples;   // samples of a pixel in a block: 1 with separate planes
  std::uint64_t blockRowBytes;  // bytes of one decoded block row
  TiffDirectoryEntry offsets;   // StripOffsets or TileOffsets
  TiffDirectoryEntry byteCounts;
  bool bigEndian;  // the byte order of the arrays

  // The index of a block in the offset and byte count arrays.
  std::uint32_t Index(std::uint32_t plane, std::uint32_t blockRow, std::uint32_t column) const {
    return (plane * down + blockRow) * across + column;
  }
  // Rows decoded from the blocks of block row `blockRow`.
  std::uint32_t Rows(std::uint32_t blockRow) const {
    return tiled ? blockHeight
                 : static_cast<std::uint32_t>(
                       std::min<std::uint64_t>(blockHeight, height - std::uint64_t{blockRow} * blockHeight));
  }
  // Rows of block row `blockRow` that lie in the image.
  std::uint32_t ImageRows(std::uint32_t blockRow) const {
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(blockHeight, height - std::uint64_t{blockRow} * blockHeight));
  }
  std::uint32_t ImageColumns(std::uint32_t column) const {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(blockWidth, width - std::uint64_t{column} * blockWidth));
  }
};

// The most bytes one byte of `compression` can decode to.
std::uint64_t TiffMaxGain(std::uint32_t compression);

// Lays out the blocks of a file whose fields the reader has checked (`colourSamples` 1 or 3 of
// `d.samplesPerPixel`), and checks them against the file before anything is allocated for the image:
// - K_ERROR_BAD_FILE_FORMAT when the tile size is 0, or the offset or byte count arrays have too few
//   values or lie outside the file;
// - K_ERROR_FILE_READ when a block's bytes in the file cannot give its samples even through the
//   codec's largest expansion, or when blocks share their bytes beyond the file's size;
// - K_ERROR_UNSUPPORTED_TIFF_FORMAT for LZW codes of the first TIFF writers.
K_ERRORS PlanTiffBlocks(const KLoadContext& context, const KTiffDirectory& d, std::uint32_t colourSamples,
                        KTiffBlocks& blocks);

}  // namespace kvbase::internal

#endif  // KVBASE_FILES_INTERNAL_TIFF_BLOCKS_H
