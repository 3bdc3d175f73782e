// BMP reader: the information header (12-byte core, 40-byte, or a longer form that begins like the
// 40-byte one), the checks against the caller's pixel kind, then the pixels.
//
// Uncompressed 1-, 8-, 16- and 24-bit rows go straight into a target of their own kind as they are
// stored: 8-bit indices load as gray levels, without their palette. The other layouts are converted on
// the way: 4-bit and run-length files expand their palette into C24, or into BW8 when every entry is a
// gray; 32-bit files load into C24 without their fourth byte. Rows are bottom-up for a positive height
// and top-down for a negative one.

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

#include "kvbase/files/internal/bmp_format.h"
#include "kvbase/files/internal/bmp_header.h"
#include "kvbase/files/internal/bmp_rle.h"
#include "kvbase/files/internal/file_format.h"
#include "kvbase/files/internal/positional_read.h"
#include "kvbase/files/internal/sample_rows.h"
#include "kvbase/image/roi.h"

namespace kvbase::internal {
namespace {

using bmp::KHeader;
using bmp::KStorage;

// The error for uncompressed rows of `bitCount` bits per pixel read into `kind`, or K_SUCCESS. Besides
// the plane and depth checks, a colour file must have the target's pixel layout: 24-bit rows do not fit
// 16-bit pixels, and 5-6-5 words are not 5-5-5 colours.
K_ERRORS CheckRowsKind(int bitCount, const KPixelKind& kind) {
  const int targetBits = kind.TotalBits();
  if (bitCount == 1) {
    if (kind.planesPerPixel != 1) return K_ERROR_COLOR_IMAGE_EXPECTED;
    if (targetBits != 1) return K_ERROR_GRAY_IMAGE_EXPECTED;
  } else if (bitCount == 8) {
    if (kind.planesPerPixel != 1) return K_ERROR_COLOR_IMAGE_EXPECTED;
    if (targetBits != 8) return K_ERROR_BILEVEL_IMAGE_EXPECTED;
  } else if (kind.planesPerPixel == 1) {
    return targetBits == 1 ? K_ERROR_BILEVEL_IMAGE_EXPECTED : K_ERROR_GRAY_IMAGE_EXPECTED;
  } else if (bitCount != targetBits) {
    return K_ERROR_UNSUPPORTED_BMP_FORMAT;
  }
  return K_SUCCESS;
}

short FormatOf(int bitCount) {
  if (bitCount == 1) return K_FILE_FORMAT_BMP_BILEVEL;
  if (bitCount == 8) return K_FILE_FORMAT_BMP_GRAY;
  return K_FILE_FORMAT_BMP_COLOR;
}

// What loading a file into the caller's kind does: the refusal, or the format code told and, for
// palette files, whether the palette's gray levels are loaded rather than its colours.
struct KPlan {
  K_ERRORS error;
  short format;
  bool gray;
};

KPlan PlanLoad(const KHeader& header, const KPalette& palette, const KPixelKind& kind) {
  const K_ERRORS unsupported = K_ERROR_UNSUPPORTED_BMP_FORMAT;
  if (header.storage == KStorage::kRows) {
    const K_ERRORS error = CheckRowsKind(header.bitCount, kind);
    return {error == K_SUCCESS && header.otherMasks ? unsupported : error, FormatOf(header.bitCount), false};
  }
  const K_IMAGE_TYPES type = kind.type;
  if (type == K_IMAGE_BW1) return {K_ERROR_BILEVEL_IMAGE_EXPECTED, K_FILE_FORMAT_BMP_COLOR, false};
  if (header.storage == KStorage::kBytes32) {
    // A colour file: into no gray kind, and into C24 only, whose pixels are whole bytes too.
    if (type == K_IMAGE_BW8 || type == K_IMAGE_BW16)
      return {K_ERROR_GRAY_IMAGE_EXPECTED, K_FILE_FORMAT_BMP_COLOR, false};
    return {type != K_IMAGE_C24 || header.otherMasks ? unsupported : K_SUCCESS, K_FILE_FORMAT_BMP_COLOR, false};
  }
  // Palette indices: colours into C24, gray levels into BW8; no kind of more or fewer bits holds them.
  if (type == K_IMAGE_BW8) {
    const bool gray = palette.IsGray();
    return {gray ? K_SUCCESS : K_ERROR_GRAY_IMAGE_EXPECTED, K_FILE_FORMAT_BMP_GRAY, gray};
  }
  return {type == K_IMAGE_C24 ? K_SUCCESS : unsupported, K_FILE_FORMAT_BMP_COLOR, false};
}

bool IsRle(const KHeader& header) { return header.storage == KStorage::kRle8 || header.storage == KStorage::kRle4; }

// Pixel data that cannot be in the file's `fileSize` bytes is refused before the target is resized:
// uncompressed rows must all lie in the file (the last row's padding may be missing), and a run-length
// stream can set at most 255 pixels with each two of its bytes.
K_ERRORS CheckDataFits(const KHeader& header, long long height, long long pixelOffset, long long fileSize) {
  const long long available = fileSize - pixelOffset;
  if (IsRle(header)) {
    const long long most = available < 0 ? 0 : available / 2 * bmp::kRlePixelsPerTwoBytes;
    return header.width > most / height ? K_ERROR_FILE_READ : K_SUCCESS;
  }
  const long long rowLength = bmp::RowLength(header.width, header.bitCount);
  const long long stride = bmp::Stride(rowLength);
  const long long afterFirstRow = available - rowLength;
  return afterFirstRow < 0 || height - 1 > afterFirstRow / stride ? K_ERROR_FILE_READ : K_SUCCESS;
}

// The target row of the file's row `i` (file order).
unsigned char* TargetRow(const KLoadContext& context, int i, bool topDown) {
  const int y = topDown ? i : context.height - 1 - i;
  return context.pixels + static_cast<std::ptrdiff_t>(y) * context.rowPitch;
}

// Reads the rows, in file order, straight into the target's rows, many rows per system call (one-row
// reads cost a call each, several times the copying itself); false on a short read. Padding is
// skipped; the last row's padding may be missing from the file.
bool ReadRows(const KLoadContext& context, long long pixelOffset, size_t length, size_t padding, bool topDown) {
  constexpr int kMaxPieces = 512;  // within every system's IOV_MAX
  KReadPiece pieces[kMaxPieces];
  unsigned char skipped[4];
  std::uint64_t offset = static_cast<std::uint64_t>(pixelOffset);
  for (int i = 0; i < context.height;) {
    int count = 0;
    std::uint64_t expected = 0;
    for (; i < context.height && count + 2 <= kMaxPieces; ++i) {
      pieces[count++] = {TargetRow(context, i, topDown), length};
      expected += length;
      if (padding != 0 && i + 1 < context.height) {
        pieces[count++] = {skipped, padding};
        expected += padding;
      }
    }
    if (!ReadPiecesAt(context.file, offset, pieces, count)) return false;
    offset += expected;
  }
  return true;
}

// Reads the file's rows a block at a time and has `convert(fileRow, targetRow)` write each into its
// target row; false on a short read.
template <typename Convert>
bool ReadConvertedRows(const KLoadContext& context, long long pixelOffset, size_t length, bool topDown,
                       Convert convert) {
  constexpr size_t kBlockBytes = 256 * 1024;  // stays in the cache while it is converted
  const size_t stride = static_cast<size_t>(bmp::Stride(static_cast<long long>(length)));
  const int rowsPerBlock = static_cast<int>(std::clamp<size_t>(kBlockBytes / stride, 1, INT_MAX));
  std::vector<unsigned char> block(static_cast<size_t>(std::min(rowsPerBlock, context.height)) * stride);
  for (int first = 0; first < context.height; first += rowsPerBlock) {
    const int rows = std::min(rowsPerBlock, context.height - first);
    const size_t bytes = static_cast<size_t>(rows - 1) * stride + length;
    if (!ReadAt(context.file, static_cast<std::uint64_t>(pixelOffset) + static_cast<std::uint64_t>(first) * stride,
                block.data(), bytes))
      return false;
    for (int i = 0; i < rows; ++i) convert(block.data() + i * stride, TargetRow(context, first + i, topDown));
  }
  return true;
}

// Reads the pixels of every layout but plain rows.
K_ERRORS ReadConverted(const KLoadContext& context, const KHeader& header, const KPalette& palette, bool gray,
                       long long pixelOffset, bool topDown) {
  const size_t width = static_cast<size_t>(context.width);
  std::vector<unsigned char> indices(header.storage == KStorage::kIndices4 ? width : 0);
  auto expand = [&](const unsigned char* row, unsigned char* out) {
    if (gray) {
      palette.ToGray(row, width, out);
    } else {
      palette.ToBgr(row, width, out);
    }
  };
  bool complete = true;
  switch (header.storage) {
    case KStorage::kBytes32:
      complete = ReadConvertedRows(
          context, pixelOffset, 4 * width, topDown,
          [&](const unsigned char* in, unsigned char* out) { PickBytes(in, 4, header.colourBytes, width, out); });
      break;
    case KStorage::kIndices4:
      complete = ReadConvertedRows(context, pixelOffset, (width + 1) / 2, topDown,
                                   [&](const unsigned char* in, unsigned char* out) {
                                     UnpackSamples(in, 4, width, indices.data());
                                     expand(indices.data(), out);
                                   });
      break;
    default: {
      bmp::KByteSource source(context.file, static_cast<std::uint64_t>(pixelOffset),
                              static_cast<std::uint64_t>(context.fileSize));
      const int bits = header.storage == KStorage::kRle8 ? 8 : 4;
      return bmp::DecodeRle(source, bits, context.width, context.height,
                            [&](int row, const unsigned char* in) { expand(in, TargetRow(context, row, topDown)); });
    }
  }
  return complete ? K_SUCCESS : K_ERROR_FILE_READ;
}

// A 5-5-5 file whose alpha mask covers each pixel's top bit keeps alpha there, which C15 leaves clear:
// alpha is dropped, as from 32-bit files.
void ClearAlphaBits(const KLoadContext& context) {
  for (int y = 0; y < context.height; ++y) {
    unsigned char* row = context.pixels + static_cast<std::ptrdiff_t>(y) * context.rowPitch;
    for (int x = 0; x < context.width; ++x) row[2 * x + 1] &= 0x7F;  // little-endian words: the high byte
  }
}

}  // namespace

K_ERRORS ReadBmp(KLoadContext& context) {
  KHeader header;
  K_ERRORS result = bmp::ReadHeader(context.file, header);
  const long long pixelOffset = GetU32(context.header + bmp::kPixelOffsetAt);
  KPalette palette;
  if (result == K_SUCCESS && bmp::ExpandsPalette(header))
    result = bmp::ReadPalette(context.file, context.fileSize, pixelOffset, header, palette);
  if (result != K_SUCCESS) return result;
  const KPlan plan = PlanLoad(header, palette, *context.kind);
  if (plan.error != K_SUCCESS) return plan.error;
  context.format = plan.format;

  // The size must be one an image can have; a negative height only says that rows run top-down.
  if (header.height == INT_MIN) return K_ERROR_UNSUPPORTED_BMP_FORMAT;
  const bool topDown = header.height < 0;
  const long long height = topDown ? -header.height : header.height;
  if (header.width <= 0 || height == 0) return K_ERROR_BAD_FILE_FORMAT;
  const K_ERRORS fits = CheckDataFits(header, height, pixelOffset, context.fileSize);
  if (fits != K_SUCCESS) return fits;

  context.width = static_cast<int>(header.width);
  context.height = static_cast<int>(height);
  context.resolutionX = header.resolutionX;
  context.resolutionY = header.resolutionY;
  context.unit = &KUnit_m;
  const K_ERRORS prepared = PrepareTarget(context);
  if (prepared != K_SUCCESS) return prepared;
  if (header.storage != KStorage::kRows) {
    const long long targetLength = static_cast<long long>(context.width) * (plan.gray ? 1 : 3);
    if (context.rowLength != targetLength) return K_ERROR_UNSUPPORTED_BMP_FORMAT;
    return ReadConverted(context, header, palette, plan.gray, pixelOffset, topDown);
  }
  const long long rowLength = bmp::RowLength(header.width, header.bitCount);
  if (context.rowLength != rowLength) return K_ERROR_UNSUPPORTED_BMP_FORMAT;
  const bool complete = ReadRows(context, pixelOffset, static_cast<size_t>(rowLength),
                                 static_cast<size_t>(bmp::Stride(rowLength) - rowLength), topDown);
  if (header.bitCount == 15 && (header.alphaMask & 0x8000u) != 0) ClearAlphaBits(context);
  return complete ? K_SUCCESS : K_ERROR_FILE_READ;
}

namespace {

// "none", "RLE8", "RLE4" or "bit fields", which only mean something for 16 and 32 bits.
const char* CompressionName(const KHeader& header) {
  if (header.storage == KStorage::kRle8) return "RLE8";
  if (header.storage == KStorage::kRle4) return "RLE4";
  const bool fields =
      header.compression == bmp::kCompressionBitFields || header.compression == bmp::kCompressionAlphaBitFields;
  const int bits = header.bitCount;
  return fields && (bits == 15 || bits == 16 || bits == 32) ? "bit fields" : "none";
}

}  // namespace

K_ERRORS DescribeBmp(KLoadContext& context, KImageFileInfo& info) {
  KHeader header;
  const K_ERRORS read = bmp::ReadHeader(context.file, header);
  if (read != K_SUCCESS) return read;
  info.width = static_cast<int>(header.width);
  info.height = static_cast<int>(header.height < 0 ? -header.height : header.height);
  const bool indexed = header.bitCount <= 8;
  info.samplesPerPixel = indexed ? 1 : header.alphaMask != 0 ? 4 : 3;
  info.bitsPerSample = indexed ? header.bitCount : header.bitCount >= 24 ? 8 : 5;
  info.hasPalette = indexed ? 1 : 0;
  info.hasAlpha = header.alphaMask != 0 ? 1 : 0;
  SetInfoText(info.compression, CompressionName(header));
  SetInfoText(info.colorSpace, indexed ? "palette" : "RGB");
  return K_SUCCESS;
}

}  // namespace kvbase::internal
