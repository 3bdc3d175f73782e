#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <utility>

#include "kvbase/files/internal/positional_read.h"
#include "kvbase/testing/image_files_test_support.h"

namespace {

using kvbase::internal::KReadPiece;
using kvbase::internal::ReadAt;
using kvbase::internal::ReadPiecesAt;
using kvbase::testing::Bytes;

// A file of `size` bytes of a pattern, open for reading; `content` receives the bytes.
struct KPatternFile {
  KPatternFile(size_t size, Bytes& content) {
    content.resize(size);
    for (size_t i = 0; i < size; ++i) content[i] = static_cast<unsigned char>(i * 7 + i / 251);
    if (KWriteFileBytes(dir.Path("data.bin"), content)) file = std::fopen(dir.Path("data.bin").c_str(), "rb");
  }
  ~KPatternFile() {
    if (file != nullptr) std::fclose(file);
  }
  KTempDir dir;
  std::FILE* file = nullptr;
};

// Reads at an offset come from the file itself, or through the stream when no file is behind it; a
// read past the end is a failure either way.
TEST(PositionalRead, FilesAndMemoryStreams) {
  Bytes content;
  KPatternFile pattern(70000, content);
  std::FILE* memory = fmemopen(content.data(), content.size(), "rb");
  ASSERT_NE(pattern.file, nullptr);
  ASSERT_NE(memory, nullptr);
  for (std::FILE* stream : {pattern.file, memory}) {
    for (const auto& [offset, count] : {std::pair<size_t, size_t>{0, 16}, {4093, 9000}, {1, 69999}, {69990, 10}}) {
      Bytes got(count);
      ASSERT_TRUE(ReadAt(stream, offset, got.data(), count)) << offset;
      EXPECT_TRUE(std::equal(got.begin(), got.end(), content.begin() + offset)) << offset << " + " << count;
    }
    Bytes past(11);
    EXPECT_FALSE(ReadAt(stream, 69990, past.data(), past.size()));
    EXPECT_FALSE(ReadAt(stream, 80000, past.data(), 1));
  }
  std::fclose(memory);
}

// Pieces are filled one after the other, also when there are more than one call can take; a piece that
// would run past the end of the file fails the whole read.
TEST(PositionalRead, PiecesFollowOneAnother) {
  Bytes content;
  KPatternFile pattern(5000, content);
  ASSERT_NE(pattern.file, nullptr);
  std::FILE* file = pattern.file;
  std::vector<Bytes> buffers(2000, Bytes(2));
  std::vector<KReadPiece> pieces;
  for (Bytes& b : buffers) pieces.push_back({b.data(), b.size()});
  pieces[7].count = 0;  // an empty piece takes nothing
  ASSERT_TRUE(ReadPiecesAt(file, 3, pieces.data(), static_cast<int>(pieces.size())));
  size_t at = 3;
  for (size_t i = 0; i < buffers.size(); ++i) {
    if (i == 7) continue;
    ASSERT_EQ(buffers[i], Bytes(content.begin() + at, content.begin() + at + 2)) << i;
    at += 2;
  }
  Bytes tail(10);
  KReadPiece past[] = {{tail.data(), 5}, {tail.data() + 5, 5}};
  EXPECT_FALSE(ReadPiecesAt(file, 4992, past, 2));
}

}  // namespace
