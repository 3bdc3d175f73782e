#include "kvbase/platform/internal/pixel_format.h"

namespace kvgdi {

bool Channel::Set(std::uint32_t mask) {
  shift = bits = drop = 0;
  expand.fill(0);
  if (mask == 0) return true;
  while (((mask >> shift) & 1u) == 0) ++shift;
  std::uint32_t run = mask >> shift;
  int width = 0;
  while ((run >> width) & 1u) ++width;
  if (width < 32 && (run >> width) != 0) return false;  // holes in the mask
  drop = width > 8 ? width - 8 : 0;
  bits = width - drop;
  const std::uint32_t maximum = (1u << bits) - 1u;
  for (std::uint32_t v = 0; v <= maximum; ++v) expand[v] = static_cast<std::uint8_t>((v * 255 + maximum / 2) / maximum);
  return true;
}

std::uint32_t Channel::Encode(std::uint32_t value8) const {
  if (bits == 0) return 0;
  // Scale 0..255 to the channel's range, rounding to nearest, then put the value in place.
  const std::uint32_t maximum = (1u << bits) - 1u;
  const std::uint32_t v = (value8 * maximum + 127) / 255;
  return (v << drop) << shift;  // bits below the top 8 of a wide channel stay 0
}

bool PixelFormat::SetMasks(std::uint32_t redMask, std::uint32_t greenMask, std::uint32_t blueMask) {
  plain32 = bitsPerPixel == 32 && redMask == 0xFF0000u && greenMask == 0xFF00u && blueMask == 0xFFu;
  return red.Set(redMask) && green.Set(greenMask) && blue.Set(blueMask);
}

std::uint32_t PixelFormat::EncodePacked(Bgrx color) const {
  if (plain32 || bitsPerPixel == 24) return color & 0xFFFFFFu;
  return red.Encode((color >> 16) & 0xFFu) | green.Encode((color >> 8) & 0xFFu) | blue.Encode(color & 0xFFu);
}

std::int64_t DibStride(std::int64_t width, int bitsPerPixel) {
  if (width <= 0 || width > (std::int64_t{1} << 32)) return -1;
  return (width * bitsPerPixel + 31) / 32 * 4;
}

const std::array<Bgrx, 256>& DefaultPaletteColors() {
  static const std::array<Bgrx, 256> colors = [] {
    std::array<Bgrx, 256> table{};
    int n = 0;
    for (unsigned r = 0; r < 6; ++r)
      for (unsigned g = 0; g < 6; ++g)
        for (unsigned b = 0; b < 6; ++b) table[n++] = MakeBgrx(51 * r, 51 * g, 51 * b);
    for (unsigned i = 1; i <= 40; ++i) {
      const unsigned level = (i * 255 + 20) / 41;
      table[n++] = MakeBgrx(level, level, level);
    }
    return table;
  }();
  return colors;
}

}  // namespace kvgdi
