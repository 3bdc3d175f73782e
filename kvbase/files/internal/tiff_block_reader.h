#ifndef KVBASE_FILES_INTERNAL_TIFF_BLOCK_READER_H
#define KVBASE_FILES_INTERNAL_TIFF_BLOCK_READER_H

// Reading the strips or tiles of a TIFF file one block at a time, uncompressed, PackBits, LZW or
// Deflate, with the horizontal predictor undone, into the target through a row converter.
//
// A block is decoded whole into a buffer of its own and its rows converted into the target. Strips of
// 8-bit gray, 16-bit gray or red, green, blue without extra samples, bound for a target of that layout,
// are decoded straight into the target's rows instead, when those lie back to back.

#include <cstdint>

#include "kvbase/files/internal/file_format.h"
#include "kvbase/files/internal/tiff_blocks.h"
#include "kvbase/files/internal/tiff_row_converter.h"

namespace kvbase::internal {

// How the blocks' bytes are coded.
struct KTiffCoding {
  std::uint32_t compression;
  bool predictor;  // horizontal differences to undo (8- and 16-bit samples)
  bool bigEndian;  // 16-bit samples in "MM" byte order
};

// Reads every block of `blocks` (planned and checked by PlanTiffBlocks) into the target prepared in
// `context`. K_ERROR_FILE_READ when a block cannot be read or does not decode to its samples,
// K_ERROR_ALLOCATION when a block's buffer cannot be had.
K_ERRORS ReadTiffBlocks(const KLoadContext& context, const KTiffBlocks& blocks, const KTiffCoding& coding,
                        const KTiffSamples& samples, KTiffRowConverter& converter);

}  // namespace kvbase::internal

#endif  // KVBASE_FILES_INTERNAL_TIFF_BLOCK_READER_H
