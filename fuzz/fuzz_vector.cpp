// Vector file loader under fuzzing: every input is loaded as a vector of each of the five element types.

#include "fuzz_input.h"
#include "kvbase/foundation/errors.h"
#include "kvbase/vectors/vector_template.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  KSetTraceMode(K_TRACE_SILENT);
  return 0;
}

template <typename T>
void Load(const char* path) {
  KVectorTemplate<T> vector;
  vector.Load(path);
  // Every element the vector claims must be readable.
  volatile unsigned char sink = 0;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(vector.GetDataPtr());
  for (std::size_t i = 0; i < vector.GetNumElements() * sizeof(T); i += 64) sink = sink + bytes[i];
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* path = KFuzzInputPath(data, size);
  Load<unsigned char>(path);
  Load<unsigned short>(path);
  Load<unsigned int>(path);
  Load<KC24>(path);
  Load<KRun>(path);
  return 0;
}
