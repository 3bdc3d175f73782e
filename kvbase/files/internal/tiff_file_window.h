#ifndef KVBASE_FILES_INTERNAL_TIFF_FILE_WINDOW_H
#define KVBASE_FILES_INTERNAL_TIFF_FILE_WINDOW_H

// Reading a file's strips through a window, so that strips of a few KiB cost no read of their own: 1 MiB
// while the strips follow one another, as little as 64 KiB when they jump about.

#include <cstdint>
#include <cstdio>
#include <vector>

namespace kvbase::internal {

class KFileWindow {
 public:
  KFileWindow(std::FILE* file, long long fileSize);

  // Up to `count` bytes at `offset`, at least one unless the file ends there or cannot be read.
  std::size_t Get(std::uint64_t offset, std::uint64_t count, const unsigned char*& bytes);

  // All `count` bytes at `offset` in one piece, or null when they do not lie in the file or cannot be
  // read. Valid until the next call.
  const unsigned char* Whole(std::uint64_t offset, std::uint64_t count);

 private:
  bool Load(std::uint64_t offset, std::uint64_t size);

  static constexpr std::uint64_t kSmallest = 64 * 1024;
  static constexpr std::uint64_t kLargest = 1024 * 1024;

  std::FILE* file_;
  std::uint64_t fileSize_;
  std::vector<unsigned char> window_;
  std::uint64_t start_ = 0;
};

}  // namespace kvbase::internal

#endif  // KVBASE_FILES_INTERNAL_TIFF_FILE_WINDOW_H
