#include "kvbase/files/internal/tiff_blocks.h"

#include <algorithm>
#include <limits>

#include "kvbase/files/internal/deflate.h"
#include "kvbase/files/internal/positional_read.h"
#include "kvbase/files/internal/tiff_lzw.h"
#include "kvbase/files/internal/tiff_packbits.h"

namespace kvbase::internal {
namespace {

constexpr std::uint64_t kMost = std::numeric_limits<std::uint64_t>::max();

std::uint64_t Product(std::uint64_t a, std::uint64_t b) { return b != 0 && a > kMost / b ? kMost : a * b; }

std::uint64_t DividedUp(std::uint64_t a, std::uint64_t b) { return a / b + (a % b != 0); }

// Chooses strips or tiles and their size; false when the file names no usable size.
bool LayOut(const KTiffDirectory& d, KTiffBlocks& blocks) {
  blocks.tiled = d.Tiled();
  if (blocks.tiled) {
    blocks.blockWidth = d.tileWidth;
    blocks.blockHeight = d.tileLength;
    blocks.offsets = d.tileOffsets;
    blocks.byteCounts = d.tileByteCounts;
    return d.tileWidth != 0 && d.tileLength != 0 && d.hasTileOffsets && d.hasTileByteCounts;
  }
  // Without RowsPerStrip, one strip holds the whole image.
  const std::uint32_t rowsPerStrip = d.hasRowsPerStrip ? d.rowsPerStrip : d.height;
  blocks.blockWidth = d.width;
  blocks.blockHeight = std::min(rowsPerStrip, d.height);
  blocks.offsets = d.stripOffsets;
  blocks.byteCounts = d.stripByteCounts;
  return rowsPerStrip != 0 && d.hasStripOffsets && d.hasStripByteCounts;
}

// Old-style LZW shows in the first two bytes of the first block.
bool OldStyleLzw(const KLoadContext& context, std::uint32_t offset, std::uint64_t inFile) {
  unsigned char first[2];
  return inFile >= 2 && ReadAt(context.file, offset, first, sizeof first) && LzwIsOldStyle(first, sizeof first);
}

}  // namespace

std::uint64_t TiffMaxGain(std::uint32_t compression) {
  switch (compression) {
    case kCompressionLzw: return kLzwMaxGain;
    case kCompressionDeflate:
    case kCompressionOldDeflate: return kDeflateMaxGain;
    case kCompressionPackBits: return kPackBitsMaxGain;
    default: return 1;
  }
}

K_ERRORS PlanTiffBlocks(const KLoadContext& context, const KTiffDirectory& d, std::uint32_t colourSamples,
                        KTiffBlocks& blocks) {
  blocks.width = d.width;
  blocks.height = d.height;
  blocks.bigEndian = d.order.BigEndian();
  if (!LayOut(d, blocks)) return K_ERROR_BAD_FILE_FORMAT;
  const bool planar = d.planarConfiguration == 2 && d.samplesPerPixel > 1;
  const std::uint64_t planes = planar ? d.samplesPerPixel : 1;
  blocks.usedPlanes = planar ? colourSamples : 1;
  blocks.blockSamples = planar ? 1 : d.samplesPerPixel;
  blocks.across = static_cast<std::uint32_t>(DividedUp(d.width, blocks.blockWidth));
  blocks.down = static_cast<std::uint32_t>(DividedUp(d.height, blocks.blockHeight));
  blocks.blockRowBytes = DividedUp(std::uint64_t{blocks.blockWidth} * blocks.blockSamples * d.bitsPerSample, 8);

  KTiffValues offsets(context.file, context.fileSize, d.order, blocks.offsets);
  KTiffValues byteCounts(context.file, context.fileSize, d.order, blocks.byteCounts);
  const std::uint64_t count = Product(Product(planes, blocks.across), blocks.down);
  if (offsets.Count() < count || byteCounts.Count() < count || !offsets.InFile() || !byteCounts.InFile()) {
    return K_ERROR_BAD_FILE_FORMAT;
  }

  // Every block must be able to give its samples from its own bytes, and each byte of the file counts
  // once: blocks that share their bytes do not make a small file a large image, nor its decoding long.
  const std::uint64_t fileSize = static_cast<std::uint64_t>(std::max<long long>(context.fileSize, 0));
  const std::uint64_t gain = TiffMaxGain(d.compression);
  std::uint64_t used = 0;
  for (std::uint32_t plane = 0; plane < blocks.usedPlanes; ++plane) {
    for (std::uint32_t row = 0; row < blocks.down; ++row) {
      const std::uint64_t needed = Product(blocks.Rows(row), blocks.blockRowBytes);
      for (std::uint32_t column = 0; column < blocks.across; ++column) {
        const std::uint32_t index = blocks.Index(plane, row, column);
        std::uint32_t offset = 0, byteCount = 0;
        if (!offsets.Get(index, offset) || !byteCounts.Get(index, byteCount)) return K_ERROR_FILE_READ;
        const std::uint64_t inFile = offset < fileSize ? std::min<std::uint64_t>(byteCount, fileSize - offset) : 0;
        used += inFile;
        if (Product(inFile, gain) < needed || used > fileSize) return K_ERROR_FILE_READ;
        if (index == 0 && d.compression == kCompressionLzw && OldStyleLzw(context, offset, inFile)) {
          return K_ERROR_UNSUPPORTED_TIFF_FORMAT;
        }
      }
    }
  }
  return K_SUCCESS;
}

}  // namespace kvbase::internal
