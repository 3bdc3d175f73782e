#ifndef KVBASE_FOUNDATION_TIMING_H
#define KVBASE_FOUNDATION_TIMING_H

// A process-wide stopwatch on the best clock available, and the MMX switch read by companion libraries.
//
//   KStartTiming();
//   ... work ...
//   int ms = KStopTiming(1000);   // milliseconds since the start; the stopwatch keeps running

// Starts the stopwatch: on the performance counter when there is one, else on the system time.
#include "kvbase/platform/export.h"

KVBASE_API void KStartTiming();
// Time since the last KStartTiming in units of 1/resolution second, truncated.
KVBASE_API int KStopTiming(int resolution);
// Ticks per second actually available: the counter's frequency (low 32 bits), or 1000 without counter.
KVBASE_API int KTrueTimingResolution();

// 1 when processing code may use MMX instructions. Detected from the processor at load.
KVBASE_API int KGetMMX();
// Overrides the switch for the whole process; any value is stored as given.
KVBASE_API void KSetMMX(int enable);

#endif  // KVBASE_FOUNDATION_TIMING_H
