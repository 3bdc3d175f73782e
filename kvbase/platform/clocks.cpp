#include "kvbase/platform/clocks.h"

#include <atomic>
#include <ctime>

namespace {
std::atomic<int> gCounterAvailable{1};
constexpr std::int64_t kNanosecondsPerSecond = 1000000000;
}  // namespace

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  frequency->QuadPart = gCounterAvailable ? kNanosecondsPerSecond : 0;
  return gCounterAvailable ? TRUE : FALSE;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
  if (!gCounterAvailable) {
    count->QuadPart = 0;
    return FALSE;
  }
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  count->QuadPart = static_cast<std::int64_t>(now.tv_sec) * kNanosecondsPerSecond + now.tv_nsec;
  return TRUE;
}

void GetSystemTime(SYSTEMTIME* time) {
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm utc;
  gmtime_r(&now.tv_sec, &utc);
  time->wYear = static_cast<WORD>(utc.tm_year + 1900);
  time->wMonth = static_cast<WORD>(utc.tm_mon + 1);
  time->wDayOfWeek = static_cast<WORD>(utc.tm_wday);
  time->wDay = static_cast<WORD>(utc.tm_mday);
  time->wHour = static_cast<WORD>(utc.tm_hour);
  time->wMinute = static_cast<WORD>(utc.tm_min);
  time->wSecond = static_cast<WORD>(utc.tm_sec);
  time->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}

void KSetPerformanceCounterAvailable(int available) { gCounterAvailable = available ? 1 : 0; }
