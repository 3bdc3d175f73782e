#include "kvbase/platform/internal/surface.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace kvgdi {
namespace {

// Cache keys are colour + 1 so that a zeroed slot never matches.
std::size_t CacheSlot(Bgrx color) { return ((color * 2654435761u) >> 22) & 1023u; }

}  // namespace

Surface::~Surface() { std::free(owned_); }

bool Surface::Allocate(int width, int height, const PixelFormat& format, bool topDown) {
  if (width <= 0 || height <= 0) return false;
  const std::int64_t stride = DibStride(width, format.bitsPerPixel);
  if (stride <= 0 || stride > std::numeric_limits<std::int64_t>::max() / height) return false;
  const std::uint64_t bytes = static_cast<std::uint64_t>(stride) * static_cast<std::uint64_t>(height);
  if (bytes > std::numeric_limits<std::size_t>::max()) return false;
  auto* memory = static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(bytes), 1));
  if (memory == nullptr) return false;
  std::free(owned_);
  owned_ = memory;
  View(width, height, format, topDown ? memory : memory + stride * (height - 1), topDown ? stride : -stride);
  return true;
}

void Surface::View(int width, int height, const PixelFormat& format, std::uint8_t* row0, std::int64_t pitch) {
  format_ = format;
  width_ = width;
  height_ = height;
  row0_ = row0;
  pitch_ = pitch;
  matchCount_ = format.Indexed() ? std::max(1, format.colorCount) : 0;
  cacheKey_.fill(0);
}

void Surface::LoadPalette(const Bgrx* colors, int count) {
  count = std::min(count, 1 << format_.bitsPerPixel);
  if (!format_.Indexed() || count <= 0) return;
  std::copy(colors, colors + count, format_.colors.begin());
  format_.colorCount = std::max(format_.colorCount, count);
  matchCount_ = count;
  cacheKey_.fill(0);
}

int Surface::NearestIndex(Bgrx color) const {
  int best = 0;
  std::int64_t bestDistance = std::numeric_limits<std::int64_t>::max();
  for (int i = 0; i < matchCount_; ++i) {
    const Bgrx entry = format_.colors[i];
    const std::int64_t dr = static_cast<int>((entry >> 16) & 0xFF) - static_cast<int>((color >> 16) & 0xFF);
    const std::int64_t dg = static_cast<int>((entry >> 8) & 0xFF) - static_cast<int>((color >> 8) & 0xFF);
    const std::int64_t db = static_cast<int>(entry & 0xFF) - static_cast<int>(color & 0xFF);
    const std::int64_t distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = i;
      if (distance == 0) break;
    }
  }
  return best;
}

std::uint32_t Surface::Encode(Bgrx color) {
  color &= 0xFFFFFFu;
  if (!format_.Indexed()) return format_.EncodePacked(color);
  const std::size_t slot = CacheSlot(color);
  if (cacheKey_[slot] != color + 1) {
    cacheKey_[slot] = color + 1;
    cacheIndex_[slot] = static_cast<std::uint8_t>(NearestIndex(color));
  }
  return cacheIndex_[slot];
}

Bgrx Surface::Decode(std::uint32_t value) const {
  if (format_.Indexed()) return format_.colors[value & 0xFFu];
  return format_.DecodePacked(value);
}

std::uint32_t Surface::Read(int x, int y) const {
  const std::uint8_t* row = Row(y);
  switch (format_.bitsPerPixel) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case 8: return row[x];
    case 16: return static_cast<std::uint32_t>(row[2 * x] | (row[2 * x + 1] << 8));
    case 24: return static_cast<std::uint32_t>(row[3 * x] | (row[3 * x + 1] << 8) | (row[3 * x + 2] << 16));
    default: {
      std::uint32_t value;
      std::memcpy(&value, row + 4 * static_cast<std::int64_t>(x), 4);
      return value;
    }
  }
}

void Surface::Write(int x, int y, std::uint32_t value) {
  std::uint8_t* row = Row(y);
  switch (format_.bitsPerPixel) {
    case 1: {
      const std::uint8_t bit = static_cast<std::uint8_t>(0x80u >> (x & 7));
      row[x >> 3] = static_cast<std::uint8_t>((value & 1u) ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit));
      break;
    }
    case 8: row[x] = static_cast<std::uint8_t>(value); break;
    case 16:
      row[2 * x] = static_cast<std::uint8_t>(value);
      row[2 * x + 1] = static_cast<std::uint8_t>(value >> 8);
      break;
    case 24:
      row[3 * x] = static_cast<std::uint8_t>(value);
      row[3 * x + 1] = static_cast<std::uint8_t>(value >> 8);
      row[3 * x + 2] = static_cast<std::uint8_t>(value >> 16);
      break;
    default: std::memcpy(row + 4 * static_cast<std::int64_t>(x), &value, 4); break;
  }
}

void Surface::FillSpan(int y, std::int64_t x0, std::int64_t x1, std::uint32_t value) {
  if (y < 0 || y >= height_) return;
  // Clipped in 64 bits: a span far off the surface must neither wrap into it nor be walked.
  const int from = static_cast<int>(std::clamp<std::int64_t>(x0, 0, width_));
  const int to = static_cast<int>(std::clamp<std::int64_t>(x1, 0, width_));
  if (from >= to) return;
  std::uint8_t* row = Row(y);
  switch (format_.bitsPerPixel) {
    case 8: std::memset(row + from, static_cast<int>(value & 0xFFu), static_cast<std::size_t>(to - from)); break;
    case 32:
      for (std::uint8_t* p = row + 4 * static_cast<std::int64_t>(from); p < row + 4 * static_cast<std::int64_t>(to);
           p += 4)
        std::memcpy(p, &value, 4);
      break;
    default:
      for (int x = from; x < to; ++x) Write(x, y, value);
      break;
  }
}

void Surface::FillRect(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1, std::uint32_t value) {
  const int from = static_cast<int>(std::clamp<std::int64_t>(y0, 0, height_));
  const int to = static_cast<int>(std::clamp<std::int64_t>(y1, 0, height_));
  for (int y = from; y < to; ++y) FillSpan(y, x0, x1, value);
}

}  // namespace kvgdi
