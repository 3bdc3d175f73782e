// JPEG loader under fuzzing: every input carries "JFIF" (or "Exif") at byte 6 so that the codec is
// reached, and is loaded into every image kind.

#include <cstring>

#include "fuzz_input.h"
#include "kvbase/foundation/errors.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  KSetTraceMode(K_TRACE_SILENT);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const bool exif = size >= 10 && std::memcmp(data + 6, "Exif", 4) == 0;
  const std::vector<std::uint8_t> bytes = KWithSignature(data, size, 6, exif ? "Exif" : "JFIF", 4);
  KLoadIntoEveryKind(KFuzzInputPath(bytes.data(), bytes.size()));
  return 0;
}
