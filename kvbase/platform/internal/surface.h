#ifndef KVBASE_PLATFORM_INTERNAL_SURFACE_H
#define KVBASE_PLATFORM_INTERNAL_SURFACE_H

// The plain pixel surface under every device context: a rectangle of pixels of one PixelFormat in
// memory that it may or may not own, addressed top row first whatever the order of the rows in memory.
// Colours are turned into stored pixel values (Encode) once per drawing call; the raster functions then
// write values only.

#include <array>
#include <cstdint>

#include "kvbase/platform/internal/pixel_format.h"

namespace kvgdi {

class Surface {
 public:
  Surface() = default;
  ~Surface();
  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;

  // Allocates zero-filled memory for `width` x `height` pixels of `format`, rows stored top-down or
  // bottom-up. False (and nothing allocated) when the size is not positive or cannot be had.
  bool Allocate(int width, int height, const PixelFormat& format, bool topDown);

  // Views memory owned by someone else: `row0` is the top row, `pitch` the signed distance in bytes
  // from one row to the next one down.
  void View(int width, int height, const PixelFormat& format, std::uint8_t* row0, std::int64_t pitch);

  int Width() const { return width_; }
  int Height() const { return height_; }
  const PixelFormat& Format() const { return format_; }
  std::int64_t Pitch() const { return pitch_; }
  std::int64_t Stride() const { return pitch_ < 0 ? -pitch_ : pitch_; }
  // The pixel memory as laid out in memory (the lowest address), for DIB section callers.
  std::uint8_t* Memory() const { return pitch_ < 0 ? row0_ + pitch_ * (height_ - 1) : row0_; }
  std::uint8_t* Row(int y) const { return row0_ + pitch_ * y; }
  bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }

  // Replaces the first `count` entries of an indexed format's colour table; later colours map only to
  // those entries (a palette device realizing a palette).
  void LoadPalette(const Bgrx* colors, int count);

  // The stored value that shows `color` best: the nearest colour table entry (ties to the lowest
  // index) or the packed pixel.
  std::uint32_t Encode(Bgrx color);
  // The colour a stored value shows.
  Bgrx Decode(std::uint32_t value) const;

  std::uint32_t Read(int x, int y) const;
  // Writes without checking bounds.
  void Write(int x, int y, std::uint32_t value);
  // Fills columns [x0, x1) of row y, clipped to the surface.
  void FillSpan(int y, std::int64_t x0, std::int64_t x1, std::uint32_t value);
  // Fills [x0, x1) x [y0, y1), clipped to the surface.
  void FillRect(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1, std::uint32_t value);

 private:
  int NearestIndex(Bgrx color) const;

  PixelFormat format_;
  int width_ = 0;
  int height_ = 0;
  std::uint8_t* row0_ = nullptr;
  std::int64_t pitch_ = 0;
  std::uint8_t* owned_ = nullptr;
  int matchCount_ = 0;  // colour table entries that colours may map to
  // Nearest-index results by colour, so that the table search runs once per distinct colour.
  std::array<std::uint32_t, 1024> cacheKey_{};
  std::array<std::uint8_t, 1024> cacheIndex_{};
};

}  // namespace kvgdi

#endif  // KVBASE_PLATFORM_INTERNAL_SURFACE_H
