#ifndef KVBASE_VECTORS_RUN_H
#define KVBASE_VECTORS_RUN_H

// KRun: one horizontal run of an ROI mask. `start` and `end` locate the run's first pixel and the place
// just past its last pixel, either as addresses or as byte offsets from the ROI's pixel (0, 0), as the
// ROI's mask-offsets flag chose when the mask was built. They are pointer-sized in memory; in vector files
// a run is a 12-byte record (two 32-bit words, column, row), so offsets round-trip and addresses do not.

#include <cstdint>

#include "kvbase/platform/export.h"

struct KVBASE_API KRun {
  std::uintptr_t start;
  std::uintptr_t end;
  std::uint16_t x;  // column of the first pixel
  std::uint16_t y;  // row
};

#endif  // KVBASE_VECTORS_RUN_H
