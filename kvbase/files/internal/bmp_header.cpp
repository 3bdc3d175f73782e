#include "kvbase/files/internal/bmp_header.h"

#include <algorithm>

#include "kvbase/files/internal/bmp_format.h"
#include "kvbase/files/internal/positional_read.h"

namespace kvbase::internal::bmp {
namespace {

bool KnownHeaderSize(std::uint32_t size) {
  return size == kCoreHeaderSize || size == kInfoHeaderSize || size == kV2HeaderSize || size == kV3HeaderSize ||
         size == kV4HeaderSize || size == kV5HeaderSize;
}

bool HasBitFields(std::uint32_t compression) {
  return compression == kCompressionBitFields || compression == kCompressionAlphaBitFields;
}

// How pixels of `bits` with `compression` are stored; false for a combination this reader does not
// know. Bit fields only mean something for 16 and 32 bits; other bit counts ignore them.
bool StorageOf(int bits, std::uint32_t compression, KStorage& storage) {
  if (compression == kCompressionRle8 || compression == kCompressionRle4) {
    storage = compression == kCompressionRle8 ? KStorage::kRle8 : KStorage::kRle4;
    return bits == (compression == kCompressionRle8 ? 8 : 4);
  }
  if (compression != kCompressionNone && !HasBitFields(compression)) return false;
  switch (bits) {
    case 1:
    case 8:
    case 16:
    case 24: storage = KStorage::kRows; return true;
    case 4: storage = KStorage::kIndices4; return true;
    case 32: storage = KStorage::kBytes32; return true;
    default: return false;
  }
}

// The byte of a 32-bit pixel that `mask` covers exactly, or -1.
int ByteOfMask(std::uint32_t mask) {
  for (int k = 0; k < 4; ++k)
    if (mask == 0xFFu << (8 * k)) return k;
  return -1;
}

// Reads the red, green, blue (and alpha) masks of 16- and 32-bit bit-field files from the header bytes
// `info` (masks included); fills bitCount, otherMasks, alphaMask and colourBytes.
void TakeMasks(const unsigned char* info, int maskCount, KHeader& header) {
  const std::uint32_t red = GetU32(info + kMasksAt), green = GetU32(info + kMasksAt + 4),
                      blue = GetU32(info + kMasksAt + 8);
  // A mask past a 16-bit pixel's bits (a 32-bit default copied over) names no channel of it.
  const std::uint32_t pixelBits = header.bitCount == 16 ? 0xFFFFu : 0xFFFFFFFFu;
  header.alphaMask = maskCount == 4 ? GetU32(info + kMasksAt + 12) & pixelBits : 0;
  if (header.bitCount == 16) {
    const KColorMasks read = {red, green, blue};
    const bool is555 = read == K_PIXEL_KIND_C15.masks;
    if (is555) header.bitCount = 15;
    header.otherMasks = !is555 && read != K_PIXEL_KIND_C16.masks;
    return;
  }
  header.colourBytes[0] = ByteOfMask(blue);
  header.colourBytes[1] = ByteOfMask(green);
  header.colourBytes[2] = ByteOfMask(red);
  const int* b = header.colourBytes;
  header.otherMasks = b[0] < 0 || b[1] < 0 || b[2] < 0 || b[0] == b[1] || b[1] == b[2] || b[0] == b[2];
}

// Entries of the colour table: biClrUsed, where 0 means all that the bit count can index; never more.
std::uint32_t ColoursOf(int bits, std::uint32_t used) {
  if (bits > 8) return 0;
  const std::uint32_t all = 1u << bits;
  return used == 0 || used > all ? all : used;
}

// Bytes of masks that follow a 40-byte header (the longer ones hold them).
int MaskBytesAfter(const KHeader& header) {
  if (header.size != kInfoHeaderSize) return 0;
  if (header.compression == kCompressionBitFields) return kMasksSize;
  return header.compression == kCompressionAlphaBitFields ? kMasksSize + 4 : 0;
}

}  // namespace

K_ERRORS ReadHeader(std::FILE* file, KHeader& header) {
  // The 56 bytes from offset 14 hold every field read here, masks included; a core-header file may end
  // before them, and only the header's own size (and the masks of bit fields) has to be there.
  unsigned char info[kV3HeaderSize] = {};
  if (std::fseek(file, kFileHeaderSize, SEEK_SET) != 0) return K_ERROR_FILE_READ;
  const size_t got = std::fread(info, 1, sizeof info, file);
  if (got < 4) return K_ERROR_FILE_READ;
  header.size = GetU32(info + kSizeAt);
  if (!KnownHeaderSize(header.size)) return K_ERROR_UNSUPPORTED_BMP_FORMAT;
  if (got < std::min<size_t>(header.size, sizeof info)) return K_ERROR_FILE_READ;

  int planes;
  std::uint32_t used = 0;
  header.compression = kCompressionNone;
  if (header.size == kCoreHeaderSize) {
    header.width = GetU16(info + kCoreWidthAt);
    header.height = GetU16(info + kCoreHeightAt);
    planes = GetU16(info + kCorePlanesAt);
    header.bitCount = GetU16(info + kCoreBitCountAt);
    header.resolutionX = header.resolutionY = kCoreResolution;
  } else {
    header.width = static_cast<std::int32_t>(GetU32(info + kWidthAt));
    header.height = static_cast<std::int32_t>(GetU32(info + kHeightAt));
    planes = GetU16(info + kPlanesAt);
    header.bitCount = GetU16(info + kBitCountAt);
    header.compression = GetU32(info + kCompressionAt);
    header.resolutionX = static_cast<float>(static_cast<std::int32_t>(GetU32(info + kXPelsPerMeterAt)));
    header.resolutionY = static_cast<float>(static_cast<std::int32_t>(GetU32(info + kYPelsPerMeterAt)));
    used = GetU32(info + kClrUsedAt);
  }
  if (planes != 1 || !StorageOf(header.bitCount, header.compression, header.storage))
    return K_ERROR_UNSUPPORTED_BMP_FORMAT;
  header.colours = ColoursOf(header.bitCount, used);

  // 16 bits are 5-5-5 and 32 bits blue, green, red, unused unless bit fields say otherwise.
  header.otherMasks = false;
  header.alphaMask = 0;
  header.colourBytes[0] = 0, header.colourBytes[1] = 1, header.colourBytes[2] = 2;
  if (header.bitCount == 16 && !HasBitFields(header.compression)) header.bitCount = 15;
  if (HasBitFields(header.compression) && (header.bitCount == 16 || header.bitCount == 32)) {
    const bool alphaMask = header.compression == kCompressionAlphaBitFields || header.size >= kV3HeaderSize;
    const int maskCount = alphaMask ? 4 : 3;
    if (got < static_cast<size_t>(kMasksAt + 4 * maskCount)) return K_ERROR_FILE_READ;
    TakeMasks(info, maskCount, header);
  }
  return K_SUCCESS;
}

K_ERRORS ReadPalette(std::FILE* file, long long fileSize, long long pixelOffset, const KHeader& header,
                     KPalette& palette) {
  const int entryBytes = header.size == kCoreHeaderSize ? 3 : 4;
  const long long at = kFileHeaderSize + static_cast<long long>(header.size) + MaskBytesAfter(header);
  const long long room = pixelOffset > at ? (pixelOffset - at) / entryBytes : 0;
  const long long count = std::min<long long>(header.colours, room);
  const long long bytes = count * entryBytes;
  unsigned char table[256 * 4];
  if (at + bytes > fileSize || !ReadAt(file, static_cast<std::uint64_t>(at), table, static_cast<size_t>(bytes)))
    return K_ERROR_FILE_READ;
  for (long long i = 0; i < count; ++i) {
    const unsigned char* entry = table + i * entryBytes;  // blue, green, red
    palette.Set(static_cast<int>(i), entry[2], entry[1], entry[0]);
  }
  return K_SUCCESS;
}

}  // namespace kvbase::internal::bmp
