#include "kvbase/foundation/timing.h"

#include <atomic>
#include <cstdint>

#include "kvbase/platform/clocks.h"
#include "kvbase/platform/internal/cpu.h"

namespace {

// The stopwatch belongs to the calling thread: threads that time their own work do not reset each
// other's start.
thread_local int gHighResolution = 0;
thread_local LARGE_INTEGER gFrequency = {};
thread_local LARGE_INTEGER gStartCount = {};
thread_local SYSTEMTIME gStartTime = {};
thread_local SYSTEMTIME gStopTime = {};
// The MMX switch, detected on first use rather than by a global's constructor, so that it reads right
// from any thread and from other libraries' start-up code, whatever order the program's globals are
// built in.
std::atomic<int>& MMX() {
  static std::atomic<int> mmx{KDetectMMX()};
  return mmx;
}

// Milliseconds between two system times of the same month (month and year do not take part).
int MillisecondsBetween(const SYSTEMTIME& start, const SYSTEMTIME& stop) {
  int days = static_cast<int>(stop.wDay) - start.wDay;
  int hours = days * 24 + (static_cast<int>(stop.wHour) - start.wHour);
  int minutes = hours * 60 + (static_cast<int>(stop.wMinute) - start.wMinute);
  int seconds = minutes * 60 + (static_cast<int>(stop.wSecond) - start.wSecond);
  return seconds * 1000 + (static_cast<int>(stop.wMilliseconds) - start.wMilliseconds);
}

}  // namespace

void KStartTiming() {
  if (QueryPerformanceFrequency(&gFrequency)) {
    gHighResolution = 1;
    QueryPerformanceCounter(&gStartCount);
  } else {
    gHighResolution = 0;
    GetSystemTime(&gStartTime);
  }
}

int KStopTiming(int resolution) {
  if (gHighResolution == 1) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const std::int64_t ticks = now.QuadPart - gStartCount.QuadPart;
    if (gFrequency.QuadPart == 0) return 0;
    return static_cast<int>(static_cast<double>(ticks) / static_cast<double>(gFrequency.QuadPart) * resolution);
  }
  GetSystemTime(&gStopTime);
  const int ms = MillisecondsBetween(gStartTime, gStopTime);
  return static_cast<int>(ms / 1000.0 * resolution);
}

int KTrueTimingResolution() {
  LARGE_INTEGER frequency;
  if (QueryPerformanceFrequency(&frequency)) return static_cast<int>(frequency.u.LowPart);
  return 1000;
}

int KGetMMX() { return MMX().load(std::memory_order_relaxed); }

void KSetMMX(int enable) { MMX().store(enable, std::memory_order_relaxed); }
