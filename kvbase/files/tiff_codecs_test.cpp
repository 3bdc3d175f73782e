// The TIFF codecs on their own: LZW (against streams built code by code and against libtiff's codec)
// and the horizontal predictor (against a plain reference).

#include <random>

#include "kvbase/files/internal/tiff_lzw.h"
#include "kvbase/files/internal/tiff_predictor.h"
#include "kvbase/testing/image_files_test_support.h"
#include "kvbase/testing/tiff_reference.h"

namespace {

using namespace kvbase::testing;
using kvbase::internal::KLzwDecoder;
using kvbase::internal::KLzwEncoder;
using kvbase::internal::KLzwEnd;

constexpr unsigned kClear = 256, kEnd = 257;

// Codes written most significant bit first, each with the width given.
class KCodeStream {
 public:
  void Put(unsigned code, int width) {
    for (int bit = width - 1; bit >= 0; --bit) {
      if (used_ % 8 == 0) bytes_.push_back(0);
      if (code >> bit & 1) bytes_.back() |= static_cast<unsigned char>(0x80 >> used_ % 8);
      ++used_;
    }
  }
  const Bytes& BytesOf() const { return bytes_; }

 private:
  Bytes bytes_;
  size_t used_ = 0;
};

// A stream of one code per byte of `bytes`, no string ever reused, each code as wide as TIFF readers
// expect it: 9 bits until the decoder's table reaches entry 511 - `late`, then 10, 11 and 12. Every
// code after the first makes an entry; a table of 4096 entries makes no more. A clear code goes out
// before the byte at each of `clearsAt`.
Bytes LiteralStream(const Bytes& bytes, int late = 0, const std::vector<size_t>& clearsAt = {}) {
  KCodeStream stream;
  int width = 9;
  unsigned entries = 258;  // the decoder's next entry
  stream.Put(kClear, width);
  bool first = true;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (std::find(clearsAt.begin(), clearsAt.end(), i) != clearsAt.end()) {
      stream.Put(kClear, width);
      width = 9;
      entries = 258;
      first = true;
    }
    stream.Put(bytes[i], width);
    if (!first && entries < 4096) ++entries;
    first = false;
    if (width < 12 && entries + 1 >= (1u << width) + late) ++width;
  }
  stream.Put(kEnd, width);
  return stream.BytesOf();
}

Bytes Decoded(const Bytes& stream, size_t capacity, KLzwEnd* end = nullptr) {
  Bytes out(capacity);
  KLzwDecoder decoder;
  const auto result = decoder.Decode(stream.data(), stream.size(), out.data(), out.size());
  if (end != nullptr) *end = result.end;
  out.resize(result.length);
  return out;
}

Bytes Encoded(const Bytes& bytes) {
  Bytes out(KLzwEncoder::Bound(bytes.size()));
  KLzwEncoder encoder;
  out.resize(encoder.Encode(bytes.data(), bytes.size(), out.data()));
  return out;
}

Bytes Noise(size_t count, unsigned seed, int values = 256) {
  std::mt19937 random(seed);
  Bytes bytes(count);
  for (unsigned char& b : bytes) b = static_cast<unsigned char>(random() % values);
  return bytes;
}

// Widths change when the decoder's table reaches entries 511, 1023 and 2047, one code early: streams
// with 300 to 4500 codes cross each change, and the full table. A stream that changes one code late,
// as the first TIFF writers did, does not decode to the same bytes.
TEST(TiffLzw, CodeWidthsGrowOneCodeEarly) {
  for (size_t count : {250u, 300u, 800u, 1800u, 3900u, 4500u}) {
    const Bytes bytes = Noise(count, static_cast<unsigned>(count));
    KLzwEnd end{};
    EXPECT_EQ(Decoded(LiteralStream(bytes), count + 10, &end), bytes) << count;
    EXPECT_EQ(end, KLzwEnd::kEndCode) << count;
    if (count > 260) {
      EXPECT_NE(Decoded(LiteralStream(bytes, 1), count + 10), bytes) << count;
    }
  }
}

TEST(TiffLzw, AClearCodeStartsTheTableAndTheWidthsAfresh) {
  const Bytes bytes = Noise(1500, 7);
  EXPECT_EQ(Decoded(LiteralStream(bytes, 0, {600, 1100}), 2000), bytes);
}

TEST(TiffLzw, StreamsThatEndEarlyOrHoldBadCodesStopThere) {
  const Bytes bytes = Noise(5000, 11);
  const Bytes stream = Encoded(bytes);
  KLzwEnd end{};
  const Bytes cut = Decoded(Bytes(stream.begin(), stream.begin() + stream.size() / 2), bytes.size(), &end);
  EXPECT_EQ(end, KLzwEnd::kInputEnds);
  EXPECT_LT(cut.size(), bytes.size());
  EXPECT_TRUE(std::equal(cut.begin(), cut.end(), bytes.begin()));

  const struct {
    const char* name;
    std::vector<std::pair<unsigned, int>> codes;  // code, width
    size_t good;                                  // bytes decoded before the bad code
  } cases[] = {
      {"an entry first", {{kClear, 9}, {300, 9}}, 0},
      {"an entry not made yet", {{kClear, 9}, {65, 9}, {66, 9}, {260, 9}}, 2},
      {"an entry first after a clear", {{kClear, 9}, {65, 9}, {66, 9}, {258, 9}, {kClear, 9}, {258, 9}}, 4},
  };
  for (const auto& c : cases) {
    KCodeStream stream;
    for (const auto& [code, width] : c.codes) stream.Put(code, width);
    EXPECT_EQ(Decoded(stream.BytesOf(), 100, &end).size(), c.good) << c.name;
    EXPECT_EQ(end, KLzwEnd::kBadCode) << c.name;
  }
}

// The string of a code being made (KwKwK) and long runs, cut by the output's end without a byte more.
TEST(TiffLzw, OutputEndsExactlyAtItsCapacity) {
  const Bytes run(20000, 9);
  const Bytes stream = Encoded(run);
  EXPECT_LT(stream.size(), 400u);
  for (size_t capacity : {1u, 2u, 3u, 17u, 1000u, 19999u, 20000u}) {
    Bytes out(capacity + 64, 0xEE);
    KLzwDecoder decoder;
    const auto result = decoder.Decode(stream.data(), stream.size(), out.data(), capacity);
    EXPECT_EQ(result.length, capacity);
    EXPECT_EQ(result.end, KLzwEnd::kFull);
    EXPECT_EQ(std::count(out.begin(), out.begin() + capacity, 9), static_cast<long>(capacity)) << capacity;
    EXPECT_EQ(std::count(out.begin() + capacity, out.end(), 0xEE), 64) << capacity;
  }
}

TEST(TiffLzw, RoundTripsStayWithinTheBound) {
  Bytes ramp(70000);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<unsigned char>(i / 300 + (i % 7 == 0));
  const Bytes inputs[] = {{}, {42}, Bytes(10, 'a'), Noise(100000, 3), Noise(100000, 4, 3), ramp};
  for (const Bytes& bytes : inputs) {
    const Bytes stream = Encoded(bytes);
    EXPECT_LE(stream.size(), KLzwEncoder::Bound(bytes.size()));
    KLzwEnd end{};
    EXPECT_EQ(Decoded(stream, bytes.size() + 1, &end), bytes) << bytes.size();
    EXPECT_EQ(end, KLzwEnd::kEndCode);
  }
}

// No stream gives more than 2560 bytes per byte: 12-bit codes of the longest string.
TEST(TiffLzw, TheLargestExpansionIsWithinTheStatedGain) {
  const Bytes run(4'000'000, 0);
  const Bytes stream = Encoded(run);
  KCodeStream longest;
  longest.Put(kClear, 9);
  longest.Put(0, 9);
  // Entries 258 to 4095 each one byte longer; then entry 4095 (3839 zeros) again and again.
  unsigned width = 9;
  for (unsigned next = 258, code = 258; next < 4096; ++next, ++code) {
    longest.Put(code, static_cast<int>(width));
    if (width < 12 && next + 1 >= (1u << width) - 1) ++width;
  }
  for (int i = 0; i < 1000; ++i) longest.Put(4095, 12);
  const Bytes& bytes = longest.BytesOf();
  const Bytes out = Decoded(bytes, 20'000'000);
  EXPECT_EQ(out.size(), 3839u * 3840u / 2 + 1000u * 3839u);
  EXPECT_LE(out.size(), bytes.size() * kvbase::internal::kLzwMaxGain);
  EXPECT_LE(run.size(), stream.size() * kvbase::internal::kLzwMaxGain);
}

// libtiff's own codec: it decodes our streams, and we decode its streams, of noise and of smooth data.
TEST(TiffLzw, StreamsMatchLibtiffsCodec) {
  KTempDir dir;
  const std::string path = dir.Path("lzw.tif");
  Bytes smooth(256 * 256);
  for (size_t i = 0; i < smooth.size(); ++i) smooth[i] = static_cast<unsigned char>((i % 256) / 3 + i / 2048);
  for (const Bytes& bytes : {Noise(256 * 256, 5), smooth}) {
    for (bool ours : {false, true}) {
      TIFF* tiff = TIFFOpen(path.c_str(), "w");
      ASSERT_NE(tiff, nullptr);
      TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, 256);
      TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, 256);
      TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
      TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
      TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 256);
      TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
      if (ours) {
        Bytes stream = Encoded(bytes);
        ASSERT_GT(TIFFWriteRawStrip(tiff, 0, stream.data(), static_cast<tmsize_t>(stream.size())), 0);
      } else {
        Bytes copy = bytes;
        ASSERT_GT(TIFFWriteEncodedStrip(tiff, 0, copy.data(), static_cast<tmsize_t>(copy.size())), 0);
      }
      TIFFClose(tiff);
      tiff = TIFFOpen(path.c_str(), "r");
      ASSERT_NE(tiff, nullptr);
      Bytes raw(static_cast<size_t>(TIFFRawStripSize(tiff, 0))), decoded(bytes.size());
      ASSERT_GT(TIFFReadRawStrip(tiff, 0, raw.data(), static_cast<tmsize_t>(raw.size())), 0);
      ASSERT_EQ(TIFFReadEncodedStrip(tiff, 0, decoded.data(), static_cast<tmsize_t>(decoded.size())),
                static_cast<tmsize_t>(bytes.size()));
      TIFFClose(tiff);
      EXPECT_EQ(decoded, bytes) << (ours ? "libtiff decoding ours" : "libtiff's own");
      EXPECT_EQ(Decoded(raw, bytes.size()), bytes) << (ours ? "ours" : "ours decoding libtiff's");
    }
  }
}

// The predictor against a plain reference: every width around the vector sizes, every stride the
// reader meets, both byte orders of 16-bit samples; the colour version also exchanges red and blue.
TEST(TiffPredictor, DifferencesAreUndoneForEveryStrideAndWidth) {
  for (size_t samples = 1; samples <= 5; ++samples) {
    for (size_t pixels : {0u, 1u, 2u, 5u, 15u, 16u, 17u, 33u, 100u, 1001u}) {
      SCOPED_TRACE(std::to_string(samples) + " samples, " + std::to_string(pixels) + " pixels");
      const Bytes row = Noise(2 * pixels * samples, static_cast<unsigned>(pixels * 10 + samples));
      // 8 bits.
      Bytes sums(pixels * samples), differences(pixels * samples);
      for (size_t i = 0; i < sums.size(); ++i)
        sums[i] = static_cast<unsigned char>(row[i] + (i >= samples ? sums[i - samples] : 0));
      kvbase::internal::HorizontalDifferences8(sums.data(), differences.data(), pixels, samples);
      EXPECT_TRUE(std::equal(differences.begin(), differences.end(), row.begin()));
      kvbase::internal::UndoHorizontalDifferences8(differences.data(), pixels, samples);
      EXPECT_EQ(differences, sums);
      // 16 bits, the file's bytes in either order.
      std::vector<uint16_t> sums16(pixels * samples);
      for (size_t i = 0; i < sums16.size(); ++i)
        sums16[i] = static_cast<uint16_t>(row[2 * i] | row[2 * i + 1] << 8) + (i >= samples ? sums16[i - samples] : 0);
      Bytes le(2 * sums16.size());
      if (!le.empty()) std::memcpy(le.data(), sums16.data(), le.size());
      Bytes diff16(le.size());
      kvbase::internal::HorizontalDifferences16(le.data(), diff16.data(), pixels, samples);
      EXPECT_EQ(diff16, row);
      for (bool big : {false, true}) {
        Bytes file = row;
        if (big)
          for (size_t i = 0; i + 1 < file.size(); i += 2) std::swap(file[i], file[i + 1]);
        kvbase::internal::UndoHorizontalDifferences16(file.data(), pixels, samples, big);
        EXPECT_EQ(file, le) << big;
      }
    }
  }
  for (size_t pixels : {0u, 1u, 15u, 16u, 17u, 48u, 100u}) {
    const Bytes row = Noise(3 * pixels, static_cast<unsigned>(pixels));
    Bytes expected = row, apart(3 * pixels), inPlace = row;
    kvbase::internal::UndoHorizontalDifferences8(expected.data(), pixels, 3);
    for (size_t i = 0; i < pixels; ++i) std::swap(expected[3 * i], expected[3 * i + 2]);
    kvbase::internal::UndoHorizontalDifferencesRgbToBgr(row.data(), apart.data(), pixels);
    kvbase::internal::UndoHorizontalDifferencesRgbToBgr(inPlace.data(), inPlace.data(), pixels);
    EXPECT_EQ(apart, expected) << pixels;
    EXPECT_EQ(inPlace, expected) << pixels;
  }
}

}  // namespace
