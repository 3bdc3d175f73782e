// BMP reader: the information header (40-byte or 12-byte core form), the checks against the caller's pixel
// kind, then the rows straight into the target. Palettes are not read: 8-bit indices load as gray levels.
// Rows are bottom-up for a positive height and top-down for a negative one.

#include <climits>
#include <cstdint>

#include "kvbase/files/internal/bmp_format.h"
#include "kvbase/files/internal/file_format.h"
#include "kvbase/files/internal/positional_read.h"
#include "kvbase/image/roi.h"

namespace kvbase::internal {
namespace {

struct KBmpHeader {
  long long width;
  long long height;  // negative: rows stored top-down
  int bitCount;      // 1, 8, 15 (5-5-5), 16 (5-6-5) or 24
  bool otherMasks;   // 16 bits in bit fields of neither layout
  std::uint32_t compression;
  float resolutionX;  // pixels per metre
  float resolutionY;
};

// Reads and checks the information header (and the masks of 16-bit bit-field files).
K_ERRORS ReadHeader(std::FILE* file, KBmpHeader& header) {
  unsigned char info[bmp::kInfoHeaderSize] = {};
  if (std::fseek(file, bmp::kFileHeaderSize, SEEK_SET) != 0) return K_ERROR_FILE_READ;
  // A core-header file may end before 40 bytes: only the header's own size has to be there.
  const size_t got = std::fread(info, 1, sizeof info, file);
  if (got < 4) return K_ERROR_FILE_READ;
  const std::uint32_t size = GetU32(info + bmp::kSizeAt);
  if (size != bmp::kInfoHeaderSize && size != bmp::kCoreHeaderSize) return K_ERROR_UNSUPPORTED_BMP_FORMAT;
  if (got < size) return K_ERROR_FILE_READ;

  int planes;
  std::uint32_t compression = bmp::kCompressionNone;
  if (size == bmp::kCoreHeaderSize) {
    header.width = GetU16(info + bmp::kCoreWidthAt);
    header.height = GetU16(info + bmp::kCoreHeightAt);
    planes = GetU16(info + bmp::kCorePlanesAt);
    header.bitCount = GetU16(info + bmp::kCoreBitCountAt);
    header.resolutionX = header.resolutionY = bmp::kCoreResolution;
  } else {
    header.width = static_cast<std::int32_t>(GetU32(info + bmp::kWidthAt));
    header.height = static_cast<std::int32_t>(GetU32(info + bmp::kHeightAt));
    planes = GetU16(info + bmp::kPlanesAt);
    header.bitCount = GetU16(info + bmp::kBitCountAt);
    compression = GetU32(info + bmp::kCompressionAt);
    header.resolutionX = static_cast<float>(static_cast<std::int32_t>(GetU32(info + bmp::kXPelsPerMeterAt)));
    header.resolutionY = static_cast<float>(static_cast<std::int32_t>(GetU32(info + bmp::kYPelsPerMeterAt)));
  }
  const int bits = header.bitCount;
  if (planes != 1 || (bits != 1 && bits != 8 && bits != 16 && bits != 24) ||
      (compression != bmp::kCompressionNone && compression != bmp::kCompressionBitFields))
    return K_ERROR_UNSUPPORTED_BMP_FORMAT;

  // 16-bit pixels are 5-5-5 unless bit fields say otherwise; bit fields of another layout are kept apart,
  // since no pixel kind holds them.
  header.otherMasks = false;
  header.compression = compression;
  if (bits == 16 && compression != bmp::kCompressionBitFields) header.bitCount = 15;
  if (compression == bmp::kCompressionBitFields && bits == 16) {
    unsigned char masks[bmp::kMasksSize];
    if (std::fseek(file, bmp::kFileHeaderSize + bmp::kInfoHeaderSize, SEEK_SET) != 0 ||
        std::fread(masks, 1, sizeof masks, file) != sizeof masks)
      return K_ERROR_FILE_READ;
    const KColorMasks read = {GetU32(masks), GetU32(masks + 4), GetU32(masks + 8)};
    const bool is555 = read == K_PIXEL_KIND_C15.masks;
    if (is555) header.bitCount = 15;
    header.otherMasks = !is555 && read != K_PIXEL_KIND_C16.masks;
  }
  return K_SUCCESS;
}

// The error for a file of `bitCount` bits per pixel read into `kind`, or K_SUCCESS. Besides the plane and
// depth checks, a colour file must have the target's pixel layout: 24-bit rows do not fit 16-bit pixels,
// and 5-6-5 words are not 5-5-5 colours.
K_ERRORS CheckKind(int bitCount, const KPixelKind& kind) {
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

// Reads the rows, in file order, straight into the target's rows, many rows per system call (one-row
// reads cost a call each, several times the copying itself); false on a short read. Padding is
// skipped; the last row's padding may be missing from the file.
bool ReadRows(const KLoadContext& context, long long pixelOffset, size_t length, size_t padding, bool topDown) {
  auto target = [&](int i) {
    const int y = topDown ? i : context.height - 1 - i;
    return context.pixels + static_cast<std::ptrdiff_t>(y) * context.rowPitch;
  };
  constexpr int kMaxPieces = 512;  // within every system's IOV_MAX
  KReadPiece pieces[kMaxPieces];
  unsigned char skipped[4];
  std::uint64_t offset = static_cast<std::uint64_t>(pixelOffset);
  for (int i = 0; i < context.height;) {
    int count = 0;
    std::uint64_t expected = 0;
    for (; i < context.height && count + 2 <= kMaxPieces; ++i) {
      pieces[count++] = {target(i), length};
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

short FormatOf(int bitCount) {
  if (bitCount == 1) return K_FILE_FORMAT_BMP_BILEVEL;
  if (bitCount == 8) return K_FILE_FORMAT_BMP_GRAY;
  return K_FILE_FORMAT_BMP_COLOR;
}

}  // namespace

K_ERRORS ReadBmp(KLoadContext& context) {
  KBmpHeader header;
  const K_ERRORS read = ReadHeader(context.file, header);
  if (read != K_SUCCESS) return read;
  K_ERRORS mismatch = CheckKind(header.bitCount, *context.kind);
  if (mismatch == K_SUCCESS && header.otherMasks) mismatch = K_ERROR_UNSUPPORTED_BMP_FORMAT;
  if (mismatch != K_SUCCESS) return mismatch;
  context.format = FormatOf(header.bitCount);

  // The size must be one an image can have; a negative height only says that rows run top-down.
  if (header.height == INT_MIN) return K_ERROR_UNSUPPORTED_BMP_FORMAT;
  const bool topDown = header.height < 0;
  const long long height = topDown ? -header.height : header.height;
  if (header.width <= 0 || height == 0) return K_ERROR_BAD_FILE_FORMAT;

  // Pixel data that cannot be in the file is refused before the target is resized.
  const long long rowLength = bmp::RowLength(header.width, header.bitCount);
  const long long stride = bmp::Stride(rowLength);
  const long long pixelOffset = GetU32(context.header + bmp::kPixelOffsetAt);
  const long long available = context.fileSize - pixelOffset - rowLength;
  if (available < 0 || (stride > 0 && height - 1 > available / stride)) return K_ERROR_FILE_READ;

  context.width = static_cast<int>(header.width);
  context.height = static_cast<int>(height);
  context.resolutionX = header.resolutionX;
  context.resolutionY = header.resolutionY;
  context.unit = &KUnit_m;
  const K_ERRORS prepared = PrepareTarget(context);
  if (prepared != K_SUCCESS) return prepared;
  if (context.rowLength != rowLength) return K_ERROR_UNSUPPORTED_BMP_FORMAT;
  const bool complete =
      ReadRows(context, pixelOffset, static_cast<size_t>(rowLength), static_cast<size_t>(stride - rowLength), topDown);
  return complete ? K_SUCCESS : K_ERROR_FILE_READ;
}

K_ERRORS DescribeBmp(KLoadContext& context, KImageFileInfo& info) {
  KBmpHeader header;
  const K_ERRORS read = ReadHeader(context.file, header);
  if (read != K_SUCCESS) return read;
  info.width = static_cast<int>(header.width);
  info.height = static_cast<int>(header.height < 0 ? -header.height : header.height);
  const bool indexed = header.bitCount <= 8;
  info.samplesPerPixel = indexed ? 1 : 3;
  info.bitsPerSample = indexed ? header.bitCount : header.bitCount == 24 ? 8 : 5;
  info.hasPalette = indexed ? 1 : 0;
  SetInfoText(info.compression, header.compression == bmp::kCompressionBitFields ? "bit fields" : "none");
  SetInfoText(info.colorSpace, indexed ? "palette" : "RGB");
  return K_SUCCESS;
}

}  // namespace kvbase::internal
