#ifndef KVBASE_PLATFORM_INTERNAL_PIXEL_FORMAT_H
#define KVBASE_PLATFORM_INTERNAL_PIXEL_FORMAT_H

// Pixel formats of the software GDI's raster: how a stored pixel value turns into a colour and back.
//
// Inside the raster a colour is a Bgrx word 0x00RRGGBB, which is the memory layout of an RGBQUAD and of
// a 32-bit DIB pixel on a little-endian machine, so 32-bit pixels need no conversion at all. COLORREF
// (0x00BBGGRR) is converted at the API boundary.

#include <array>
#include <cstdint>

#include "kvbase/platform/windows_types.h"

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the software GDI stores 32-bit pixels as little-endian words"
#endif

namespace kvgdi {

using Bgrx = std::uint32_t;

inline Bgrx BgrxFromColorref(COLORREF c) { return ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu); }
inline COLORREF ColorrefFromBgrx(Bgrx c) { return ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu); }
inline Bgrx MakeBgrx(unsigned red, unsigned green, unsigned blue) { return (red << 16) | (green << 8) | blue; }

// One colour channel of a packed 16- or 32-bit pixel, described by its contiguous bit mask.
struct Channel {
  int shift = 0;                           // position of the lowest bit of the mask
  int bits = 0;                            // number of bits kept after the decode shift (at most 8)
  int drop = 0;                            // low bits of a wider-than-8-bit channel that are dropped
  std::array<std::uint8_t, 256> expand{};  // kept bits -> 0..255

  // False when the mask is not one contiguous run of bits.
  bool Set(std::uint32_t mask);
  std::uint32_t Decode(std::uint32_t pixel) const { return expand[((pixel >> shift) >> drop) & ((1u << bits) - 1u)]; }
  std::uint32_t Encode(std::uint32_t value8) const;
};

// A pixel format: 1 or 8 bits per pixel index a colour table; 16 and 32 bits hold channels given by
// masks (32 bits with the plain 0x00RRGGBB masks are marked `plain32`); 24 bits are blue, green, red.
struct PixelFormat {
  int bitsPerPixel = 0;
  int colorCount = 0;              // entries of `colors` in use (indexed formats)
  std::array<Bgrx, 256> colors{};  // indexed formats; entries past colorCount are black
  Channel red, green, blue;        // 16 and 32 bits
  bool plain32 = false;

  bool Indexed() const { return bitsPerPixel <= 8; }
  // Sets up the packed formats from three masks; false for a mask that is not contiguous.
  bool SetMasks(std::uint32_t redMask, std::uint32_t greenMask, std::uint32_t blueMask);
  // The colour of a packed (16, 24 or 32-bit) pixel value.
  Bgrx DecodePacked(std::uint32_t pixel) const {
    if (plain32 || bitsPerPixel == 24) return pixel & 0xFFFFFFu;
    return MakeBgrx(red.Decode(pixel), green.Decode(pixel), blue.Decode(pixel));
  }
  // The packed pixel value of a colour (16, 24 or 32 bits).
  std::uint32_t EncodePacked(Bgrx color) const;
};

// Bytes per row of a DIB: rows are padded to a multiple of 32 bits. -1 when it cannot be represented.
std::int64_t DibStride(std::int64_t width, int bitsPerPixel);

// The palette of a new 8-bit device: the 6 x 6 x 6 colour cube (blue fastest, steps of 51) in entries
// 0 to 215, then a ramp of 40 grays strictly between black and white.
const std::array<Bgrx, 256>& DefaultPaletteColors();

}  // namespace kvgdi

#endif  // KVBASE_PLATFORM_INTERNAL_PIXEL_FORMAT_H
