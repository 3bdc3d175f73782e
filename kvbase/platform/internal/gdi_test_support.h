#ifndef KVBASE_PLATFORM_INTERNAL_GDI_TEST_SUPPORT_H
#define KVBASE_PLATFORM_INTERNAL_GDI_TEST_SUPPORT_H

// Helpers for tests that read pictures back from a device context: fill it, find where ink landed,
// and print a region as text ('#' where a pixel differs from the background, '.' elsewhere) so that a
// failing expectation shows the picture.

#include <string>
#include <vector>

#include "kvbase/platform/gdi.h"

namespace kvgdi_test {

inline int Width(HDC dc) { return GetDeviceCaps(dc, HORZRES); }
inline int Height(HDC dc) { return GetDeviceCaps(dc, VERTRES); }

inline void Fill(HDC dc, COLORREF color) {
  for (int y = 0; y < Height(dc); ++y)
    for (int x = 0; x < Width(dc); ++x) SetPixel(dc, x, y, color);
}

// Number of pixels that differ from `background`, and their bounding box (right and bottom inclusive;
// left > right when there are none).
struct Ink {
  int count = 0;
  RECT box{1 << 30, 1 << 30, -(1 << 30), -(1 << 30)};
};

inline Ink FindInk(HDC dc, COLORREF background) {
  Ink ink;
  for (int y = 0; y < Height(dc); ++y) {
    for (int x = 0; x < Width(dc); ++x) {
      if (GetPixel(dc, x, y) == background) continue;
      ++ink.count;
      if (x < ink.box.left) ink.box.left = x;
      if (y < ink.box.top) ink.box.top = y;
      if (x > ink.box.right) ink.box.right = x;
      if (y > ink.box.bottom) ink.box.bottom = y;
    }
  }
  return ink;
}

inline std::vector<std::string> Picture(HDC dc, int left, int top, int width, int height, COLORREF background) {
  std::vector<std::string> rows;
  for (int y = top; y < top + height; ++y) {
    std::string row;
    for (int x = left; x < left + width; ++x) row += GetPixel(dc, x, y) == background ? '.' : '#';
    rows.push_back(row);
  }
  return rows;
}

}  // namespace kvgdi_test

#endif  // KVBASE_PLATFORM_INTERNAL_GDI_TEST_SUPPORT_H
