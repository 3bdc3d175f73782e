#include "kvbase/files/internal/bmp_rle.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using kvbase::internal::bmp::DecodeRle;
using kvbase::internal::bmp::KByteSource;
using Bytes = std::vector<unsigned char>;
using Rows = std::vector<Bytes>;

struct KDecoded {
  K_ERRORS result;
  Rows rows;  // in the order they were handed on
  std::vector<int> numbers;
};

KDecoded Decode(KByteSource& source, int bits, int width, int height) {
  KDecoded decoded;
  decoded.result = DecodeRle(source, bits, width, height, [&](int row, const unsigned char* indices) {
    decoded.numbers.push_back(row);
    decoded.rows.emplace_back(indices, indices + width);
  });
  return decoded;
}

KDecoded Decode(const Bytes& stream, int bits, int width, int height) {
  KByteSource source(stream.data(), stream.size());
  return Decode(source, bits, width, height);
}

TEST(BmpRle, CodesDecodeToRowsOfIndices) {
  constexpr K_ERRORS OK = K_SUCCESS, CUT = K_ERROR_FILE_READ;
  struct Case {
    const char* what;
    int bits, width, height;
    Bytes stream;
    K_ERRORS result;
    Rows rows;  // the rows handed on, in file order
  };
  const Case cases[] = {
      {"runs, end of row, end of bitmap", 8, 4, 2, {2, 7, 2, 9, 0, 0, 3, 5, 0, 1}, OK, {{7, 7, 9, 9}, {5, 5, 5, 0}}},
      {"absolute runs of odd and even length keep their padding",
       8,
       5,
       2,
       {0, 3, 1, 2, 3, 0, 2, 4, 0, 0, 0, 4, 9, 8, 7, 6, 0, 1},
       OK,
       {{1, 2, 3, 4, 4}, {9, 8, 7, 6, 0}}},
      {"a move skips pixels, which stay 0, and keeps the column",
       8,
       4,
       3,
       {1, 5, 0, 2, 2, 1, 1, 6, 0, 0, 0, 2, 3, 0, 1, 7, 0, 1},
       OK,
       {{5, 0, 0, 0}, {0, 0, 0, 6}, {0, 0, 0, 7}}},
      {"runs past the end of the row are cut, without wrapping",
       8,
       3,
       2,
       {5, 1, 2, 2, 0, 4, 3, 4, 5, 6, 0, 0, 1, 9, 0, 0},
       OK,
       {{1, 1, 1}, {9, 0, 0}}},
      {"a move past the last row ends the image", 8, 2, 3, {1, 3, 0, 2, 0, 9, 4, 4}, OK, {{3, 0}, {0, 0}, {0, 0}}},
      {"the end of the last row ends the image without an end of bitmap",
       8,
       1,
       2,
       {1, 1, 0, 0, 1, 2, 0, 0},
       OK,
       {{1}, {2}}},
      {"RLE4 runs alternate the two indices of their byte, high first",
       4,
       5,
       1,
       {5, 0x12, 0, 1},
       OK,
       {{1, 2, 1, 2, 1}}},
      {"RLE4 absolute runs hold two indices a byte, padded to a word",
       4,
       7,
       2,
       {0, 5, 0x34, 0x56, 0x70, 0, 2, 0xAB, 0, 0, 0, 3, 0xCD, 0xE0, 0, 1},
       OK,
       {{3, 4, 5, 6, 7, 0xA, 0xB}, {0xC, 0xD, 0xE, 0, 0, 0, 0}}},
      {"an early end of bitmap leaves the rows after it 0", 4, 2, 3, {2, 0x90, 0, 1}, OK, {{9, 0}, {0, 0}, {0, 0}}},
      {"a stream that stops before its end is cut short", 8, 2, 3, {2, 4, 0, 0, 1, 5}, CUT, {{4, 4}}},
      {"an absolute run whose bytes are not all there", 8, 4, 1, {0, 4, 1, 2, 3}, CUT, {}},
      {"an absolute run without its padding", 8, 4, 1, {0, 3, 1, 2, 3}, CUT, {}},
      {"a move without its offsets", 8, 4, 2, {0, 2, 1}, CUT, {}},
  };
  for (const Case& c : cases) {
    const KDecoded decoded = Decode(c.stream, c.bits, c.width, c.height);
    EXPECT_EQ(decoded.result, c.result) << c.what;
    EXPECT_EQ(decoded.rows, c.rows) << c.what;
    std::vector<int> order;
    for (int i = 0; i < static_cast<int>(c.rows.size()); ++i) order.push_back(i);
    EXPECT_EQ(decoded.numbers, order) << c.what << ": every row once, in file order";
  }
}

// A file is read in pieces: codes and absolute runs that straddle two pieces decode as from memory.
TEST(BmpRle, StreamsReadFromAFileInPiecesDecodeAsFromMemory) {
  constexpr int kWidth = 251, kHeight = 700;  // rows of 256 bytes: an absolute run of 251, its padding, the end of row
  Bytes stream = {0xDE, 0xAD};                // bytes before the stream, which the source must skip
  for (int y = 0; y < kHeight; ++y) {
    stream.insert(stream.end(), {0, kWidth});
    for (int x = 0; x < kWidth; ++x) stream.push_back(static_cast<unsigned char>(x * 3 + y));
    stream.insert(stream.end(), {0, 0, 0});  // the absolute run's padding, the end of row
  }
  stream.insert(stream.end(), {0, 1, 0xEE, 0xEE});
  ASSERT_GT(stream.size(), 2u * 64 * 1024) << "more than two pieces";

  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(std::fwrite(stream.data(), 1, stream.size(), file), stream.size());
  std::fflush(file);
  KByteSource fromFile(file, 2, stream.size() - 2);
  const KDecoded read = Decode(fromFile, 8, kWidth, kHeight);
  KByteSource inMemory(stream.data() + 2, stream.size() - 4);
  const KDecoded held = Decode(inMemory, 8, kWidth, kHeight);
  EXPECT_EQ(read.result, K_SUCCESS);
  ASSERT_EQ(read.rows.size(), static_cast<size_t>(kHeight));
  EXPECT_EQ(read.rows, held.rows);
  EXPECT_EQ(read.rows[kHeight - 1][kWidth - 1], static_cast<unsigned char>(250 * 3 + kHeight - 1));

  // Without its end of bitmap the last row's end ends the image; one row short, the stream is cut.
  KByteSource shorter(file, 2, stream.size() - 4);
  EXPECT_EQ(Decode(shorter, 8, kWidth, kHeight).result, K_SUCCESS);
  KByteSource cut(file, 2, stream.size() - 4 - 256);
  const KDecoded partial = Decode(cut, 8, kWidth, kHeight);
  EXPECT_EQ(partial.result, K_ERROR_FILE_READ);
  EXPECT_EQ(partial.rows.size(), static_cast<size_t>(kHeight - 1));
  std::fclose(file);
}

}  // namespace
