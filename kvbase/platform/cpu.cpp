#include "kvbase/platform/internal/cpu.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

int KDetectMMX() {
#if defined(__i386__) || defined(__x86_64__)
  unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
  // __get_cpuid checks first that the instruction exists (the identification flag can be toggled).
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return 0;
  return (edx & (1u << 23)) ? 1 : 0;
#else
  return 0;
#endif
}
