#ifndef KVBASE_FOUNDATION_INTERNAL_REPORT_H
#define KVBASE_FOUNDATION_INTERNAL_REPORT_H

// The library's one way of reporting: set the code, trace the operation's name, return.
//
//   if (buffer == nullptr) return KReport(K_ERROR_IMAGE_MEMORY_ACCESS, "KResize");
//   if (KTraceIfFailed("KImage::Load")) return;   // after an inner public call
//
// KReport returns the code so that `short` and `K_ERRORS` results can return it directly; functions
// returning void use `{ KReport(...); return; }` or the void-friendly form `return (void)KReport(...)`.

#include "kvbase/foundation/errors.h"

// Sets `code` as the current error, traces `traceName`, and returns `code`.
inline K_ERRORS KReport(K_ERRORS code, const char* traceName) {
  KSetError(code);
  KTraceError(traceName);
  return code;
}

// After an inner public call: when the current error is non-zero, traces `traceName` and returns true.
inline bool KTraceIfFailed(const char* traceName) {
  if (KGetError() == K_SUCCESS) return false;
  KTraceError(traceName);
  return true;
}

#endif  // KVBASE_FOUNDATION_INTERNAL_REPORT_H
