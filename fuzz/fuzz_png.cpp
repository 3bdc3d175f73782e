// PNG loader under fuzzing: every input is made to start with the PNG signature and loaded into every
// image kind.

#include "fuzz_input.h"
#include "kvbase/foundation/errors.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  KSetTraceMode(K_TRACE_SILENT);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> bytes = KWithSignature(data, size, 0, "\x89PNG\r\n\x1A\n", 8);
  KLoadIntoEveryKind(KFuzzInputPath(bytes.data(), bytes.size()));
  return 0;
}
