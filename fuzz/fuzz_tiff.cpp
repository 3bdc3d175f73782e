// TIFF loader under fuzzing: every input gets a valid "II" or "MM" header (the first byte chooses) and is
// loaded into every image kind.

#include "fuzz_input.h"
#include "kvbase/foundation/errors.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  KSetTraceMode(K_TRACE_SILENT);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const bool bigEndian = size > 0 && data[0] == 'M';
  const std::vector<std::uint8_t> bytes = KWithSignature(data, size, 0, bigEndian ? "MM\0*" : "II*\0", 4);
  KLoadIntoEveryKind(KFuzzInputPath(bytes.data(), bytes.size()));
  return 0;
}
