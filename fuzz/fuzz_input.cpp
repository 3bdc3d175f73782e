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

void KLoadIntoEveryKind(const char* path) {
  short format;
  KImageBW1 bw1;
  KLoadImage(&bw1, path, format);
  KImageBW8 bw8;
  KLoadImage(&bw8, path, format);
  KImageBW16 bw16;
  KLoadImage(&bw16, path, format);
  KImageC15 c15;
  KLoadImage(&c15, path, format);
  KImageC16 c16;
  KLoadImage(&c16, path, format);
  KImageC24 c24;
  KLoadImage(&c24, path, format);
  // ROIs whose rows are narrower than their image's: every row must land inside its own columns.
  KImageBW8 grayParent(40, 20);
  KROIBW8 grayRoi(&grayParent, 3, 5, 17, 9);
  KLoadImage(&grayRoi, path, format);
  KImageC24 colourParent(40, 20);
  KROIC24 colourRoi(&colourParent, 3, 5, 17, 9);
  KLoadImage(&colourRoi, path, format);
}

std::vector<std::uint8_t> KWithSignature(const std::uint8_t* data, std::size_t size, std::size_t at,
                                         const char* signature, std::size_t length) {
  std::vector<std::uint8_t> bytes(data, data + size);
  if (size >= at + length) std::memcpy(bytes.data() + at, signature, length);
  return bytes;
}
