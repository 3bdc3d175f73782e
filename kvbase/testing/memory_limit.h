#ifndef KVBASE_TESTING_MEMORY_LIMIT_H
#define KVBASE_TESTING_MEMORY_LIMIT_H

// Loads under an address-space limit, to show that a reader allocates no more than a file can fill.
// Meant for a death test's child process: the limit stays until the process ends, which it does here.

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "kvbase/files/image_files.h"

namespace kvbase::testing {

// The sanitizers reserve shadow memory that no address-space limit leaves room for.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitizedAddressSpace = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitizedAddressSpace = true;
#else
constexpr bool kSanitizedAddressSpace = false;
#endif
#else
constexpr bool kSanitizedAddressSpace = false;
#endif

// Loads `path` into BW8 with the address space allowed to grow by `growth` bytes at most, and ends the
// process: exit code 0 when the load succeeded and every pixel is `check`'s, 1 when the load failed
// (its code is printed as "load: N"), 3 for a wrong pixel.
template <typename Check>
[[noreturn]] void LoadWithinGrowth(const std::string& path, std::size_t growth, Check check) {
  long pages = 0;
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr || std::fscanf(statm, "%ld", &pages) != 1) std::_Exit(2);
  std::fclose(statm);
  rlimit limit;
  limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + growth;
  if (setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(2);
  KImageBW8 image(1, 1);
  short format = -1;
  const short result = KLoadImage(&image, path.c_str(), format);
  std::fprintf(stderr, "load: %d\n", result);
  if (result != K_SUCCESS) std::_Exit(1);
  for (int y = 0; y < image.GetHeight(); ++y)
    for (int x = 0; x < image.GetWidth(); ++x)
      if (image.GetPixel(x, y) != check(x, y)) std::_Exit(3);
  std::_Exit(0);
}

}  // namespace kvbase::testing

#endif  // KVBASE_TESTING_MEMORY_LIMIT_H
