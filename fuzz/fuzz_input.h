#ifndef KVBASE_FUZZ_FUZZ_INPUT_H
#define KVBASE_FUZZ_FUZZ_INPUT_H

// What the fuzz targets share: the library's loaders take file names, so each input is put into an
// in-memory file and handed over by its /proc/self/fd path; and a load into every image kind the file
// front serves, images and ROIs.

#include <cstddef>
#include <cstdint>
#include <vector>

// Replaces the in-memory file's content with `data` and returns its path.
const char* KFuzzInputPath(const std::uint8_t* data, std::size_t size);

// Loads `path` into a BW1, BW8, BW16, C15, C16 and C24 image and into BW8 and C24 ROIs of 17 x 9 pixels.
void KLoadIntoEveryKind(const char* path);

// The input with the bytes at `at` replaced by `signature` (when the input is long enough), so that the
// loader under test is the one reached.
std::vector<std::uint8_t> KWithSignature(const std::uint8_t* data, std::size_t size, std::size_t at,
                                         const char* signature, std::size_t length);

#endif  // KVBASE_FUZZ_FUZZ_INPUT_H
