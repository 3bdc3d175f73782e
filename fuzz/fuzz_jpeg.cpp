// JPEG loader under fuzzing: every input is made to start with FF D8 FF (the start-of-image marker and
// the next marker's first byte), which makes a file a JPEG whatever segments follow (JFIF, Exif, Adobe or
// none), so that the codec is reached; each input is loaded into every image kind.

#include "fuzz_input.h"
#include "kvbase/foundation/errors.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  KSetTraceMode(K_TRACE_SILENT);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> bytes = KWithSignature(data, size, 0, "\xFF\xD8\xFF", 3);
  KLoadIntoEveryKind(KFuzzInputPath(bytes.data(), bytes.size()));
  return 0;
}
