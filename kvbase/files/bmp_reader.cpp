// BMP reader: the information header (40-byte or 12-byte core form), the checks against the caller's pixel
// kind, then the rows straight into the target. Palettes are not read: 8-bit indices load as gray levels.
// Rows are bottom-up for a positive height and top-down for a negative one.

#include <climits>
#include <cstdint>

#if defined(__unix__)
#include <errno.h>
#include <sys/uio.h>
#endif

#include "kvbase/files/internal/bmp_format.h"
#include "kvbase/files/internal/file_contexts.h"
#include "kvbase/image/roi.h"

namespace kvbase::internal {
namespace {

struct KBmpHeader {
  long long width;
  long long height;   // negative: rows stored top-down
  int bitCount;       // 1, 8, 15 (5-5-5), 16 (5-6-5) or 24
  bool otherMasks;    // 16 bits in bit fields of neither layout
  float resolutionX;  // pixels per metre
  float resolutionY;
};

// Reads and checks the information header (and the masks of 16-bit bit-field files).
bool ReadHeader(std::FILE* file, KBmpHeader& header) {
  KSetError(K_ERROR_FILE_READ);
  unsigned char info[bmp::kInfoHeaderSize] = {};
  if (std::fseek(file, bmp::kFileHeaderSize, SEEK_SET) != 0) return false;
  // A core-header file may end before 40 bytes: only the header's own size has to be there.
  const size_t got = std::fread(info, 1, sizeof info, file);
  if (got < 4) return false;
  const std::uint32_t size = GetU32(info + bmp::kSizeAt);
  if (size != bmp::kInfoHeaderSize && size != bmp::kCoreHeaderSize)
    return KSetError(K_ERROR_UNSUPPORTED_BMP_FORMAT), false;
  if (got < size) return false;

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
    return KSetError(K_ERROR_UNSUPPORTED_BMP_FORMAT), false;

  // 16-bit pixels are 5-5-5 unless bit fields say otherwise; bit fields of another layout are kept apart,
  // since no pixel kind holds them.
  header.otherMasks = false;
  if (bits == 16 && compression != bmp::kCompressionBitFields) header.bitCount = 15;
  if (compression == bmp::kCompressionBitFields && bits == 16) {
    unsigned char masks[bmp::kMasksSize];
    if (std::fseek(file, bmp::kFileHeaderSize + bmp::kInfoHeaderSize, SEEK_SET) != 0 ||
        std::fread(masks, 1, sizeof masks, file) != sizeof masks)
      return false;
    const std::uint32_t red = GetU32(masks), green = GetU32(masks + 4), blue = GetU32(masks + 8);
    const bool is555 = red == 0x7C00 && green == bmp::kGreenMask555 && blue == 0x001F;
    const bool is565 = red == 0xF800 && green == 0x07E0 && blue == 0x001F;
    if (is555) header.bitCount = 15;
    header.otherMasks = !is555 && !is565;
  }
  KOk();
  return true;
}

// The error for a file of `bitCount` bits per pixel read into `kind`, or K_SUCCESS. Besides the plane and
// depth checks, a colour file must have the target's pixel layout: 24-bit rows do not fit 16-bit pixels,
// and 5-6-5 words are not 5-5-5 colours.
K_ERRORS KindMismatch(int bitCount, const KPixelKind& kind) {
  const int targetBits = kind.TotalBits();
  if (bitCount == 1) {
    if (kind.planes != 1) return K_ERROR_COLOR_IMAGE_EXPECTED;
    if (targetBits != 1) return K_ERROR_GRAY_IMAGE_EXPECTED;
  } else if (bitCount == 8) {
    if (kind.planes != 1) return K_ERROR_COLOR_IMAGE_EXPECTED;
    if (targetBits != 8) return K_ERROR_BILEVEL_IMAGE_EXPECTED;
  } else if (kind.planes == 1) {
    return targetBits == 1 ? K_ERROR_BILEVEL_IMAGE_EXPECTED : K_ERROR_GRAY_IMAGE_EXPECTED;
  } else if (bitCount != targetBits) {
    return K_ERROR_UNSUPPORTED_BMP_FORMAT;
  }
  return K_SUCCESS;
}

#if defined(__unix__)
// Fills `pieces` from `offset` on. One call moves at most about 2 GiB (and may be interrupted), so the
// reading goes on from where a call stopped until every piece is full; false at the end of the file.
bool ReadPiecesAt(int fd, iovec* pieces, int count, off_t offset) {
  while (count > 0) {
    const ssize_t got = preadv(fd, pieces, count, offset);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    offset += got;
    size_t left = static_cast<size_t>(got);
    for (; count > 0 && left >= pieces->iov_len; ++pieces, --count) left -= pieces->iov_len;
    if (count > 0 && left > 0) {  // the piece the call stopped in
      pieces->iov_base = static_cast<unsigned char*>(pieces->iov_base) + left;
      pieces->iov_len -= left;
    }
  }
  return true;
}
#endif

// Reads the rows, in file order, straight into the target's rows; false on a short read. Padding is
// skipped; the last row's padding may be missing from the file.
bool ReadRows(const KLoadContext& context, long long pixelOffset, size_t length, size_t padding, bool topDown) {
  auto target = [&](int i) {
    const int y = topDown ? i : context.height - 1 - i;
    return context.pixels + static_cast<std::ptrdiff_t>(y) * context.rowPitch;
  };
#if defined(__unix__)
  // Many rows per system call: one-row reads cost a call each, several times the copying itself.
  constexpr int kMaxPieces = 512;  // within every system's IOV_MAX
  iovec pieces[kMaxPieces];
  unsigned char skipped[4];
  const int fd = fileno(context.file);
  off_t offset = static_cast<off_t>(pixelOffset);
  for (int i = 0; i < context.height;) {
    int count = 0;
    size_t expected = 0;
    for (; i < context.height && count + 2 <= kMaxPieces; ++i) {
      pieces[count++] = {target(i), length};
      expected += length;
      if (padding != 0 && i + 1 < context.height) {
        pieces[count++] = {skipped, padding};
        expected += padding;
      }
    }
    if (!ReadPiecesAt(fd, pieces, count, offset)) return false;
    offset += static_cast<off_t>(expected);
  }
  return true;
#else
  std::FILE* file = context.file;
  if (std::fseek(file, static_cast<long>(pixelOffset), SEEK_SET) != 0) return false;
  unsigned char skipped[4];
  for (int i = 0; i < context.height; ++i) {
    if (std::fread(target(i), 1, length, file) != length) return false;
    if (padding != 0 && std::fread(skipped, 1, padding, file) != padding && i + 1 < context.height) return false;
  }
  return true;
#endif
}

short FormatOf(int bitCount) {
  if (bitCount == 1) return K_FILE_FORMAT_BMP_BILEVEL;
  if (bitCount == 8) return K_FILE_FORMAT_BMP_GRAY;
  return K_FILE_FORMAT_BMP_COLOR;
}

}  // namespace

void ReadBmp(KLoadContext& context) {
  KBmpHeader header;
  if (!ReadHeader(context.file, header)) return;
  K_ERRORS mismatch = KindMismatch(header.bitCount, context.kind);
  if (mismatch == K_SUCCESS && header.otherMasks) mismatch = K_ERROR_UNSUPPORTED_BMP_FORMAT;
  if (mismatch != K_SUCCESS) {
    KSetError(mismatch);
    return;
  }
  context.format = FormatOf(header.bitCount);

  // The size must be one an image can have; a negative height only says that rows run top-down.
  if (header.height == INT_MIN) return (void)KSetError(K_ERROR_UNSUPPORTED_BMP_FORMAT);
  const bool topDown = header.height < 0;
  const long long height = topDown ? -header.height : header.height;
  if (header.width <= 0 || height == 0) return (void)KSetError(K_ERROR_BAD_FILE_FORMAT);

  // Pixel data that cannot be in the file is refused before the target is resized.
  const long long rowLength = bmp::RowLength(header.width, header.bitCount);
  const long long stride = bmp::Stride(rowLength);
  const long long pixelOffset = GetU32(context.header + bmp::kPixelOffsetAt);
  const long long available = context.fileSize - pixelOffset - rowLength;
  if (available < 0 || (stride > 0 && height - 1 > available / stride)) return (void)KSetError(K_ERROR_FILE_READ);

  context.width = static_cast<int>(header.width);
  context.height = static_cast<int>(height);
  context.resolutionX = header.resolutionX;
  context.resolutionY = header.resolutionY;
  context.unit = &KUnit_m;
  if (!PrepareTarget(context)) return;
  if (context.rowLength != rowLength) return (void)KSetError(K_ERROR_UNSUPPORTED_BMP_FORMAT);

  KSetError(K_ERROR_FILE_READ);
  if (!ReadRows(context, pixelOffset, static_cast<size_t>(rowLength), static_cast<size_t>(stride - rowLength), topDown))
    return;
  KOk();
}

}  // namespace kvbase::internal
