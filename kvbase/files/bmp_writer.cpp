// BMP writer: the 14-byte file header, the 40-byte information header, the gray ramp or the colour masks,
// then the rows bottom-up, each written with its padding in one call straight from the source.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "kvbase/files/internal/bmp_format.h"
#include "kvbase/files/internal/file_format.h"

namespace kvbase::internal {
namespace {

// Pixels per metre as a 32-bit field: truncated toward zero, clamped where the value does not fit.
std::int32_t PixelsPerMetre(float resolution, KMeasurementUnit* unit) {
  const float perMetre = resolution / unit->ConversionFactorTo(KUnit_m);
  if (std::isnan(perMetre)) return 0;
  if (perMetre >= 2147483647.0f) return INT32_MAX;
  if (perMetre <= -2147483648.0f) return INT32_MIN;
  return static_cast<std::int32_t>(perMetre);
}

// Colour table (BW1 black and white, BW8 gray ramp) or masks (C15, C16) after the information header.
void FillTable(const KPixelKind& kind, unsigned char* table) {
  switch (bmp::BitCountOf(kind)) {
    case 1: std::memset(table + 4, 255, 3); break;
    case 8:
      for (int i = 0; i < 256; ++i) std::memset(table + 4 * i, i, 3);
      break;
    case 16:
      PutU32(table, kind.masks.red);
      PutU32(table + 4, kind.masks.green);
      PutU32(table + 8, kind.masks.blue);
      break;
    default: break;
  }
}

}  // namespace

K_ERRORS WriteBmp(KSaveContext& context) {
  const KPixelKind& kind = *context.kind;
  const int bitCount = bmp::BitCountOf(kind);
  const long long rowLength = bmp::RowLength(context.width, bitCount);
  const long long stride = bmp::Stride(rowLength);
  const int pixelOffset = bmp::kFileHeaderSize + bmp::kInfoHeaderSize + bmp::TableBytesOf(kind);
  const long long imageBytes = stride * context.height;
  // The size fields are 32 bits: a larger image cannot be a BMP file.
  if (pixelOffset + imageBytes > UINT32_MAX) return K_ERROR_UNSUPPORTED_BMP_FORMAT;

  unsigned char headers[bmp::kFileHeaderSize + bmp::kInfoHeaderSize + 256 * 4] = {};
  headers[0] = 'B';
  headers[1] = 'M';
  PutU32(headers + bmp::kFileSizeAt, static_cast<std::uint32_t>(pixelOffset + imageBytes));
  PutU32(headers + bmp::kPixelOffsetAt, static_cast<std::uint32_t>(pixelOffset));
  unsigned char* info = headers + bmp::kFileHeaderSize;
  PutU32(info + bmp::kSizeAt, bmp::kInfoHeaderSize);
  PutU32(info + bmp::kWidthAt, static_cast<std::uint32_t>(context.width));
  PutU32(info + bmp::kHeightAt, static_cast<std::uint32_t>(context.height));
  PutU16(info + bmp::kPlanesAt, 1);
  PutU16(info + bmp::kBitCountAt, static_cast<std::uint32_t>(bitCount));
  PutU32(info + bmp::kCompressionAt, bitCount == 16 ? bmp::kCompressionBitFields : bmp::kCompressionNone);
  PutU32(info + bmp::kSizeImageAt, static_cast<std::uint32_t>(imageBytes));
  KMeasurementUnit* unit = context.unit != nullptr ? context.unit : &KUnitNone;
  PutU32(info + bmp::kXPelsPerMeterAt, static_cast<std::uint32_t>(PixelsPerMetre(context.resolutionX, unit)));
  PutU32(info + bmp::kYPelsPerMeterAt, static_cast<std::uint32_t>(PixelsPerMetre(context.resolutionY, unit)));
  FillTable(kind, info + bmp::kInfoHeaderSize);

  std::FILE* file = context.file;
  if (std::fwrite(headers, 1, static_cast<size_t>(pixelOffset), file) != static_cast<size_t>(pixelOffset))
    return K_ERROR_FILE_WRITE;
  if (std::fseek(file, pixelOffset, SEEK_SET) != 0) return K_ERROR_FILE_WRITE;

  // Rows that need padding go through one row buffer so that each row is still a single write.
  const size_t padding = static_cast<size_t>(stride - rowLength);
  std::vector<unsigned char> padded(padding != 0 ? static_cast<size_t>(stride) : 0, 0);
  for (int y = context.height - 1; y >= 0; --y) {
    const unsigned char* row = context.pixels + static_cast<std::ptrdiff_t>(y) * context.rowPitch;
    const unsigned char* out = row;
    if (padding != 0) {
      std::memcpy(padded.data(), row, static_cast<size_t>(rowLength));
      out = padded.data();
    }
    if (std::fwrite(out, 1, static_cast<size_t>(stride), file) != static_cast<size_t>(stride))
      return K_ERROR_FILE_WRITE;
  }
  return K_SUCCESS;
}

}  // namespace kvbase::internal
