#ifndef KVBASE_PLATFORM_INTERNAL_DIB_TRANSFER_H
#define KVBASE_PLATFORM_INTERNAL_DIB_TRANSFER_H

// Reading device-independent bitmap descriptions and copying DIB pixels onto a Surface, unscaled or
// stretched by nearest sampling.
//
// A transfer plans once per call: a column table (the source byte offset, or bit index, of every
// destination column) and a row table (the source row of every destination row), both already
// clipped to the destination and to the source rows that are present. The pixel loop then only looks
// tables up, with no division or floating point per pixel; indexed sources go through a 256-entry table
// of destination values, and a destination row that repeats the source row of the row above is copied.

#include <cstdint>

#include "kvbase/platform/gdi_dib.h"
#include "kvbase/platform/internal/pixel_format.h"
#include "kvbase/platform/internal/surface.h"

namespace kvgdi {

// The layout of a BITMAPINFO: size, orientation, row stride and pixel format.
struct DibLayout {
  PixelFormat format;
  int width = 0;
  int height = 0;  // always positive
  bool topDown = false;
  std::int64_t stride = 0;
};

// Reads the header, colour table or masks of `info`. False for anything the GDI does not draw: null,
// a header shorter than 40 bytes, a width or height of 0, planes other than 1, a bit count other than 1,
// 8, 16, 24 or 32, a compression other than BI_RGB (or BI_BITFIELDS at 16 and 32 bits) with contiguous
// masks, or a colour usage other than DIB_RGB_COLORS.
bool ReadDibLayout(const BITMAPINFO* info, UINT usage, DibLayout* layout);

// Pixels to read from: the rows [rowLow, rowHigh), counted from the top, of an image `width` x `height`
// in `format`; row t starts at `base + firstRowOffset + t * pitch`.
struct DibSource {
  PixelFormat format;
  int width = 0;
  int height = 0;
  const std::uint8_t* base = nullptr;
  std::int64_t firstRowOffset = 0;
  std::int64_t pitch = 0;
  int rowLow = 0;
  int rowHigh = 0;
  const std::uint8_t* Row(std::int64_t t) const { return base + (firstRowOffset + t * pitch); }
};

// The source for caller memory that holds the scan lines `start` to `start + lines - 1` of a DIB:
// counted from the top for a top-down DIB, from the bottom for a bottom-up one. False when no line of
// the DIB is present.
bool BandedSource(const DibLayout& layout, const void* pixels, std::int64_t start, std::int64_t lines,
                  DibSource* source);

// The source reading a whole Surface.
DibSource SurfaceSource(const Surface& surface);

// Draws the source rectangle (sx, sy, sw, sh), sy counted from the top, into the destination rectangle
// (dx, dy, dw, dh): destination column i takes source column sx + floor(((2i + 1) sw - 1) / (2 dw)), the
// column whose extent holds the centre of i (ties go left); rows likewise. Destination pixels outside
// the surface, or whose sample lies outside the present source rows and columns, are left alone. All
// sizes must be positive.
void Transfer(Surface& destination, std::int64_t dx, std::int64_t dy, std::int64_t dw, std::int64_t dh,
              const DibSource& source, std::int64_t sx, std::int64_t sy, std::int64_t sw, std::int64_t sh);

}  // namespace kvgdi

#endif  // KVBASE_PLATFORM_INTERNAL_DIB_TRANSFER_H
