#ifndef KVBASE_PLATFORM_INTERNAL_CPU_H
#define KVBASE_PLATFORM_INTERNAL_CPU_H

// Processor features, read with the processor identification instruction.

// 1 when the processor reports MMX (function 1, bit 23 of the feature word), else 0. Always 0 on
// processors without the x86 identification instruction.
int KDetectMMX();

#endif  // KVBASE_PLATFORM_INTERNAL_CPU_H
