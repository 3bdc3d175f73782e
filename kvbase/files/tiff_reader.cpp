// The TIFF reader: the first directory (page) of an "II" or "MM" file, checked against the caller's
// pixel kind, then the strips or tiles into the target's rows.
//
// Accepted files have samples that are unsigned integers, the first pixel of a byte in its high bits:
// - gray (black is zero) of 1, 2, 4, 8 or 16 bits, red, green, blue of 8 bits, or palette indices of
//   1, 2, 4 or 8 bits with a colour map of 16-bit entries; extra samples (alpha) after them are dropped;
// - uncompressed, PackBits, LZW or Deflate, the last two with or without the horizontal predictor;
// - in strips or tiles, the samples of a pixel side by side or in separate planes.
// Each needs a target that holds its pixels exactly: 1-bit gray loads into BW1 (packed) or BW8 (0 and
// 255), 2- to 8-bit gray into BW8 (scaled), 16-bit gray into BW16, RGB and palettes into C24 (blue,
// green, red), palettes whose entries are all gray also into BW8.
//
// The plain strip layouts go straight into the target's rows (tiff_strip_reader); everything else is
// decoded block by block (tiff_block_reader). Nothing is trusted: before the target is resized the
// strips or tiles must be able to fill it from the bytes the file actually has, and no byte is ever
// written outside the target's rows.

#include <algorithm>
#include <climits>
#include <cstdint>

#include "kvbase/files/internal/file_format.h"
#include "kvbase/files/internal/sample_rows.h"
#include "kvbase/files/internal/tiff_block_reader.h"
#include "kvbase/files/internal/tiff_blocks.h"
#include "kvbase/files/internal/tiff_directory.h"
#include "kvbase/files/internal/tiff_format.h"
#include "kvbase/files/internal/tiff_row_converter.h"
#include "kvbase/files/internal/tiff_strip_reader.h"
#include "kvbase/foundation/errors.h"
#include "kvbase/image/roi.h"

namespace kvbase::internal {
namespace {

bool IsLzwOrDeflate(std::uint32_t compression) {
  return compression == kCompressionLzw || compression == kCompressionDeflate || compression == kCompressionOldDeflate;
}

bool IsKnownCompression(std::uint32_t compression) {
  return compression == kCompressionNone || compression == kCompressionPackBits || IsLzwOrDeflate(compression);
}

KTiffColour Colour(const KTiffDirectory& d) {
  if (d.photometric == kPhotometricRgb) return KTiffColour::kRgb;
  return d.photometric == kPhotometricPalette ? KTiffColour::kPalette : KTiffColour::kGray;
}

std::uint32_t ColourSamples(const KTiffDirectory& d) { return Colour(d) == KTiffColour::kRgb ? 3 : 1; }

// Bytes of one chunky row in the file.
std::uint64_t ChunkyRowBytes(const KTiffDirectory& d) {
  return (std::uint64_t{d.width} * d.samplesPerPixel * d.bitsPerSample + 7) / 8;
}

// When a single uncompressed strip has no StripByteCounts, it holds the whole image: every sample's bytes
// are counted (two for 16 bits), so that no row is left unread.
void SupplyByteCount(KTiffDirectory& d) {
  if (d.compression != kCompressionNone || d.Tiled() || !d.hasStripOffsets || d.stripOffsets.count != 1 ||
      d.hasStripByteCounts) {
    return;
  }
  const std::uint64_t bytes = std::min<std::uint64_t>(ChunkyRowBytes(d) * d.height, 0xFFFFFFFFu);
  // Stored in the value field in the file's byte order, as if the file had it.
  d.stripByteCounts = {kTagStripByteCounts, kTypeLong, 1, {}};
  d.order.PutU32(d.stripByteCounts.value, static_cast<std::uint32_t>(bytes));
  d.hasStripByteCounts = true;
}

// True when every value of BitsPerSample is the first one, or the values do not lie in the file (then
// the first one could not be read either, and the depth is the default one). Only values in the file
// are looked at, so the count the file claims costs no more than the file's size.
bool SamplesOfOneDepth(const KLoadContext& context, const KTiffDirectory& d) {
  KTiffValues bits(context.file, context.fileSize, d.order, d.bitsPerSampleEntry);
  if (!bits.InFile()) return true;
  const std::uint32_t count = std::min(bits.Count(), d.samplesPerPixel);
  for (std::uint32_t i = 1; i < count; ++i) {
    std::uint32_t value = 0;
    if (bits.Get(i, value) && value != d.bitsPerSample) return false;
  }
  return true;
}

bool DepthAccepted(const KTiffDirectory& d) {
  const std::uint32_t bits = d.bitsPerSample;
  switch (Colour(d)) {
    case KTiffColour::kGray: return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16;
    case KTiffColour::kRgb: return bits == 8;  // no kind holds 16-bit colour
    default: return bits == 1 || bits == 2 || bits == 4 || bits == 8;
  }
}

// The horizontal predictor is part of LZW and Deflate, on samples of 8 and 16 bits; other codecs have
// none and their files' Predictor tag means nothing.
bool PredictorAccepted(const KTiffDirectory& d) {
  if (!IsLzwOrDeflate(d.compression) || d.predictor == kPredictorNone) return true;
  return d.predictor == kPredictorHorizontal && (d.bitsPerSample == 8 || d.bitsPerSample == 16);
}

// What the file is, regardless of the caller.
K_ERRORS CheckFile(const KLoadContext& context, const KTiffDirectory& d) {
  const bool hasBlocks =
      d.Tiled() ? d.hasTileOffsets && d.hasTileByteCounts : d.hasStripOffsets && d.hasStripByteCounts;
  if (d.width == 0 || d.height == 0 || !hasBlocks) return K_ERROR_BAD_FILE_FORMAT;
  if (d.newSubfileType & 7) return K_ERROR_UNSUPPORTED_TIFF_FORMAT;
  // Samples are read as unsigned integers, the first pixel of a byte in its high bits: reversed bits,
  // signed or floating-point samples would load as wrong pixels.
  if (d.fillOrder != kFillOrderHighBitFirst ||
      (d.sampleFormat != kSampleFormatUnsigned && d.sampleFormat != kSampleFormatUndefined)) {
    return K_ERROR_UNSUPPORTED_TIFF_FORMAT;
  }
  // White is zero, CMYK, YCbCr and the rest stay refused, and so does JPEG in TIFF.
  const bool photometric =
      d.hasPhotometric && (d.photometric == kPhotometricBlackIsZero || d.photometric == kPhotometricRgb ||
                           d.photometric == kPhotometricPalette);
  // SamplesPerPixel is a 16-bit field: a larger value, read from a field of another type, is no count.
  if (!photometric || !IsKnownCompression(d.compression) || !DepthAccepted(d) || d.samplesPerPixel < ColourSamples(d) ||
      d.samplesPerPixel > 0xFFFF || (d.planarConfiguration != 1 && d.planarConfiguration != 2) ||
      !PredictorAccepted(d) || !SamplesOfOneDepth(context, d)) {
    return K_ERROR_UNSUPPORTED_TIFF_FORMAT;
  }
  // Palette files were refused as unsupported before they could load; one without a usable map still is.
  if (Colour(d) == KTiffColour::kPalette &&
      (!d.hasColorMap || d.colorMap.type != kTypeShort || d.colorMap.count < 3u << d.bitsPerSample)) {
    return K_ERROR_UNSUPPORTED_TIFF_FORMAT;
  }
  return K_SUCCESS;
}

// The colour map: all red entries, then all green, then all blue, 16 bits each, of which the high byte
// is kept. Maps whose entries all lie below 256 come from writers that put 8-bit values there; those
// are taken as they are, as libtiff's own RGBA reader does. A real 16-bit map that dark (every entry
// below 1/256 of full scale) would show as nearly black either way.
K_ERRORS ReadPalette(const KLoadContext& context, const KTiffDirectory& d, KPalette& palette) {
  KTiffValues map(context.file, context.fileSize, d.order, d.colorMap);
  const std::uint32_t entries = 1u << d.bitsPerSample;
  std::uint32_t values[3 * 256];
  bool eightBit = true;
  for (std::uint32_t i = 0; i < 3 * entries; ++i) {
    if (!map.Get(i, values[i])) return K_ERROR_FILE_READ;
    eightBit = eightBit && values[i] < 256;
  }
  const int shift = eightBit ? 0 : 8;
  for (std::uint32_t i = 0; i < entries; ++i) {
    palette.Set(static_cast<int>(i), static_cast<std::uint8_t>(values[i] >> shift),
                static_cast<std::uint8_t>(values[entries + i] >> shift),
                static_cast<std::uint8_t>(values[2 * entries + i] >> shift));
  }
  return K_SUCCESS;
}

// Whether the caller's pixel kind holds the file's pixels: planes first, then the depth of each sample.
K_ERRORS CheckKind(const KTiffDirectory& d, const KPixelKind& kind, const KPalette& palette) {
  const KTiffColour colour = Colour(d);
  if (colour == KTiffColour::kGray) {
    if (kind.planesPerPixel != 1) return K_ERROR_COLOR_IMAGE_EXPECTED;
    const std::uint32_t bits = d.bitsPerSample;
    const bool fits = kind.type == K_IMAGE_BW1    ? bits == 1
                      : kind.type == K_IMAGE_BW8  ? bits <= 8
                      : kind.type == K_IMAGE_BW16 ? bits == 16
                                                  : false;
    return fits ? K_SUCCESS : K_ERROR_UNSUPPORTED_TIFF_FORMAT;
  }
  if (kind.type == K_IMAGE_C24) return K_SUCCESS;
  if (colour == KTiffColour::kPalette && kind.type == K_IMAGE_BW8 && palette.IsGray()) return K_SUCCESS;
  return kind.type == K_IMAGE_BW8 ? K_ERROR_GRAY_IMAGE_EXPECTED : K_ERROR_UNSUPPORTED_TIFF_FORMAT;
}

// The code a load reports: the compression's code for the target's planes. Uncompressed and PackBits
// files report the codes they always have, whatever their layout: colour ones 2 (code 5 has no writer),
// 16-bit ones 1. 1-bit gray files have codes of their own only uncompressed and PackBits; compressed
// otherwise, they report the bilevel compressed code, which saves them back compressed.
short FormatCode(const KTiffDirectory& d, const KPixelKind& kind) {
  const bool colour = kind.planesPerPixel == 3;
  // A 1-bit palette gives its own gray levels, not 0 and 255: it reports a gray code.
  const bool bilevel = d.bitsPerSample == 1 && !colour && Colour(d) == KTiffColour::kGray;
  switch (d.compression) {
    case kCompressionLzw:
      return bilevel  ? K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS
             : colour ? K_FILE_FORMAT_TIFF_COLOR_LZW
                      : K_FILE_FORMAT_TIFF_GRAY_LZW;
    case kCompressionDeflate:
    case kCompressionOldDeflate:
      return bilevel  ? K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS
             : colour ? K_FILE_FORMAT_TIFF_COLOR_DEFLATE
                      : K_FILE_FORMAT_TIFF_GRAY_DEFLATE;
    case kCompressionPackBits:
      if (bilevel) return K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS;
      if (colour) return K_FILE_FORMAT_TIFF_COLOR;
      return d.bitsPerSample == 16 ? K_FILE_FORMAT_TIFF_GRAY : K_FILE_FORMAT_TIFF_GRAY_PACKBITS;
    default:
      if (bilevel) return K_FILE_FORMAT_TIFF_BILEVEL;
      return colour ? K_FILE_FORMAT_TIFF_COLOR : K_FILE_FORMAT_TIFF_GRAY;
  }
}

// Bytes a target row of `kind` needs for `width` pixels.
std::uint64_t TargetRowBytes(const KPixelKind& kind, std::uint32_t width) {
  if (kind.type == K_IMAGE_BW1) return (std::uint64_t{width} + 7) / 8;
  return std::uint64_t{width} * static_cast<std::uint64_t>(kind.bitsPerPixel / 8);
}

K_ERRORS ReadBlocks(KLoadContext& context, const KTiffDirectory& d, const KTiffBlocks& blocks,
                    const KPalette& palette) {
  const KTiffSamples samples{Colour(d), static_cast<int>(d.bitsPerSample), blocks.blockSamples, blocks.usedPlanes > 1};
  const KTiffCoding coding{d.compression, IsLzwOrDeflate(d.compression) && d.predictor == kPredictorHorizontal,
                           d.order.BigEndian()};
  KTiffRowConverter converter(samples, context.kind->type, palette);
  return ReadTiffBlocks(context, blocks, coding, samples, converter);
}

K_ERRORS Read(KLoadContext& context) {
  KTiffDirectory d(context.header[0] == 'M');
  if (ReadTiffDirectory(context, d) != K_SUCCESS) return K_ERROR_FILE_READ;
  SupplyByteCount(d);
  K_ERRORS code = CheckFile(context, d);
  KPalette palette;
  if (code == K_SUCCESS && Colour(d) == KTiffColour::kPalette) code = ReadPalette(context, d, palette);
  if (code == K_SUCCESS) code = CheckKind(d, *context.kind, palette);
  if (code != K_SUCCESS) return code;
  context.format = FormatCode(d, *context.kind);
  if (d.width > INT_MAX || d.height > INT_MAX) return K_ERROR_ALLOCATION;

  const bool plain = IsPlainStripLayout(d);
  KTiffBlocks blocks{};
  code = plain ? CheckPlainStrips(context, d) : PlanTiffBlocks(context, d, ColourSamples(d), blocks);
  if (code != K_SUCCESS) return code;

  context.width = static_cast<int>(d.width);
  context.height = static_cast<int>(d.height);
  code = PrepareTarget(context);
  if (code != K_SUCCESS) return code;
  // The rows the readers write must fit the target's rows.
  if (context.pixels == nullptr || context.rowLength < 0 ||
      static_cast<std::uint64_t>(context.rowLength) < TargetRowBytes(*context.kind, d.width)) {
    return K_ERROR_IMAGE_MEMORY_ACCESS;
  }
  return plain ? ReadPlainStrips(context, d) : ReadBlocks(context, d, blocks, palette);
}

const char* CompressionName(std::uint32_t compression) {
  switch (compression) {
    case kCompressionNone: return "none";
    case kCompressionPackBits: return "PackBits";
    case kCompressionLzw: return "LZW";
    case 6:
    case 7: return "JPEG";
    case kCompressionDeflate:
    case kCompressionOldDeflate: return "Deflate";
    default: return "other";
  }
}

const char* ColorSpaceName(const KTiffDirectory& d) {
  if (!d.hasPhotometric) return "unknown";
  switch (d.photometric) {
    case 0: return "gray (white 0)";
    case kPhotometricBlackIsZero: return "gray";
    case kPhotometricRgb: return "RGB";
    case kPhotometricPalette: return "palette";
    case 5: return "CMYK";
    case 6: return "YCbCr";
    default: return "other";
  }
}

}  // namespace

K_ERRORS ReadTiff(KLoadContext& context) { return Read(context); }

K_ERRORS DescribeTiff(KLoadContext& context, KImageFileInfo& info) {
  KTiffDirectory d(context.header[0] == 'M');
  if (ReadTiffDirectory(context, d) != K_SUCCESS) return K_ERROR_FILE_READ;
  if (d.width == 0 || d.height == 0 || d.width > INT_MAX || d.height > INT_MAX) return K_ERROR_BAD_FILE_FORMAT;
  info.width = static_cast<int>(d.width);
  info.height = static_cast<int>(d.height);
  info.samplesPerPixel = static_cast<int>(d.samplesPerPixel);
  info.bitsPerSample = static_cast<int>(d.bitsPerSample);
  info.hasPalette = d.hasPhotometric && d.photometric == kPhotometricPalette ? 1 : 0;
  const std::uint32_t colourSamples = d.hasPhotometric && (d.photometric == kPhotometricRgb || d.photometric == 6) ? 3
                                      : d.hasPhotometric && d.photometric == 5                                     ? 4
                                                                                                                   : 1;
  info.hasAlpha = d.samplesPerPixel > colourSamples ? 1 : 0;
  info.pages = static_cast<int>(CountTiffPages(context, d.order));
  SetInfoText(info.compression, CompressionName(d.compression));
  SetInfoText(info.colorSpace, ColorSpaceName(d));
  return K_SUCCESS;
}

}  // namespace kvbase::internal
