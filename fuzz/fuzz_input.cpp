#include "fuzz_input.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kvbase/files/image_files.h"

const char* KFuzzInputPath(const std::uint8_t* data, std::size_t size) {
  static int fd = -1;
  static char path[64];
  if (fd < 0) {
    fd = memfd_create("kvbase-fuzz", 0);
    if (fd < 0) std::abort();
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
  }
  if (ftruncate(fd, 0) != 0) std::abort();
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
    if (n <= 0) std::abort();
    done += static_cast<std::size_t>(n);
  }
  return path;
}

namespace {

// Loads into a fresh image, or into an ROI of 17 x 9 placed at (3, 5) in a 40 x 20 image, so that the
// ROI's rows are narrower than its image's: every row must land inside its own columns.
template <typename Image>
void LoadInto(const char* path) {
  short format;
  Image image;
  KLoadImage(&image, path, format);
}

template <typename T>
void LoadIntoRoi(const char* path) {
  short format;
  KImage<T> parent(40, 20);
  KROI<T> roi(&parent, 3, 5, 17, 9);
  KLoadImage(&roi, path, format);
}

}  // namespace

void KLoadIntoEveryKind(const char* path) {
  LoadInto<KImageBW1>(path);
  LoadInto<KImageBW8>(path);
  LoadInto<KImageBW16>(path);
  LoadInto<KImageC15>(path);
  LoadInto<KImageC16>(path);
  LoadInto<KImageC24>(path);
  LoadIntoRoi<unsigned char>(path);
  LoadIntoRoi<KC24>(path);
}

std::vector<std::uint8_t> KWithSignature(const std::uint8_t* data, std::size_t size, std::size_t at,
                                         const char* signature, std::size_t length) {
  std::vector<std::uint8_t> bytes(data, data + size);
  if (size >= at + length) std::memcpy(bytes.data() + at, signature, length);
  return bytes;
}
