#include "kvbase/render/resize.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "kvbase/foundation/internal/report.h"

namespace {

constexpr const char* kTraceName = "KResize";

// Copies one destination row of `count` pixels of N bytes: pixel x comes from `source` + offsets[x]
// (byte offsets into the source row).
template <int N>
void GatherRow(unsigned char* destination, const unsigned char* source, const std::uint32_t* offsets, int count);

template <>
void GatherRow<1>(unsigned char* destination, const unsigned char* source, const std::uint32_t* offsets,
                  int count) {
  int x = 0;
  // Four pixels per store.
  for (; x + 4 <= count; x += 4) {
    const std::uint32_t quad = static_cast<std::uint32_t>(source[offsets[x]]) |
                               static_cast<std::uint32_t>(source[offsets[x + 1]]) << 8 |
                               static_cast<std::uint32_t>(source[offsets[x + 2]]) << 16 |
                               static_cast<std::uint32_t>(source[offsets[x + 3]]) << 24;
    std::memcpy(destination + x, &quad, 4);
  }
  for (; x < count; ++x) destination[x] = source[offsets[x]];
}

template <>
void GatherRow<2>(unsigned char* destination, const unsigned char* source, const std::uint32_t* offsets,
                  int count) {
  for (int x = 0; x < count; ++x) std::memcpy(destination + 2 * x, source + offsets[x], 2);
}

template <>
void GatherRow<4>(unsigned char* destination, const unsigned char* source, const std::uint32_t* offsets,
                  int count) {
  for (int x = 0; x < count; ++x) std::memcpy(destination + 4 * x, source + offsets[x], 4);
}

// Three-byte pixels move as four-byte words where the extra byte is harmless: it is read from inside the
// source row (not for the row's last pixel) and written over the next destination pixel, which is
// written right after (not for the row's last pixel). The rest move byte by byte.
void GatherRow3(unsigned char* destination, const unsigned char* source, const std::uint32_t* offsets,
                int count, int wideCount) {
  int x = 0;
  for (; x < wideCount; ++x) std::memcpy(destination + 3 * x, source + offsets[x], 4);
  for (; x < count; ++x) std::memcpy(destination + 3 * x, source + offsets[x], 3);
}

// Sets K_ERROR_IMAGE_MEMORY_ACCESS, traced, when `roi` is null or reaches no pixels.
template <typename T>
bool HasPixels(KROI<T>* roi) {
  KOk();
  if (roi == nullptr) {
    KReport(K_ERROR_IMAGE_MEMORY_ACCESS, kTraceName);
    return false;
  }
  roi->NotVoid();
  return !KTraceIfFailed(kTraceName);
}

template <typename T>
void Resize(KROI<T>* source, KROI<T>* destination) {
  constexpr int N = sizeof(T);
  if (!HasPixels(source) || !HasPixels(destination)) return;
  const int ws = source->GetWidth();
  const int hs = source->GetHeight();
  const int wd = destination->GetWidth();
  const int hd = destination->GetHeight();
  if (wd <= 0 || hd <= 0) return;
  // Every destination pixel needs a source pixel.
  if (ws <= 0 || hs <= 0) return (void)KReport(K_ERROR_IMAGE_MEMORY_ACCESS, kTraceName);

  std::unique_ptr<std::uint32_t[]> offsets(new (std::nothrow) std::uint32_t[wd]);
  if (!offsets) return (void)KReport(K_ERROR_ALLOCATION, kTraceName);

  // Column table: offsets[x] = floor(x * ws / wd) pixels, by accumulation, as a byte offset.
  std::uint64_t columnRest = 0;
  std::uint32_t column = 0;
  for (int x = 0; x < wd; ++x) {
    offsets[x] = column * N;
    columnRest += static_cast<std::uint64_t>(ws);
    while (columnRest >= static_cast<std::uint64_t>(wd)) {
      columnRest -= static_cast<std::uint64_t>(wd);
      ++column;
    }
  }
  // Leading pixels that may move as 4-byte words (3-byte pixels only).
  int wideCount = wd - 1;
  const std::uint32_t lastColumn = static_cast<std::uint32_t>(ws - 1) * N;
  while (wideCount > 0 && offsets[wideCount - 1] == lastColumn) --wideCount;

  const unsigned char* sourceBase = reinterpret_cast<const unsigned char*>(source->GetImagePtr(0, 0));
  unsigned char* destinationRow = reinterpret_cast<unsigned char*>(destination->GetImagePtr(0, 0));
  const std::ptrdiff_t sourcePitch = source->GetRowPitch();
  const std::ptrdiff_t destinationPitch = destination->GetRowPitch();
  const std::size_t rowBytes = static_cast<std::size_t>(wd) * N;

  std::ptrdiff_t sourceOffset = 0;  // of the current source row
  std::ptrdiff_t previousOffset = -1;
  std::uint64_t rowRest = 0;
  for (int y = 0; y < hd; ++y) {
    if (y > 0 && sourceOffset == previousOffset) {
      // Same source row as the row above: copy that row instead of gathering again.
      std::memmove(destinationRow, destinationRow - destinationPitch, rowBytes);
    } else if (N == 3) {
      GatherRow3(destinationRow, sourceBase + sourceOffset, offsets.get(), wd, wideCount);
    } else {
      GatherRow<N == 3 ? 1 : N>(destinationRow, sourceBase + sourceOffset, offsets.get(), wd);
    }
    previousOffset = sourceOffset;
    rowRest += static_cast<std::uint64_t>(hs);
    while (rowRest >= static_cast<std::uint64_t>(hd)) {
      rowRest -= static_cast<std::uint64_t>(hd);
      sourceOffset += sourcePitch;
    }
    destinationRow += destinationPitch;
  }
}

}  // namespace

void KResize(KROI<unsigned char>* source, KROI<unsigned char>* destination) { Resize(source, destination); }
void KResize(KROI<unsigned short>* source, KROI<unsigned short>* destination) { Resize(source, destination); }
void KResize(KROI<KC15>* source, KROI<KC15>* destination) { Resize(source, destination); }
void KResize(KROI<KC16>* source, KROI<KC16>* destination) { Resize(source, destination); }
void KResize(KROI<KC24>* source, KROI<KC24>* destination) { Resize(source, destination); }
void KResize(KROI<KC24A>* source, KROI<KC24A>* destination) { Resize(source, destination); }
