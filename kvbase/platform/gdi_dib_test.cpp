#include "kvbase/platform/gdi_dib.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kvbase/platform/gdi.h"
#include "kvbase/platform/internal/gdi_test_support.h"

namespace {

// A colour that 8-bit (default palette), 16-bit and deeper devices all show exactly.
constexpr COLORREF kMarker = RGB(230, 230, 230);

// The test picture: pixel (x, y) shows colour (3x + 5y) mod 8 of a set of eight, so that neighbours
// differ in every direction. For 1 bit per pixel only its lowest bit counts, over two colours.
COLORREF Expected(int bits, int x, int y) {
  const int i = (3 * x + 5 * y) % 8;
  if (bits == 1) return (i & 1) ? RGB(0, 255, 255) : RGB(255, 0, 0);
  return RGB((i & 1) ? 255 : 0, (i & 2) ? 255 : 0, (i & 4) ? 255 : 0);
}

// A DIB of the test picture in one of the formats a caller can hand over.
struct Dib {
  enum Format { kBits1, kBits8, kBits16, kBits16Masks565, kBits24, kBits32 };
  Dib(Format format, int width, int height, bool topDown) : width(width), height(height) {
    static const int kBits[] = {1, 8, 16, 16, 24, 32};
    bits = kBits[format];
    header.resize(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
    BITMAPINFOHEADER h{40, width, topDown ? -height : height, 1, static_cast<WORD>(bits), BI_RGB, 0, 0, 0, 0, 0};
    if (format == kBits16Masks565) h.biCompression = BI_BITFIELDS;
    if (format == kBits8) h.biClrUsed = 8;
    std::memcpy(header.data(), &h, sizeof h);
    RGBQUAD* table = Info()->bmiColors;
    if (format == kBits1) {
      table[0] = {0, 0, 255, 0};
      table[1] = {255, 255, 0, 0};
    } else if (format == kBits8) {
      for (int i = 0; i < 8; ++i) table[i] = {BYTE((i & 4) ? 255 : 0), BYTE((i & 2) ? 255 : 0), BYTE((i & 1) ? 255 : 0), 0};
    } else if (format == kBits16Masks565) {
      const DWORD masks[] = {0xF800, 0x07E0, 0x001F};
      std::memcpy(table, masks, sizeof masks);
    }
    stride = (width * bits + 31) / 32 * 4;
    pixels.assign(static_cast<std::size_t>(stride) * height, 0);
    for (int y = 0; y < height; ++y) {
      BYTE* row = pixels.data() + static_cast<std::size_t>(stride) * (topDown ? y : height - 1 - y);
      for (int x = 0; x < width; ++x) {
        const int i = (3 * x + 5 * y) % 8;
        const int r = (i & 1) ? 255 : 0, g = (i & 2) ? 255 : 0, b = (i & 4) ? 255 : 0;
        switch (format) {
          case kBits1: row[x / 8] |= static_cast<BYTE>((i & 1) << (7 - x % 8)); break;
          case kBits8: row[x] = static_cast<BYTE>(i); break;
          case kBits16: Put16(row + 2 * x, ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3)); break;
          case kBits16Masks565: Put16(row + 2 * x, ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3)); break;
          case kBits24: row[3 * x] = BYTE(b), row[3 * x + 1] = BYTE(g), row[3 * x + 2] = BYTE(r); break;
          case kBits32: row[4 * x] = BYTE(b), row[4 * x + 1] = BYTE(g), row[4 * x + 2] = BYTE(r), row[4 * x + 3] = 0x7F; break;
        }
      }
    }
  }
  static void Put16(BYTE* p, int v) {
    p[0] = static_cast<BYTE>(v);
    p[1] = static_cast<BYTE>(v >> 8);
  }
  BITMAPINFO* Info() { return reinterpret_cast<BITMAPINFO*>(header.data()); }

  int width, height, bits, stride;
  std::vector<BYTE> header;
  std::vector<BYTE> pixels;
};

const Dib::Format kFormats[] = {Dib::kBits1, Dib::kBits8, Dib::kBits16, Dib::kBits16Masks565, Dib::kBits24, Dib::kBits32};

// Checks every device pixel: inside `drawn` (device rectangle, right and bottom excluded) it must be
// the picture's pixel `source(x, y)`, elsewhere the marker.
template <typename Source>
void ExpectPicture(HDC dc, int bits, RECT drawn, Source source, const std::string& what) {
  int wrong = 0;
  for (int y = 0; y < kvgdi_test::Height(dc); ++y) {
    for (int x = 0; x < kvgdi_test::Width(dc); ++x) {
      const bool inside = x >= drawn.left && x < drawn.right && y >= drawn.top && y < drawn.bottom;
      COLORREF expected = kMarker;
      if (inside) {
        const POINT p = source(x, y);
        expected = Expected(bits, p.x, p.y);
      }
      if (GetPixel(dc, x, y) != expected && ++wrong <= 3)
        ADD_FAILURE() << what << ": pixel " << x << "," << y << " is " << std::hex << GetPixel(dc, x, y) << " not " << expected;
    }
  }
}

HDC MarkedDC(int bits = 32) {
  HDC dc = KCreateMemoryDC(16, 12, bits);
  kvgdi_test::Fill(dc, kMarker);
  return dc;
}

TEST(GdiDibTransfer, EveryFormatAtZoomOneHalfAndTwoInBothOrientations) {
  for (Dib::Format format : kFormats) {
    for (bool topDown : {true, false}) {
      Dib dib(format, 6, 4, topDown);
      const std::string what = std::to_string(dib.bits) + (format == Dib::kBits16Masks565 ? " bits 565" : " bits") +
                               (topDown ? " top-down" : " bottom-up");
      HDC dc = MarkedDC();
      EXPECT_EQ(SetDIBitsToDevice(dc, 1, 2, 6, 4, 0, 0, 0, 4, dib.pixels.data(), dib.Info(), DIB_RGB_COLORS), 4);
      ExpectPicture(dc, dib.bits, {1, 2, 7, 6}, [](int x, int y) { return POINT{x - 1, y - 2}; }, what + " zoom 1");
      DeleteDC(dc);

      dc = MarkedDC();
      SetStretchBltMode(dc, COLORONCOLOR);
      EXPECT_NE(StretchDIBits(dc, 0, 0, 12, 8, 0, 0, 6, 4, dib.pixels.data(), dib.Info(), DIB_RGB_COLORS, SRCCOPY), 0);
      ExpectPicture(dc, dib.bits, {0, 0, 12, 8}, [](int x, int y) { return POINT{x / 2, y / 2}; }, what + " zoom 2");
      DeleteDC(dc);

      dc = MarkedDC();
      EXPECT_NE(StretchDIBits(dc, 0, 0, 3, 2, 0, 0, 6, 4, dib.pixels.data(), dib.Info(), DIB_RGB_COLORS, SRCCOPY), 0);
      ExpectPicture(dc, dib.bits, {0, 0, 3, 2}, [](int x, int y) { return POINT{2 * x, 2 * y}; }, what + " zoom 0.5");
      DeleteDC(dc);
    }
  }
}

TEST(GdiDibTransfer, WidePicturesThroughEveryRoute) {
  // 40 pixels of 24 bits fill their rows exactly (120 bytes), so the last pixel of the buffer ends it.
  for (Dib::Format format : {Dib::kBits8, Dib::kBits24}) {
    for (int bits : {32, 24}) {
      Dib dib(format, 40, 5, false);
      const std::string what = std::to_string(dib.bits) + " bits into " + std::to_string(bits);
      HDC dc = KCreateMemoryDC(100, 12, bits);
      kvgdi_test::Fill(dc, kMarker);
      SetDIBitsToDevice(dc, 3, 1, 40, 5, 0, 0, 0, 5, dib.pixels.data(), dib.Info(), DIB_RGB_COLORS);
      StretchDIBits(dc, 50, 0, 20, 3, 0, 0, 40, 5, dib.pixels.data(), dib.Info(), DIB_RGB_COLORS, SRCCOPY);
      StretchDIBits(dc, 20, 6, 80, 6, 0, 2, 40, 3, dib.pixels.data(), dib.Info(), DIB_RGB_COLORS, SRCCOPY);
      for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 100; ++x) {
          COLORREF expected = kMarker;
          if (y >= 6 && x >= 20) {
            expected = Expected(dib.bits, (x - 20) / 2, (y - 6) / 2);
          } else if (x >= 50 && x < 70 && y < 3) {
            expected = Expected(dib.bits, 2 * (x - 50), (10 * y + 4) / 6);  // rows 0, 2, 4
          } else if (x >= 3 && x < 43 && y >= 1 && y < 6) {
            expected = Expected(dib.bits, x - 3, y - 1);
          }
          ASSERT_EQ(GetPixel(dc, x, y), expected) << what << " at " << x << "," << y;
        }
      }
      DeleteDC(dc);
    }
  }
}

TEST(GdiDibTransfer, SamplingPicksTheSourcePixelUnderEachCentre) {
  // 6 source columns onto 4 destination columns: centres at 0.75, 2.25, 3.75, 5.25 of the source.
  // 6 onto 9: every source column twice or once; 6 onto 4 rows of 3: a 3-pixel-wide picture at
  // zoom 0.5 is one pixel wide and shows the middle column.
  struct Case {
    int wDest, hDest, wSrc, hSrc;
    std::vector<int> columns;
  } cases[] = {
      {4, 1, 6, 1, {0, 2, 3, 5}},
      {9, 1, 6, 1, {0, 0, 1, 2, 2, 3, 4, 4, 5}},
      {1, 1, 3, 1, {1}},
      {1, 1, 2, 1, {0}},
  };
  Dib dib(Dib::kBits24, 6, 4, true);
  for (const Case& c : cases) {
    HDC dc = MarkedDC();
    StretchDIBits(dc, 0, 0, c.wDest, c.hDest, 0, 3, c.wSrc, c.hSrc, dib.pixels.data(), dib.Info(), DIB_RGB_COLORS, SRCCOPY);
    for (int i = 0; i < c.wDest; ++i) EXPECT_EQ(GetPixel(dc, i, 0), Expected(24, c.columns[i], 0)) << c.wDest << " column " << i;
    EXPECT_EQ(GetPixel(dc, c.wDest, 0), kMarker);
    DeleteDC(dc);
  }
}

TEST(GdiDibTransfer, SourceOriginIsCountedFromTheBottomInBothOrientations) {
  // The area at (1, 1) of size 3 x 2 in a 6 x 4 DIB has the bottom-based origin 4 - 1 - 2 = 1.
  for (bool topDown : {true, false}) {
    Dib dib(Dib::kBits8, 6, 4, topDown);
    HDC dc = MarkedDC();
    SetDIBitsToDevice(dc, 0, 0, 3, 2, 1, 1, 0, 4, dib.pixels.data(), dib.Info(), DIB_RGB_COLORS);
    ExpectPicture(dc, 8, {0, 0, 3, 2}, [](int x, int y) { return POINT{x + 1, y + 1}; }, topDown ? "top-down" : "bottom-up");
    DeleteDC(dc);
    dc = MarkedDC();
    StretchDIBits(dc, 0, 0, 6, 4, 1, 1, 3, 2, dib.pixels.data(), dib.Info(), DIB_RGB_COLORS, SRCCOPY);
    ExpectPicture(dc, 8, {0, 0, 6, 4}, [](int x, int y) { return POINT{x / 2 + 1, y / 2 + 1}; }, "stretched");
    DeleteDC(dc);
  }
}

TEST(GdiDibTransfer, ClippedToTheDeviceAndToTheSource) {
  Dib dib(Dib::kBits32, 6, 4, true);
  struct Case {
    const char* what;
    int xDest, yDest, width, height, xSrc, ySrc;
    RECT drawn;
    int dx, dy;  // source = device - (dx, dy)
  } cases[] = {
      {"above left of the device", -2, -1, 6, 4, 0, 0, {0, 0, 4, 3}, -2, -1},
      {"past the right edge", 13, 9, 6, 4, 0, 0, {13, 9, 16, 12}, 13, 9},
      {"source wider than the DIB", 0, 0, 8, 4, 4, 0, {0, 0, 2, 4}, -4, 0},
      {"source left of the DIB", 0, 0, 4, 4, -2, 0, {2, 0, 4, 4}, 2, 0},
      {"source reaching below the DIB", 0, 0, 6, 4, 0, -2, {0, 0, 6, 2}, 0, -2},
      {"source wholly outside", 0, 0, 6, 4, 7, 0, {0, 0, 0, 0}, 0, 0},
  };
  for (const Case& c : cases) {
    HDC dc = MarkedDC();
    SetDIBitsToDevice(dc, c.xDest, c.yDest, c.width, c.height, c.xSrc, c.ySrc, 0, 4, dib.pixels.data(), dib.Info(),
                      DIB_RGB_COLORS);
    ExpectPicture(dc, 32, c.drawn, [&](int x, int y) { return POINT{x - c.dx, y - c.dy}; }, c.what);
    DeleteDC(dc);
  }
  HDC dc = MarkedDC();
  StretchDIBits(dc, -4, -4, 2000000000, 2000000000, 0, 0, 6, 4, dib.pixels.data(), dib.Info(), DIB_RGB_COLORS, SRCCOPY);
  EXPECT_EQ(GetPixel(dc, 15, 11), Expected(32, 0, 0)) << "a huge zoom shows the first pixel everywhere";
  DeleteDC(dc);
}

TEST(GdiDibTransfer, BandsHoldOnlySomeScanLines) {
  for (bool topDown : {true, false}) {
    Dib dib(Dib::kBits24, 6, 4, topDown);
    // Scan lines 1 and 2: counted from the top for a top-down DIB, from the bottom for a bottom-up one.
    const BYTE* band = dib.pixels.data() + dib.stride;
    HDC dc = MarkedDC();
    EXPECT_EQ(SetDIBitsToDevice(dc, 0, 0, 6, 4, 0, 0, 1, 2, band, dib.Info(), DIB_RGB_COLORS), 2);
    ExpectPicture(dc, 24, {0, 1, 6, 3}, [](int x, int y) { return POINT{x, y}; }, topDown ? "top-down" : "bottom-up");
    DeleteDC(dc);
  }
}

TEST(GdiDibTransfer, IntoEveryDeviceDepth) {
  Dib dib(Dib::kBits24, 6, 4, false);
  for (int bits : {8, 16, 24, 32}) {
    HDC dc = MarkedDC(bits);
    SetDIBitsToDevice(dc, 0, 0, 6, 4, 0, 0, 0, 4, dib.pixels.data(), dib.Info(), DIB_RGB_COLORS);
    // The eight colours of the picture and the marker exist exactly on each of these devices.
    ExpectPicture(dc, 24, {0, 0, 6, 4}, [](int x, int y) { return POINT{x, y}; }, std::to_string(bits) + "-bit device");
    DeleteDC(dc);
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
  for (const Case& c : cases) {
    Dib spoilt = dib;
    c.spoil(spoilt.Info()->bmiHeader);
    HDC dc = MarkedDC();
    EXPECT_EQ(SetDIBitsToDevice(dc, 0, 0, 6, 4, 0, 0, 0, 4, spoilt.pixels.data(), spoilt.Info(), DIB_RGB_COLORS), 0) << c.what;
    EXPECT_EQ(StretchDIBits(dc, 0, 0, 6, 4, 0, 0, 6, 4, spoilt.pixels.data(), spoilt.Info(), DIB_RGB_COLORS, SRCCOPY), 0)
        << c.what;
    EXPECT_EQ(kvgdi_test::FindInk(dc, kMarker).count, 0) << c.what;
    DeleteDC(dc);
  }
  Dib masks(Dib::kBits16Masks565, 6, 4, true);
  const DWORD holes[] = {0xF0F0, 0x0700, 0x000F};
  std::memcpy(masks.Info()->bmiColors, holes, sizeof holes);
  HDC dc = MarkedDC();
  EXPECT_EQ(SetDIBitsToDevice(dc, 0, 0, 6, 4, 0, 0, 0, 4, masks.pixels.data(), masks.Info(), DIB_RGB_COLORS), 0);
  const BYTE* p = dib.pixels.data();
  EXPECT_EQ(SetDIBitsToDevice(dc, 0, 0, 6, 4, 0, 0, 0, 4, p, dib.Info(), DIB_PAL_COLORS), 0);
  EXPECT_EQ(SetDIBitsToDevice(dc, 0, 0, 6, 4, 0, 0, 0, 4, nullptr, dib.Info(), DIB_RGB_COLORS), 0);
  EXPECT_EQ(SetDIBitsToDevice(dc, 0, 0, 6, 4, 0, 0, 4, 4, p, dib.Info(), DIB_RGB_COLORS), 0) << "no line of the DIB";
  EXPECT_EQ(SetDIBitsToDevice(dc, 0, 0, 6, 4, 0, 0, 0, 4, p, nullptr, DIB_RGB_COLORS), 0);
  EXPECT_EQ(StretchDIBits(dc, 0, 0, 6, 4, 0, 0, 6, 4, p, dib.Info(), DIB_RGB_COLORS, 0x00EE0086), 0) << "not SRCCOPY";
  EXPECT_EQ(StretchDIBits(dc, 0, 0, -6, 4, 0, 0, 6, 4, p, dib.Info(), DIB_RGB_COLORS, SRCCOPY), 0) << "mirroring";
  EXPECT_EQ(StretchDIBits(dc, 0, 0, 6, 4, 0, 0, 6, 0, p, dib.Info(), DIB_RGB_COLORS, SRCCOPY), 0);
  EXPECT_EQ(kvgdi_test::FindInk(dc, kMarker).count, 0);
  DeleteDC(dc);
}

TEST(GdiDibSections, SetAndGetBitsRoundTrip) {
  HDC dc = CreateCompatibleDC(nullptr);
  for (Dib::Format format : kFormats) {
    for (bool topDown : {true, false}) {
      Dib dib(format, 6, 4, topDown);
      void* memory = nullptr;
      HBITMAP bitmap = CreateDIBSection(dc, dib.Info(), DIB_RGB_COLORS, &memory, nullptr, 0);
      ASSERT_NE(bitmap, nullptr);
      ASSERT_NE(memory, nullptr);
      EXPECT_EQ(SetDIBits(dc, bitmap, 0, 4, dib.pixels.data(), dib.Info(), DIB_RGB_COLORS), 4);
      // Same format both ways: the pixels come back, and the section's own memory holds them too;
      // the unused fourth byte of 32-bit pixels is not kept.
      std::vector<BYTE> expected = dib.pixels;
      if (dib.bits == 32)
        for (std::size_t i = 3; i < expected.size(); i += 4) expected[i] = 0;
      EXPECT_EQ(std::memcmp(memory, expected.data(), expected.size()), 0) << dib.bits;
      std::vector<BYTE> back(dib.pixels.size(), 0);
      EXPECT_EQ(GetDIBits(dc, bitmap, 0, 4, back.data(), dib.Info(), DIB_RGB_COLORS), 4);
      EXPECT_EQ(back, expected) << dib.bits;

      // Read back as 24-bit colours, bottom-up.
      Dib colours(Dib::kBits24, 6, 4, false);
      std::fill(colours.pixels.begin(), colours.pixels.end(), 0);
      EXPECT_EQ(GetDIBits(dc, bitmap, 0, 4, colours.pixels.data(), colours.Info(), DIB_RGB_COLORS), 4);
      for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 6; ++x) {
          const BYTE* p = colours.pixels.data() + colours.stride * (3 - y) + 3 * x;
          EXPECT_EQ(RGB(p[2], p[1], p[0]), Expected(dib.bits, x, y)) << dib.bits << " at " << x << "," << y;
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
  EXPECT_EQ(asked.bmiHeader.biWidth, 2);
  EXPECT_EQ(asked.bmiHeader.biHeight, 2);
  EXPECT_EQ(asked.bmiHeader.biBitCount, 24);
  EXPECT_EQ(asked.bmiHeader.biSizeImage, 16u);

  // One scan line read into a band: the bottom one of a bottom-up request.
  BYTE band[8] = {};
  asked.bmiHeader.biBitCount = 32;
  asked.bmiHeader.biCompression = BI_RGB;
  EXPECT_EQ(GetDIBits(dc, bitmap, 0, 1, band, &asked, DIB_RGB_COLORS), 1);
  EXPECT_EQ(band[2], 255);
  asked.bmiHeader.biHeight = -2;
  EXPECT_EQ(GetDIBits(dc, bitmap, 0, 1, band, &asked, DIB_RGB_COLORS), 1);
  EXPECT_EQ(band[2], 0) << "the top row of a top-down request";
  asked.bmiHeader.biWidth = 3;
  EXPECT_EQ(GetDIBits(dc, bitmap, 0, 2, band, &asked, DIB_RGB_COLORS), 0) << "another width";

  EXPECT_EQ(CreateDIBSection(dc, bottomUp.Info(), DIB_RGB_COLORS, nullptr, &asked, 0), nullptr) << "file mapping";
  EXPECT_FALSE(DeleteObject(bitmap)) << "selected";
  DeleteDC(dc);  // releases the bitmap, which it did not create
  EXPECT_TRUE(DeleteObject(bitmap));
}

TEST(GdiDibSections, IndexedToIndexedKeepsTheIndexesAndGivesTheTable) {
  HDC dc = KCreateMemoryDC(4, 1, 8);
  SetPixel(dc, 1, 0, RGB(255, 0, 0));
  std::vector<BYTE> storage(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
  auto* info = reinterpret_cast<BITMAPINFO*>(storage.data());
  info->bmiHeader = {40, 4, -1, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
  BYTE indexes[4] = {9, 9, 9, 9};
  EXPECT_EQ(GetDIBits(dc, static_cast<HBITMAP>(GetCurrentObject(dc, OBJ_BITMAP)), 0, 1, indexes, info, DIB_RGB_COLORS), 1);
  EXPECT_EQ(indexes[0], 0);
  EXPECT_EQ(indexes[1], 180);
  EXPECT_EQ(info->bmiColors[180].rgbRed, 255);
  EXPECT_EQ(info->bmiColors[180].rgbBlue, 0);
  EXPECT_EQ(info->bmiColors[1].rgbBlue, 51);
  DeleteDC(dc);
}

}  // namespace
