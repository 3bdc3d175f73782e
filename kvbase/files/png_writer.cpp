// PNG writer: BW1 as 1-bit gray, BW8 as 8-bit gray, BW16 as 16-bit gray, C24 as 8-bit RGB, never
// interlaced. The file is the signature, IHDR, pHYs, a text chunk for each of the source's texts, the
// image data and IEND.
//
// The image data is one zlib stream made by libdeflate from every row at once: the rows are turned into
// PNG's sample order, filtered (png_filter.h) into one buffer, compressed at the level of the file
// settings, and written as IDAT chunks of at most 1 MiB. Rows of 1-bit images keep filter None and
// their unused last bits are written as zero.
//
// Texts go into tEXt chunks, whose text PNG defines as Latin-1, unless they are UTF-8 with characters
// beyond ASCII, which go into iTXt chunks (UTF-8 by definition) so that other readers show them as
// written. A reader of this library gives back the same bytes either way.

#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "kvbase/files/internal/deflate.h"
#include "kvbase/files/internal/png_filter.h"
#include "kvbase/files/internal/png_format.h"
#include "kvbase/files/internal/tiff_rgb.h"

namespace kvbase::internal {
namespace {

constexpr std::size_t kMaxIdatLength = std::size_t{1} << 20;

// Writes one chunk: its length, its type, its data and the CRC of type and data.
bool WriteChunk(std::FILE* file, const char* type, const unsigned char* data, std::size_t length) {
  unsigned char head[8];
  png::PutU32(head, static_cast<std::uint32_t>(length));
  std::memcpy(head + 4, type, 4);
  std::uint32_t crc = libdeflate_crc32(0, head + 4, 4);
  if (length != 0) crc = libdeflate_crc32(crc, data, length);  // a null buffer would restart the CRC
  unsigned char tail[4];
  png::PutU32(tail, crc);
  return std::fwrite(head, 1, 8, file) == 8 && (length == 0 || std::fwrite(data, 1, length, file) == length) &&
         std::fwrite(tail, 1, 4, file) == 4;
}

struct KPngLayout {
  std::uint8_t bitDepth;
  std::uint8_t colorType;
  std::size_t rowBytes;
  std::size_t pixelBytes;  // the filters' distance to the pixel on the left
};

KPngLayout LayoutOf(const KPixelKind& kind, std::size_t width) {
  switch (kind.type) {
    case K_IMAGE_BW1: return {1, png::kGray, (width + 7) / 8, 1};
    case K_IMAGE_BW16: return {16, png::kGray, 2 * width, 2};
    case K_IMAGE_C24: return {8, png::kRgb, 3 * width, 3};
    default: return {8, png::kGray, width, 1};  // BW8
  }
}

// Source row `y` in PNG's order, in `scratch` where it differs from the source's bytes.
const unsigned char* PngRow(const KSaveContext& context, const KPngLayout& layout, int y, unsigned char* scratch) {
  const unsigned char* row = context.pixels + static_cast<std::ptrdiff_t>(y) * context.rowPitch;
  const std::size_t width = static_cast<std::size_t>(context.width);
  switch (context.kind->type) {
    case K_IMAGE_BW1: {
      std::memcpy(scratch, row, layout.rowBytes);
      const unsigned unused = static_cast<unsigned>(8 * layout.rowBytes - width);
      scratch[layout.rowBytes - 1] &= static_cast<unsigned char>(0xFF << unused);
      return scratch;
    }
    case K_IMAGE_BW16:
      for (std::size_t i = 0; i < width; ++i) {
        std::uint16_t sample;
        std::memcpy(&sample, row + 2 * i, 2);
        scratch[2 * i] = static_cast<unsigned char>(sample >> 8);
        scratch[2 * i + 1] = static_cast<unsigned char>(sample);
      }
      return scratch;
    case K_IMAGE_C24: SwapRedBlue(row, scratch, width); return scratch;
    default: return row;
  }
}

using KBuffer = std::unique_ptr<unsigned char[]>;

KBuffer Allocate(std::size_t bytes) { return KBuffer(new (std::nothrow) unsigned char[bytes]); }

// Every row filtered, each after its filter type byte: the bytes that deflate compresses.
K_ERRORS FilterRows(const KSaveContext& context, const KPngLayout& layout, KBuffer& filtered) {
  const std::size_t stride = layout.rowBytes + 1;
  filtered = Allocate(stride * static_cast<std::size_t>(context.height));
  KBuffer rows = Allocate(2 * layout.rowBytes);
  KPngRowFilter filter(layout.rowBytes, layout.pixelBytes, layout.bitDepth >= 8);
  if (filtered == nullptr || rows == nullptr || !filter.Ready()) return K_ERROR_ALLOCATION;
  const unsigned char* above = nullptr;
  for (int y = 0; y < context.height; ++y) {
    unsigned char* scratch = rows.get() + (y % 2) * layout.rowBytes;  // never the row above
    const unsigned char* row = PngRow(context, layout, y, scratch);
    filter.Filter(row, above, filtered.get() + static_cast<std::size_t>(y) * stride);
    above = row;
  }
  return K_SUCCESS;
}

// The filtered rows as one zlib stream: `stream` holds `length` bytes.
K_ERRORS Compress(const unsigned char* bytes, std::size_t count, int level, KBuffer& stream, std::size_t& length) {
  KDeflateEncoder encoder(level);
  if (!encoder.Ready()) return K_ERROR_PNG_WRITE;
  const std::size_t bound = encoder.Bound(count);
  stream = Allocate(bound);
  if (stream == nullptr) return K_ERROR_ALLOCATION;
  length = encoder.Encode(bytes, count, stream.get(), bound);
  return length == 0 ? K_ERROR_PNG_WRITE : K_SUCCESS;
}

bool WriteHeader(std::FILE* file, const KSaveContext& context, const KPngLayout& layout) {
  unsigned char ihdr[png::kIhdrLength] = {};
  png::PutU32(ihdr, static_cast<std::uint32_t>(context.width));
  png::PutU32(ihdr + 4, static_cast<std::uint32_t>(context.height));
  ihdr[8] = layout.bitDepth;
  ihdr[9] = layout.colorType;  // compression, filter method and interlace stay 0
  return std::fwrite(png::kSignature, 1, png::kSignatureSize, file) == png::kSignatureSize &&
         WriteChunk(file, "IHDR", ihdr, sizeof ihdr);
}

// A pHYs value: truncated toward zero, within PNG's 31 bits.
std::uint32_t PhysValue(float value) {
  if (!(value >= 1.0f)) return 0;  // also NaN
  if (value >= 2147483647.0f) return png::kMaxLength;
  return static_cast<std::uint32_t>(value);
}

// pHYs in pixels per metre, or with unit 0 (no unit) the source's values as they are. A resolution
// whose values come to zero has no chunk.
bool WriteResolution(std::FILE* file, const KSaveContext& context) {
  KMeasurementUnit* unit = context.unit != nullptr ? context.unit : &KUnitNone;
  const float factor = unit == &KUnitNone ? 1.0f : unit->ConversionFactorTo(KUnit_m);
  unsigned char phys[9];
  const std::uint32_t x = PhysValue(context.resolutionX / factor), y = PhysValue(context.resolutionY / factor);
  if (x == 0 || y == 0) return true;
  png::PutU32(phys, x);
  png::PutU32(phys + 4, y);
  phys[8] = unit == &KUnitNone ? 0 : 1;
  return WriteChunk(file, "pHYs", phys, sizeof phys);
}

// True when `text` is valid UTF-8 and has at least one character beyond ASCII.
bool IsUtf8BeyondAscii(const std::string& text) {
  bool beyond = false;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80                   ? 1
                               : lead >= 0xC2 && lead < 0xE0 ? 2
                               : lead >= 0xE0 && lead < 0xF0 ? 3
                               : lead >= 0xF0 && lead < 0xF5 ? 4
                                                             : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    beyond = beyond || length > 1;
    i += length;
  }
  return beyond;
}

// One text chunk; texts too long for a chunk were refused before the file got a byte.
bool WriteText(std::FILE* file, const char* keyword, const char* text) {
  if (text == nullptr) return true;
  const bool international = IsUtf8BeyondAscii(text);
  // tEXt: keyword, zero, text. iTXt: keyword, zero, not compressed (0, 0), empty language and translated
  // keyword (each ended by a zero), text.
  std::string chunk(keyword);
  chunk.append(international ? std::string("\0\0\0\0\0", 5) : std::string(1, '\0'));
  chunk.append(text);
  const auto* bytes = reinterpret_cast<const unsigned char*>(chunk.data());
  return WriteChunk(file, international ? "iTXt" : "tEXt", bytes, chunk.size());
}

bool WriteTexts(std::FILE* file, KGenericROI* source) {
  if (source == nullptr) return true;
  for (const png::KTextField& field : png::kTextFields)
    if (!WriteText(file, field.keyword, (source->*field.get)())) return false;
  return true;
}

bool WriteImageData(std::FILE* file, const unsigned char* stream, std::size_t length) {
  for (std::size_t at = 0; at < length; at += kMaxIdatLength)
    if (!WriteChunk(file, "IDAT", stream + at, std::min(kMaxIdatLength, length - at))) return false;
  return true;
}

// Texts longer than a chunk can hold are refused before the file gets a byte.
bool TextsFit(KGenericROI* source) {
  if (source == nullptr) return true;
  for (const png::KTextField& field : png::kTextFields) {
    const char* text = (source->*field.get)();
    if (text != nullptr && std::strlen(text) > png::kMaxLength - 100) return false;
  }
  return true;
}

}  // namespace

K_ERRORS WritePng(KSaveContext& context) {
  // Sides are 31-bit values of at least 1; an int holds no more.
  if (context.width <= 0 || context.height <= 0 || !TextsFit(context.source)) return K_ERROR_UNSUPPORTED_PNG_FORMAT;
  const KPngLayout layout = LayoutOf(*context.kind, static_cast<std::size_t>(context.width));
  KBuffer filtered, stream;
  std::size_t length = 0;
  K_ERRORS result = FilterRows(context, layout, filtered);
  if (result == K_SUCCESS) {
    const std::size_t count = (layout.rowBytes + 1) * static_cast<std::size_t>(context.height);
    result = Compress(filtered.get(), count, context.settings.pngCompressionLevel, stream, length);
  }
  filtered.reset();
  if (result != K_SUCCESS) return result;

  std::FILE* file = context.file;
  const bool written = WriteHeader(file, context, layout) && WriteResolution(file, context) &&
                       WriteTexts(file, context.source) && WriteImageData(file, stream.get(), length) &&
                       WriteChunk(file, "IEND", nullptr, 0);
  return written ? K_SUCCESS : K_ERROR_FILE_WRITE;
}

}  // namespace kvbase::internal
