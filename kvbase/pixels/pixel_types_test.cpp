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

TEST(PixelTypes, DepthCodesFollowTheStorageWidth) {
  EXPECT_EQ(KPixelTraits<KC15>::kBitsPerPixelCode, KPixelTraits<unsigned short>::kBitsPerPixelCode);
  EXPECT_EQ(KPixelTraits<KC24>::kBitsPerPixelCode, 32);
  EXPECT_EQ(KPixelTraits<KSubPixel64>::kPlanesPerPixel, 0);
}

}  // namespace
