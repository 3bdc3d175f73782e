#include "kvbase/pixels/pixel_types.h"

#include <gtest/gtest.h>

namespace {

TEST(PixelTypes, ColourConstantsByteOrder) {
  struct Case {
    const KC24& colour;
    int b0, b1, b2;
  } cases[] = {{KBlack24, 0, 0, 0},      {KRed24, 255, 0, 0},       {KGreen24, 0, 255, 0},    {KBlue24, 0, 0, 255},
               {KCyan24, 0, 255, 255},   {KMagenta24, 255, 0, 255}, {KYellow24, 255, 255, 0}, {KWhite24, 255, 255, 255},
               {KGray24, 128, 128, 128}, {KC24(1, 2, 3), 3, 2, 1}};  // the constructor takes byte 2 first
  for (const Case& c : cases) {
    EXPECT_EQ(c.colour.byte0, c.b0) << c.b0 << c.b1 << c.b2;
    EXPECT_EQ(c.colour.byte1, c.b1) << c.b0 << c.b1 << c.b2;
    EXPECT_EQ(c.colour.byte2, c.b2) << c.b0 << c.b1 << c.b2;
  }
}

// The rows must agree with the pixel types they describe and with each other: a wrong width, code or
// mask in one row shows here.
template <typename T>
void ExpectRowFitsType() {
  const KPixelKind& kind = KPixelTraits<T>::kKind;
  SCOPED_TRACE(kind.name);
  EXPECT_EQ(kind.elementSize, static_cast<int>(sizeof(T)));
  const int storageBits = kind.type == K_IMAGE_BW1 ? 1 : 8 * static_cast<int>(sizeof(T));
  EXPECT_EQ(kind.bitsPerPixel, storageBits);
  const short codes[] = {K_DEPTH_1, K_DEPTH_8, K_DEPTH_16, K_DEPTH_24, K_DEPTH_32, K_DEPTH_64};
  const int widths[] = {1, 8, 16, 24, 32, 64};
  int width = 0;
  while (widths[width] != storageBits) ++width;
  EXPECT_EQ(kind.bitsPerPixelCode, codes[width]);
  EXPECT_LE(kind.TotalBits(), storageBits);
  for (int plane = 0; plane < 4; ++plane) EXPECT_EQ(kind.bitsPerPlane[plane] != 0, plane < kind.planesPerPixel);
  // A 16-bit colour word's masks are disjoint and hold exactly the bits of its planes, red highest.
  const KColorMasks& m = kind.masks;
  if (m.red | m.green | m.blue) {
    EXPECT_EQ(m.red & m.green, 0u);
    EXPECT_EQ((m.red | m.green) & m.blue, 0u);
    EXPECT_EQ(__builtin_popcount(m.red), kind.bitsPerPlane[0]);
    EXPECT_EQ(__builtin_popcount(m.green), kind.bitsPerPlane[1]);
    EXPECT_EQ(__builtin_popcount(m.blue), kind.bitsPerPlane[2]);
    EXPECT_GT(m.red, m.green);
    EXPECT_GT(m.green, m.blue);
  }
  EXPECT_EQ(KGetPixelKind(kind.type), &kind);
  EXPECT_EQ(KFindPixelKind(kind.name), &kind);
}

TEST(PixelTypes, EachKindRowFitsItsTypeAndIsFoundByCodeAndName) {
#define KVBASE_EXPECT_ROW(T) ExpectRowFitsType<T>();
  KVBASE_FOR_EACH_PIXEL_TYPE(KVBASE_EXPECT_ROW)
#undef KVBASE_EXPECT_ROW
  EXPECT_EQ(KGetPixelKind(static_cast<K_IMAGE_TYPES>(8)), nullptr);
  EXPECT_EQ(KGetPixelKind(static_cast<K_IMAGE_TYPES>(11)), nullptr);
  EXPECT_EQ(KFindPixelKind("bw8"), nullptr);
  EXPECT_EQ(KFindPixelKind(nullptr), nullptr);
}

}  // namespace
