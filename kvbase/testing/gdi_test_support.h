#ifndef KVBASE_TESTING_GDI_TEST_SUPPORT_H
#define KVBASE_TESTING_GDI_TEST_SUPPORT_H

// Helpers for tests that read pictures back from a device context: scoped memory device contexts,
// where ink landed, a region printed as text ('#' where a pixel differs from the background, '.'
// elsewhere) and a pixel-by-pixel comparison that reports the first few differences.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kvbase/platform/gdi.h"

namespace kvgdi_test {

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
// A background that 8-bit (default palette), 16-bit and deeper devices all show exactly.
constexpr COLORREF kMarker = RGB(230, 230, 230);

inline int Width(HDC dc) { return GetDeviceCaps(dc, HORZRES); }
inline int Height(HDC dc) { return GetDeviceCaps(dc, VERTRES); }

inline void Fill(HDC dc, COLORREF color) {
  for (int y = 0; y < Height(dc); ++y)
    for (int x = 0; x < Width(dc); ++x) SetPixel(dc, x, y, color);
}

// A memory device context filled with `background` (black as made), deleted at the end of the scope.
struct Canvas {
  explicit Canvas(int width, int height, int bits = 32, COLORREF background = kBlack)
      : dc(KCreateMemoryDC(width, height, bits)) {
    if (background != kBlack) Fill(dc, background);
  }
  ~Canvas() { DeleteDC(dc); }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  HDC dc;
};

// A black 32-bit canvas with a white pen of `penWidth` and a null brush selected.
struct PenCanvas : Canvas {
  explicit PenCanvas(int width, int height, int penWidth = 1)
      : Canvas(width, height), pen(CreatePen(PS_SOLID, penWidth, kWhite)) {
    SelectObject(dc, pen);
    SelectObject(dc, GetStockObject(NULL_BRUSH));
  }
  ~PenCanvas() {
    SelectObject(dc, GetStockObject(BLACK_PEN));
    EXPECT_TRUE(DeleteObject(pen));
  }
  HPEN pen;
};

// The pixels that differ from a background: how many, and their box (right and bottom inclusive).
struct Ink {
  int count = 0;
  RECT box{1 << 30, 1 << 30, -1, -1};
  // "left,top..right,bottom" and "count: left,top..right,bottom": a case states the ink in one value.
  std::string Box() const {
    return std::to_string(box.left) + "," + std::to_string(box.top) + ".." + std::to_string(box.right) + "," +
           std::to_string(box.bottom);
  }
  std::string Text() const { return count == 0 ? "0" : std::to_string(count) + ": " + Box(); }
};

inline Ink FindInk(HDC dc, COLORREF background = kBlack) {
  Ink ink;
  for (int y = 0; y < Height(dc); ++y) {
    for (int x = 0; x < Width(dc); ++x) {
      if (GetPixel(dc, x, y) == background) continue;
      ++ink.count;
      RECT& b = ink.box;
      b.left = std::min<LONG>(b.left, x), b.top = std::min<LONG>(b.top, y);
      b.right = std::max<LONG>(b.right, x), b.bottom = std::max<LONG>(b.bottom, y);
    }
  }
  return ink;
}

inline std::vector<std::string> Picture(HDC dc, int left, int top, int width, int height,
                                        COLORREF background = kBlack) {
  std::vector<std::string> rows;
  for (int y = top; y < top + height; ++y) {
    std::string row;
    for (int x = left; x < left + width; ++x) row += GetPixel(dc, x, y) == background ? '.' : '#';
    rows.push_back(row);
  }
  return rows;
}

// Every device pixel: `colourAt(x, y)` inside `drawn` (right and bottom excluded), kMarker elsewhere.
template <typename ColourAt>
void ExpectDrawn(HDC dc, RECT drawn, ColourAt colourAt, const std::string& what) {
  int wrong = 0;
  for (int y = 0; y < Height(dc); ++y) {
    for (int x = 0; x < Width(dc); ++x) {
      const bool inside = x >= drawn.left && x < drawn.right && y >= drawn.top && y < drawn.bottom;
      const COLORREF expected = inside ? colourAt(x, y) : kMarker;
      if (GetPixel(dc, x, y) != expected && ++wrong <= 3)
        ADD_FAILURE() << what << ": pixel " << x << "," << y << " is " << std::hex << GetPixel(dc, x, y) << " not "
                      << expected;
    }
  }
}

}  // namespace kvgdi_test

#endif  // KVBASE_TESTING_GDI_TEST_SUPPORT_H
