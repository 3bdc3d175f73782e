#ifndef KVTOOL_SHOW_TEST_SUPPORT_H
#define KVTOOL_SHOW_TEST_SUPPORT_H

// What the tests of `kvtool show` share: images with known pixels and a view set up on one.

#include <cstdint>
#include <memory>
#include <string>

#include "any_image.h"
#include "kvbase/platform/gdi.h"
#include "show_view.h"

namespace kvtool_test {

// The gray level of the test pattern at (x, y): distinct along both axes, so a pixel shown at the
// wrong place shows the wrong value.
inline unsigned char Pattern(int x, int y) { return static_cast<unsigned char>((x * 7 + y * 3) & 0xFF); }

// A width x height image of `kind` holding Pattern (colour kinds: red Pattern, green x, blue y).
inline std::unique_ptr<kvtool::AnyImage> PatternImage(const KPixelKind& kind, int width = 100, int height = 80) {
  auto image = std::make_unique<kvtool::AnyImage>(kind);
  image->Visit([&](auto& typed) {
    typed.SetSize(width, height);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const unsigned p = Pattern(x, y);
        using T = std::remove_reference_t<decltype(typed.GetPixel(0, 0))>;
        if constexpr (std::is_same_v<T, KC24>)
          typed.SetPixel(
              KC24(static_cast<unsigned char>(p), static_cast<unsigned char>(x), static_cast<unsigned char>(y)), x, y);
        else if constexpr (std::is_same_v<T, KC15>)
          typed.SetPixel(KC15{static_cast<std::uint16_t>(((p >> 3) << 10) | ((x & 31) << 5) | (y & 31))}, x, y);
        else if constexpr (std::is_same_v<T, KC16>)
          typed.SetPixel(KC16{static_cast<std::uint16_t>(((p >> 3) << 11) | ((x & 63) << 5) | (y & 31))}, x, y);
        else if constexpr (std::is_same_v<T, int>)
          typed.SetPixel(p >= 128 ? 1 : 0, x, y);
        else if constexpr (std::is_same_v<T, unsigned short>)
          typed.SetPixel(static_cast<unsigned short>(p << 8 | 0x55), x, y);
        else
          typed.SetPixel(static_cast<T>(p), x, y);
      }
  });
  return image;
}

// View options as the command line gives them: an ROI at (20, 10) of 40 x 30 pixels, at zoom 2.
inline kvtool::ViewOptions RoiAtZoom2() {
  kvtool::ViewOptions options;
  options.zoomX = 2.0f;
  options.roi = true;
  options.roiX = 20;
  options.roiY = 10;
  options.roiW = 40;
  options.roiH = 30;
  return options;
}

// The window's size in these tests: the 100 x 80 pattern at zoom 2, the status strip and some room.
constexpr int kWindowWidth = 480;
constexpr int kWindowHeight = 200 + kvtool::ShowView::kStatusHeight;

// A device context's pixel as 0x00RRGGBB.
inline std::uint32_t Rgb(HDC dc, int x, int y) {
  const COLORREF c = GetPixel(dc, x, y);
  return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}
inline std::uint32_t Gray(unsigned level) { return level << 16 | level << 8 | level; }
constexpr std::uint32_t kRed = 0xFF0000, kGreen = 0x00C800, kWhite = 0xFFFFFF;

inline std::string ToString(const kvtool::RoiPlacement& r) {
  return std::to_string(r.x) + "," + std::to_string(r.y) + " " + std::to_string(r.width) + "x" +
         std::to_string(r.height);
}

}  // namespace kvtool_test

#endif  // KVTOOL_SHOW_TEST_SUPPORT_H
