#ifndef KVBASE_PLATFORM_CLOCKS_H
#define KVBASE_PLATFORM_CLOCKS_H

// The clocks behind the stopwatch, under their Windows names. The performance counter is the
// monotonic clock, counted in its own ticks (nanoseconds here), and its frequency is that tick rate;
// the system time is the wall clock in UTC with milliseconds.
//
// KSetPerformanceCounterAvailable(0) makes the counter report that it does not exist, as on a machine
// without one, so that the stopwatch's fallback to the system time can be exercised.

#include "kvbase/platform/export.h"
#include "kvbase/platform/windows_types.h"

typedef union _LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  std::int64_t QuadPart;
} LARGE_INTEGER;

typedef struct _SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
} SYSTEMTIME;

// Counts per second of the counter; FALSE (and 0) when no counter is available.
KVBASE_API BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
// The counter's present value; FALSE (and 0) when no counter is available.
KVBASE_API BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
// The present wall-clock time, UTC.
KVBASE_API void GetSystemTime(SYSTEMTIME* time);

// Switches the performance counter on (non-zero, the default) or off, for the whole process.
KVBASE_API void KSetPerformanceCounterAvailable(int available);

#endif  // KVBASE_PLATFORM_CLOCKS_H
