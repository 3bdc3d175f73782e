#include "kvbase/foundation/timing.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "kvbase/platform/clocks.h"

namespace {

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

TEST(Timing, StopwatchOnThePerformanceCounter) {
  KStartTiming();
  EXPECT_GE(KStopTiming(1000), 0);
  EXPECT_EQ(KStopTiming(0), 0);
  Sleep(20);
  const int second = KStopTiming(1000);
  EXPECT_GE(second, 20);  // the stopwatch keeps its start across stops
  EXPECT_GE(KStopTiming(1000000), second * 1000);
  EXPECT_EQ(KTrueTimingResolution(), 1000000000);
}

TEST(Timing, FallsBackToTheSystemTimeWithoutCounter) {
  KSetPerformanceCounterAvailable(0);
  EXPECT_EQ(KTrueTimingResolution(), 1000);
  KStartTiming();
  Sleep(30);
  const int ms = KStopTiming(1000);
  const int us = KStopTiming(1000000);
  KSetPerformanceCounterAvailable(1);
  EXPECT_GE(ms, 29);  // the wall clock has millisecond steps
  EXPECT_LT(ms, 10000);
  EXPECT_GE(us, ms * 1000);
  EXPECT_EQ(us % 1000, 0);  // milliseconds are all the system time knows
}

// Taken before any test runs, whatever order the tests run in.
const int kMMXAtStartUp = KGetMMX();

TEST(Timing, MMXSwitchStartsWithWhatTheProcessorReports) {
#if defined(__i386__) || defined(__x86_64__)
  __builtin_cpu_init();
  EXPECT_EQ(kMMXAtStartUp, __builtin_cpu_supports("mmx") ? 1 : 0);
#else
  EXPECT_EQ(kMMXAtStartUp, 0);
#endif
}

}  // namespace
