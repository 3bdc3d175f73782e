#include "kvbase/files/internal/tiff_row_converter.h"

#include <cstring>

#include "kvbase/files/internal/tiff_rgb.h"

namespace kvbase::internal {
namespace {

// Sets bit x (most significant first) of `row` to `on`.
void PutBit(unsigned char* row, std::size_t x, bool on) {
  const unsigned char bit = static_cast<unsigned char>(0x80 >> (x & 7));
  row[x >> 3] = static_cast<unsigned char>(on ? row[x >> 3] | bit : row[x >> 3] & ~bit);
}

// Copies `pixels` packed bits to `row` from bit `x` on; the bits around them stay.
void CopyBits(const unsigned char* in, std::size_t pixels, unsigned char* row, std::size_t x) {
  if (x % 8 != 0) {
    for (std::size_t i = 0; i < pixels; ++i) PutBit(row, x + i, (in[i >> 3] & (0x80 >> (i & 7))) != 0);
    return;
  }
  unsigned char* out = row + x / 8;
  const std::size_t whole = pixels / 8, rest = pixels % 8;
  std::memcpy(out, in, whole);
  if (rest != 0) {
    const unsigned char mask = static_cast<unsigned char>(0xFF00 >> rest);
    out[whole] = static_cast<unsigned char>((out[whole] & ~mask) | (in[whole] & mask));
  }
}

}  // namespace

KTiffRowConverter::KTiffRowConverter(const KTiffSamples& samples, K_IMAGE_TYPES target, const KPalette& palette)
    : samples_(samples), target_(target), palette_(palette) {}

bool KTiffRowConverter::Reserve(std::size_t widest) {
  // Samples are unpacked, or picked out of their pixels, only when narrower than a byte or not alone;
  // only the first sample of each pixel is kept, so a byte a pixel is enough.
  const bool unpacks = samples_.bits < 8 || samples_.samples > 1;
  return !unpacks || unpacked_.Reserve(widest);
}

const unsigned char* KTiffRowConverter::FirstSamples(const unsigned char* in, std::size_t pixels) {
  if (samples_.bits == 8 && samples_.samples == 1) return in;
  unsigned char* out = unpacked_.Data();
  UnpackSamples(in, samples_.bits, pixels, out, samples_.samples);
  return out;
}

void KTiffRowConverter::ToBw1(const unsigned char* in, std::size_t pixels, unsigned char* row, std::size_t x) {
  if (samples_.samples == 1) {
    CopyBits(in, pixels, row, x);
    return;
  }
  const unsigned char* bits = FirstSamples(in, pixels);
  for (std::size_t i = 0; i < pixels; ++i) PutBit(row, x + i, bits[i] != 0);
}

void KTiffRowConverter::ToBw8(const unsigned char* in, std::size_t pixels, unsigned char* out) {
  if (samples_.colour == KTiffColour::kPalette) {
    palette_.ToGray(FirstSamples(in, pixels), pixels, out);
    return;
  }
  const unsigned char* gray = FirstSamples(in, pixels);
  if (gray != out) std::memcpy(out, gray, pixels);
  if (samples_.bits < 8) ScaleToEightBits(out, samples_.bits, pixels);
}

void KTiffRowConverter::ToC24(const unsigned char* const* planes, std::size_t pixels, unsigned char* out) {
  if (samples_.colour == KTiffColour::kPalette) {
    palette_.ToBgr(FirstSamples(planes[0], pixels), pixels, out);
  } else if (samples_.separatePlanes) {
    const unsigned char *red = planes[0], *green = planes[1], *blue = planes[2];
    for (std::size_t i = 0; i < pixels; ++i) {
      out[3 * i] = blue[i];
      out[3 * i + 1] = green[i];
      out[3 * i + 2] = red[i];
    }
  } else if (samples_.samples == 3) {
    SwapRedBlue(planes[0], out, pixels);
  } else {
    KeepLeadingBytes(planes[0], samples_.samples, 3, pixels, out);
    SwapRedBlue(out, out, pixels);
  }
}

void KTiffRowConverter::Convert(const unsigned char* const* planes, std::size_t pixels, unsigned char* row,
                                std::size_t x) {
  switch (target_) {
    case K_IMAGE_BW1: ToBw1(planes[0], pixels, row, x); break;
    case K_IMAGE_BW8: ToBw8(planes[0], pixels, row + x); break;
    case K_IMAGE_BW16:
      if (samples_.samples == 1) {
        std::memcpy(row + 2 * x, planes[0], 2 * pixels);
      } else {
        KeepLeadingBytes(planes[0], 2 * samples_.samples, 2, pixels, row + 2 * x);
      }
      break;
    default: ToC24(planes, pixels, row + 3 * x); break;
  }
}

}  // namespace kvbase::internal
