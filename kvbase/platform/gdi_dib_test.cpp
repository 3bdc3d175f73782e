#include "kvbase/platform/gdi_dib.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "kvbase/platform/gdi.h"
#include "kvbase/testing/gdi_test_support.h"

namespace {

using namespace kvgdi_test;

// A DIB of the test picture in one of the formats a caller can hand over. Pixel (x, y) shows colour
// (3x + 5y) mod 8 of a set of eight (bit 0 red, bit 1 green, bit 2 blue), so that neighbours differ in
// every direction; at 1 bit per pixel only bit 0 counts, choosing between red and cyan.
struct Dib {
  enum Format { kBits1, kBits8, kBits16, kBits16Masks565, kBits24, kBits32 };
  Dib(Format format, int width, int height, bool topDown) : width(width), height(height) {
    bits = std::vector<int>{1, 8, 16, 16, 24, 32}[format];
    name = std::to_string(bits) + (format == kBits16Masks565 ? " bits 565" : " bits") +
           (topDown ? " top-down" : " bottom-up");
    header.resize(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
    const BITMAPINFOHEADER h{40,
                             width,
                             topDown ? -height : height,
                             1,
                             static_cast<WORD>(bits),
                             format == kBits16Masks565 ? BI_BITFIELDS : BI_RGB,
                             0,
                             0,
                             0,
                             format == kBits8 ? 8u : 0u,
                             0};
    std::memcpy(header.data(), &h, sizeof h);
    RGBQUAD* table = Info()->bmiColors;
    for (int i = 0; i < 8 && format == kBits8; ++i)
      table[i] = {BYTE(i & 4 ? 255 : 0), BYTE(i & 2 ? 255 : 0), BYTE(i & 1 ? 255 : 0), 0};
    if (format == kBits1) table[0] = {0, 0, 255, 0}, table[1] = {255, 255, 0, 0};
    const DWORD masks[] = {0xF800, 0x07E0, 0x001F};
    if (format == kBits16Masks565) std::memcpy(table, masks, sizeof masks);
    stride = (width * bits + 31) / 32 * 4;
    pixels.assign(static_cast<std::size_t>(stride) * height, 0);
    for (int y = 0; y < height; ++y) {
      BYTE* row = pixels.data() + static_cast<std::size_t>(stride) * (topDown ? y : height - 1 - y);
      for (int x = 0; x < width; ++x) {
        const int i = (3 * x + 5 * y) % 8, r = i & 1 ? 255 : 0, g = i & 2 ? 255 : 0, b = i & 4 ? 255 : 0;
        const std::uint16_t w555 = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3),
                            w565 = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
        const BYTE bgrx[] = {BYTE(b), BYTE(g), BYTE(r), 0x7F};  // the fourth byte is unused
        switch (format) {
          case kBits1: row[x / 8] |= static_cast<BYTE>((i & 1) << (7 - x % 8)); break;
          case kBits8: row[x] = static_cast<BYTE>(i); break;
          case kBits16: std::memcpy(row + 2 * x, &w555, 2); break;  // little-endian words, as in a file
          case kBits16Masks565: std::memcpy(row + 2 * x, &w565, 2); break;
          default: std::memcpy(row + bits / 8 * x, bgrx, bits / 8); break;
        }
      }
    }
  }
  BITMAPINFO* Info() { return reinterpret_cast<BITMAPINFO*>(header.data()); }
  COLORREF Colour(int x, int y) const {
    const int i = (3 * x + 5 * y) % 8;
    if (bits == 1) return i & 1 ? RGB(0, 255, 255) : RGB(255, 0, 0);
    return RGB(i & 1 ? 255 : 0, i & 2 ? 255 : 0, i & 4 ? 255 : 0);
  }
  int SetToDevice(HDC dc, int xDest, int yDest, int w, int h, int xSrc, int ySrc, UINT start = 0, UINT lines = 4,
                  const BYTE* rows = nullptr) {
    return SetDIBitsToDevice(dc, xDest, yDest, w, h, xSrc, ySrc, start, lines, rows ? rows : pixels.data(), Info(),
                             DIB_RGB_COLORS);
  }
  int Stretch(HDC dc, int xDest, int yDest, int wDest, int hDest, int xSrc, int ySrc, int wSrc, int hSrc) {
    return StretchDIBits(dc, xDest, yDest, wDest, hDest, xSrc, ySrc, wSrc, hSrc, pixels.data(), Info(), DIB_RGB_COLORS,
                         SRCCOPY);
  }

  int width, height, bits, stride;
  std::string name;
  std::vector<BYTE> header, pixels;
};

const Dib::Format kFormats[] = {Dib::kBits1,          Dib::kBits8,  Dib::kBits16,
                                Dib::kBits16Masks565, Dib::kBits24, Dib::kBits32};

TEST(GdiDibTransfer, EveryFormatAndOrientationIntoEveryDepthAndAtZoomTwoAndOneHalf) {
  for (Dib::Format format : kFormats) {
    for (bool topDown : {true, false}) {
      Dib dib(format, 6, 4, topDown);
      // The eight colours of the picture and the marker exist exactly on each of these devices.
      for (int depth : {8, 16, 24, 32}) {
        Canvas canvas(16, 12, depth, kMarker);
        EXPECT_EQ(dib.SetToDevice(canvas.dc, 1, 2, 6, 4, 0, 0), 4);
        ExpectDrawn(
            canvas.dc, {1, 2, 7, 6}, [&](int x, int y) { return dib.Colour(x - 1, y - 2); },
            dib.name + " into " + std::to_string(depth));
      }
      Canvas twice(16, 12, 32, kMarker), half(16, 12, 32, kMarker);
      EXPECT_NE(dib.Stretch(twice.dc, 0, 0, 12, 8, 0, 0, 6, 4), 0);
      ExpectDrawn(
          twice.dc, {0, 0, 12, 8}, [&](int x, int y) { return dib.Colour(x / 2, y / 2); }, dib.name + " zoom 2");
      EXPECT_NE(dib.Stretch(half.dc, 0, 0, 3, 2, 0, 0, 6, 4), 0);
      ExpectDrawn(
          half.dc, {0, 0, 3, 2}, [&](int x, int y) { return dib.Colour(2 * x, 2 * y); }, dib.name + " zoom 0.5");
    }
  }
}

TEST(GdiDibTransfer, WidePicturesThroughEveryRoute) {
  // 40 pixels of 24 bits fill their rows exactly (120 bytes), so the last pixel of the buffer ends it.
  for (Dib::Format format : {Dib::kBits8, Dib::kBits24}) {
    for (int depth : {32, 24}) {
      Dib dib(format, 40, 5, false);
      Canvas canvas(100, 12, depth, kMarker);
      dib.SetToDevice(canvas.dc, 3, 1, 40, 5, 0, 0, 0, 5);
      dib.Stretch(canvas.dc, 50, 0, 20, 3, 0, 0, 40, 5);
      dib.Stretch(canvas.dc, 20, 6, 80, 6, 0, 2, 40, 3);
      ExpectDrawn(
          canvas.dc, {0, 0, 100, 12},
          [&](int x, int y) {
            if (y >= 6 && x >= 20) return dib.Colour((x - 20) / 2, (y - 6) / 2);
            if (x >= 50 && x < 70 && y < 3) return dib.Colour(2 * (x - 50), (10 * y + 4) / 6);  // rows 0, 2, 4
            if (x >= 3 && x < 43 && y >= 1 && y < 6) return dib.Colour(x - 3, y - 1);
            return kMarker;
          },
          dib.name + " into " + std::to_string(depth));
    }
  }
}

TEST(GdiDibTransfer, SamplingPicksTheSourcePixelUnderEachCentre) {
  // 6 source columns onto 4: centres at 0.75, 2.25, 3.75, 5.25 of the source; 6 onto 9: every source
  // column twice or once; 3 onto 1 shows the middle column.
  struct Case {
    int wDest, wSrc;
    std::vector<int> columns;
  } cases[] = {{4, 6, {0, 2, 3, 5}}, {9, 6, {0, 0, 1, 2, 2, 3, 4, 4, 5}}, {1, 3, {1}}, {1, 2, {0}}};
  Dib dib(Dib::kBits24, 6, 4, true);
  for (const Case& c : cases) {
    Canvas canvas(16, 12, 32, kMarker);
    dib.Stretch(canvas.dc, 0, 0, c.wDest, 1, 0, 3, c.wSrc, 1);
    ExpectDrawn(
        canvas.dc, {0, 0, c.wDest, 1}, [&](int x, int) { return dib.Colour(c.columns[x], 0); },
        std::to_string(c.wSrc) + " onto " + std::to_string(c.wDest));
  }
}

TEST(GdiDibTransfer, SourceAreasAndBandsCountFromTheBottomAndAreClippedToTheDeviceAndTheDib) {
  // The picture pixel at device pixel (x, y) is (x - dx, y - dy).
  struct Case {
    const char* what;
    int xDest, yDest, width, height, xSrc, ySrc;
    RECT drawn;
    int dx, dy;
  } cases[] = {
      {"inner area, bottom-based origin 4 - 1 - 2", 0, 0, 3, 2, 1, 1, {0, 0, 3, 2}, -1, -1},
      {"above left of the device", -2, -1, 6, 4, 0, 0, {0, 0, 4, 3}, -2, -1},
      {"past the right edge", 13, 9, 6, 4, 0, 0, {13, 9, 16, 12}, 13, 9},
      {"source wider than the DIB", 0, 0, 8, 4, 4, 0, {0, 0, 2, 4}, -4, 0},
      {"source left of the DIB", 0, 0, 4, 4, -2, 0, {2, 0, 4, 4}, 2, 0},
      {"source reaching below the DIB", 0, 0, 6, 4, 0, -2, {0, 0, 6, 2}, 0, -2},
      {"source wholly outside", 0, 0, 6, 4, 7, 0, {0, 0, 0, 0}, 0, 0},
  };
  for (bool topDown : {true, false}) {
    Dib dib(Dib::kBits32, 6, 4, topDown);
    for (const Case& c : cases) {
      Canvas canvas(16, 12, 32, kMarker);
      dib.SetToDevice(canvas.dc, c.xDest, c.yDest, c.width, c.height, c.xSrc, c.ySrc);
      ExpectDrawn(
          canvas.dc, c.drawn, [&](int x, int y) { return dib.Colour(x - c.dx, y - c.dy); }, dib.name + ", " + c.what);
    }
    Canvas stretched(16, 12, 32, kMarker), huge(16, 12, 32, kMarker);
    dib.Stretch(stretched.dc, 0, 0, 6, 4, 1, 1, 3, 2);
    ExpectDrawn(
        stretched.dc, {0, 0, 6, 4}, [&](int x, int y) { return dib.Colour(x / 2 + 1, y / 2 + 1); }, dib.name);
    dib.Stretch(huge.dc, -4, -4, 2000000000, 2000000000, 0, 0, 6, 4);
    EXPECT_EQ(GetPixel(huge.dc, 15, 11), dib.Colour(0, 0)) << "a huge zoom shows the first pixel everywhere";
    // A band of scan lines 1 and 2: counted from the top for a top-down DIB, from the bottom for a bottom-up one.
    Canvas band(16, 12, 32, kMarker);
    EXPECT_EQ(dib.SetToDevice(band.dc, 0, 0, 6, 4, 0, 0, 1, 2, dib.pixels.data() + dib.stride), 2);
    ExpectDrawn(
        band.dc, {0, 1, 6, 3}, [&](int x, int y) { return dib.Colour(x, y); }, dib.name + " band");
  }
}

TEST(GdiDibTransfer, RefusesWhatItCannotDraw) {
  Dib dib(Dib::kBits8, 6, 4, true);
  struct Case {
    const char* what;
    void (*spoil)(BITMAPINFOHEADER&);
  } cases[] = {
      {"4 bits", [](BITMAPINFOHEADER& h) { h.biBitCount = 4; }},
      {"2 planes", [](BITMAPINFOHEADER& h) { h.biPlanes = 2; }},
      {"run-length compression", [](BITMAPINFOHEADER& h) { h.biCompression = 1; }},
      {"bit fields at 8 bits", [](BITMAPINFOHEADER& h) { h.biCompression = BI_BITFIELDS; }},
      {"width 0", [](BITMAPINFOHEADER& h) { h.biWidth = 0; }},
      {"height 0", [](BITMAPINFOHEADER& h) { h.biHeight = 0; }},
      {"short header", [](BITMAPINFOHEADER& h) { h.biSize = 12; }},
  };
  Canvas canvas(16, 12, 32, kMarker);
  for (const Case& c : cases) {
    Dib spoilt = dib;
    c.spoil(spoilt.Info()->bmiHeader);
    EXPECT_EQ(spoilt.SetToDevice(canvas.dc, 0, 0, 6, 4, 0, 0), 0) << c.what;
    EXPECT_EQ(spoilt.Stretch(canvas.dc, 0, 0, 6, 4, 0, 0, 6, 4), 0) << c.what;
  }
  Dib masks(Dib::kBits16Masks565, 6, 4, true);
  const DWORD holes[] = {0xF0F0, 0x0700, 0x000F};
  std::memcpy(masks.Info()->bmiColors, holes, sizeof holes);
  EXPECT_EQ(masks.SetToDevice(canvas.dc, 0, 0, 6, 4, 0, 0), 0) << "masks with holes";
  const BYTE* p = dib.pixels.data();
  EXPECT_EQ(SetDIBitsToDevice(canvas.dc, 0, 0, 6, 4, 0, 0, 0, 4, p, dib.Info(), DIB_PAL_COLORS), 0);
  EXPECT_EQ(SetDIBitsToDevice(canvas.dc, 0, 0, 6, 4, 0, 0, 0, 4, nullptr, dib.Info(), DIB_RGB_COLORS), 0);
  EXPECT_EQ(SetDIBitsToDevice(canvas.dc, 0, 0, 6, 4, 0, 0, 0, 4, p, nullptr, DIB_RGB_COLORS), 0);
  EXPECT_EQ(dib.SetToDevice(canvas.dc, 0, 0, 6, 4, 0, 0, 4, 4), 0) << "no line of the DIB";
  EXPECT_EQ(StretchDIBits(canvas.dc, 0, 0, 6, 4, 0, 0, 6, 4, p, dib.Info(), DIB_RGB_COLORS, 0x00EE0086), 0)
      << "not SRCCOPY";
  EXPECT_EQ(dib.Stretch(canvas.dc, 0, 0, -6, 4, 0, 0, 6, 4), 0) << "mirroring";
  EXPECT_EQ(dib.Stretch(canvas.dc, 0, 0, 6, 4, 0, 0, 6, 0), 0) << "empty source";
  EXPECT_EQ(FindInk(canvas.dc, kMarker).count, 0);
}

TEST(GdiDibSections, SetAndGetBitsRoundTripInEveryFormat) {
  HDC dc = CreateCompatibleDC(nullptr);
  for (Dib::Format format : kFormats) {
    for (bool topDown : {true, false}) {
      Dib dib(format, 6, 4, topDown);
      void* memory = nullptr;
      HBITMAP bitmap = CreateDIBSection(dc, dib.Info(), DIB_RGB_COLORS, &memory, nullptr, 0);
      ASSERT_TRUE(bitmap != nullptr && memory != nullptr) << dib.name;
      EXPECT_EQ(SetDIBits(dc, bitmap, 0, 4, dib.pixels.data(), dib.Info(), DIB_RGB_COLORS), 4);
      // Same format both ways: the pixels come back, and the section's own memory holds them too;
      // the unused fourth byte of 32-bit pixels is not kept.
      std::vector<BYTE> expected = dib.pixels;
      for (std::size_t i = 3; dib.bits == 32 && i < expected.size(); i += 4) expected[i] = 0;
      EXPECT_EQ(std::memcmp(memory, expected.data(), expected.size()), 0) << dib.name;
      std::vector<BYTE> back(dib.pixels.size(), 0);
      EXPECT_EQ(GetDIBits(dc, bitmap, 0, 4, back.data(), dib.Info(), DIB_RGB_COLORS), 4);
      EXPECT_EQ(back, expected) << dib.name;
      // Read back as 24-bit colours, bottom-up.
      Dib colours(Dib::kBits24, 6, 4, false);
      std::fill(colours.pixels.begin(), colours.pixels.end(), 0);
      EXPECT_EQ(GetDIBits(dc, bitmap, 0, 4, colours.pixels.data(), colours.Info(), DIB_RGB_COLORS), 4);
      for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 6; ++x) {
          const BYTE* p = colours.pixels.data() + colours.stride * (3 - y) + 3 * x;
          EXPECT_EQ(RGB(p[2], p[1], p[0]), dib.Colour(x, y)) << dib.name << " at " << x << "," << y;
        }
      }
      DeleteObject(bitmap);
    }
  }
  DeleteDC(dc);
}

TEST(GdiDibSections, SectionMemoryFollowsTheOrientationAndHeadersCanBeAskedFor) {
  HDC dc = CreateCompatibleDC(nullptr);
  Dib bottomUp(Dib::kBits24, 2, 2, false);
  BYTE* memory = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, bottomUp.Info(), DIB_RGB_COLORS, reinterpret_cast<void**>(&memory), nullptr, 0);
  memory[2] = 255;  // first pixel in memory: the bottom-left one, red
  SelectObject(dc, bitmap);
  EXPECT_EQ(GetPixel(dc, 0, 1), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0, 0, 0));

  BITMAPINFO asked{};
  asked.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  EXPECT_EQ(GetDIBits(dc, bitmap, 0, 2, nullptr, &asked, DIB_RGB_COLORS), 2);
  const BITMAPINFOHEADER& h = asked.bmiHeader;
  EXPECT_EQ(std::vector<long>({h.biWidth, h.biHeight, h.biBitCount, long(h.biSizeImage)}),
            std::vector<long>({2, 2, 24, 16}));

  // One scan line read into a band: the bottom one of a bottom-up request.
  BYTE band[8] = {};
  asked.bmiHeader.biBitCount = 32;
  asked.bmiHeader.biCompression = BI_RGB;
  EXPECT_EQ(GetDIBits(dc, bitmap, 0, 1, band, &asked, DIB_RGB_COLORS), 1);
  EXPECT_EQ(band[2], 255);
  asked.bmiHeader.biHeight = -2;
  EXPECT_EQ(GetDIBits(dc, bitmap, 0, 1, band, &asked, DIB_RGB_COLORS), 1);
  EXPECT_EQ(band[2], 0) << "the top row of a top-down request";
  EXPECT_EQ(CreateDIBSection(dc, bottomUp.Info(), DIB_RGB_COLORS, nullptr, &asked, 0), nullptr) << "file mapping";
  DeleteDC(dc);
  DeleteObject(bitmap);
}

TEST(GdiDibSections, IndexedToIndexedKeepsTheIndexesAndGivesTheTable) {
  Canvas canvas(4, 1, 8);
  SetPixel(canvas.dc, 1, 0, RGB(255, 0, 0));
  Dib asked(Dib::kBits8, 4, 1, true);
  asked.Info()->bmiHeader.biClrUsed = 0;
  BYTE indexes[4] = {9, 9, 9, 9};
  HBITMAP bitmap = static_cast<HBITMAP>(GetCurrentObject(canvas.dc, OBJ_BITMAP));
  EXPECT_EQ(GetDIBits(canvas.dc, bitmap, 0, 1, indexes, asked.Info(), DIB_RGB_COLORS), 1);
  EXPECT_EQ(indexes[0], 0);
  EXPECT_EQ(indexes[1], 180);
  const RGBQUAD* table = asked.Info()->bmiColors;
  EXPECT_EQ(std::vector<int>({table[180].rgbRed, table[180].rgbBlue, table[1].rgbBlue}),
            std::vector<int>({255, 0, 51}));
}

}  // namespace
