#include "kvbase/files/internal/sample_rows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace kvbase::internal;
using Bytes = std::vector<unsigned char>;

TEST(SampleRows, PackedSamplesUnpackHighBitsFirstAndScaleExactly) {
  const Bytes packed = {0b10110100, 0b11000000};
  struct Case {
    int bits;
    std::size_t count;
    Bytes unpacked, scaled;
  } cases[] = {
      {1, 10, {1, 0, 1, 1, 0, 1, 0, 0, 1, 1}, {255, 0, 255, 255, 0, 255, 0, 0, 255, 255}},
      {2, 5, {2, 3, 1, 0, 3}, {170, 255, 85, 0, 255}},
      {4, 3, {11, 4, 12}, {187, 68, 204}},
      {8, 2, {0b10110100, 0b11000000}, {0b10110100, 0b11000000}},
  };
  for (const Case& c : cases) {
    Bytes out(c.count + 1, 0xEE);
    UnpackSamples(packed.data(), c.bits, c.count, out.data());
    EXPECT_EQ(Bytes(out.begin(), out.end() - 1), c.unpacked) << c.bits;
    EXPECT_EQ(out.back(), 0xEE) << "nothing written past the samples";
    if (c.bits < 8) ScaleToEightBits(out.data(), c.bits, c.count);
    EXPECT_EQ(Bytes(out.begin(), out.end() - 1), c.scaled) << c.bits;
  }
}

TEST(SampleRows, AStepTakesEachPixelsFirstSampleOnly) {
  // Pixels of three samples: 1-bit 101 011 110, 2-bit 10 11 01 then 00 11 11, and 8-bit bytes.
  const Bytes oneBit = {0b10101111, 0b00000000}, twoBit = {0b10110100, 0b11110000}, bytes = {7, 8, 9, 10, 11, 12};
  Bytes out(3, 0xEE);
  UnpackSamples(oneBit.data(), 1, 3, out.data(), 3);
  EXPECT_EQ(out, (Bytes{1, 0, 1}));
  out.assign(3, 0xEE);
  UnpackSamples(twoBit.data(), 2, 2, out.data(), 3);
  EXPECT_EQ(out, (Bytes{2, 0, 0xEE}));
  out.assign(3, 0xEE);
  UnpackSamples(bytes.data(), 8, 2, out.data(), 3);
  EXPECT_EQ(out, (Bytes{7, 10, 0xEE}));
}

TEST(SampleRows, PalettesExpandAndIndicesPastTheTableAreBlack) {
  KPalette palette;
  palette.Set(0, 10, 20, 30);
  palette.Set(2, 200, 100, 50);
  EXPECT_EQ(palette.Count(), 3);
  const Bytes indices = {2, 0, 1, 255};
  Bytes bgr(12);
  palette.ToBgr(indices.data(), indices.size(), bgr.data());
  EXPECT_EQ(bgr, (Bytes{50, 100, 200, 30, 20, 10, 0, 0, 0, 0, 0, 0}));
  EXPECT_FALSE(palette.IsGray());

  KPalette gray;
  for (int i = 0; i < 4; ++i)
    gray.Set(i, static_cast<std::uint8_t>(i * 80), static_cast<std::uint8_t>(i * 80),
             static_cast<std::uint8_t>(i * 80));
  EXPECT_TRUE(gray.IsGray());
  Bytes levels(4);
  gray.ToGray(indices.data(), indices.size(), levels.data());
  EXPECT_EQ(levels, (Bytes{160, 0, 80, 0}));
}

// Packed indices become gray levels in the row that holds them, for every depth and for counts that end
// inside a byte; indices past the table give black.
TEST(SampleRows, PackedIndicesBecomeGrayLevelsInPlace) {
  KPalette gray;
  for (int i = 0; i < 5; ++i) {
    const auto level = static_cast<std::uint8_t>(250 - i * 10);
    gray.Set(i, level, level, level);
  }
  for (int bits : {1, 2, 4, 8}) {
    for (std::size_t count : {std::size_t{1}, std::size_t{7}, std::size_t{11}}) {
      SCOPED_TRACE(std::to_string(bits) + " bits, " + std::to_string(count) + " pixels");
      const unsigned top = (1u << bits) - 1;
      Bytes row(count + 1, 0);
      Bytes expected(count);
      for (std::size_t i = 0; i < count; ++i) {
        const unsigned index = (i * 3 + 1) & top;  // reaches past the five entries at 4 and 8 bits
        const std::size_t bit = i * bits;
        row[bit / 8] |= static_cast<unsigned char>(index << (8 - bits - bit % 8));
        expected[i] = static_cast<unsigned char>(index < 5 ? 250 - index * 10 : 0);
      }
      row[count] = 0xEE;
      gray.PackedToGray(row.data(), bits, count, row.data());
      EXPECT_EQ(Bytes(row.begin(), row.end() - 1), expected);
      EXPECT_EQ(row.back(), 0xEE) << "nothing written past the pixels";
    }
  }
}

TEST(SampleRows, AlphaIsDroppedInPlace) {
  Bytes row = {1, 2, 3, 99, 4, 5, 6, 99, 7, 8, 9, 99};
  KeepLeadingBytes(row.data(), 4, 3, 3, row.data());
  EXPECT_EQ(Bytes(row.begin(), row.begin() + 9), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

}  // namespace
