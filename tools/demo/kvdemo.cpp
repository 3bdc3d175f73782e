// kvdemo: a short walk through the library's foundation, for a first look at a fresh build.

#include <cstdio>
#include <initializer_list>

#include "kvbase/kvbase.h"

int main() {
  std::printf("kvbase %s\n\n", KGetVersion());

  // Errors: a failing call leaves its code; tracing writes a box to standard error.
  std::fflush(stdout);
  KSetAngleUnit(static_cast<K_ANGLE_UNITS>(7));
  std::fflush(stderr);
  std::printf("KSetAngleUnit(7) -> error %d: %s\n", KGetError(), KGetErrorText());
  std::printf("text of 1211: %s\n\n", KGetErrorText(static_cast<K_ERRORS>(1211)));

  // Units and angles.
  KDimensionalValue length(25.4f, &KUnit_mm);
  length.SetUnit(&KUnit_inch);
  std::printf("25.4 mm = %.4f %s\n", length.GetValue(), length.GetUnit()->GetName());
  KSetAngleUnit(K_ANGLE_UNIT_DEGREES);
  std::printf("90 degrees = %.7f radians\n\n", KToRadians(90.0f));

  // Statistics over a sliding window.
  KStatistics stats(8);
  for (float v : {2.0f, 4.0f, 4.0f, 4.0f, 5.0f, 5.0f, 7.0f, 9.0f}) stats.NewElement(v);
  std::printf("mean %.3f, deviation %.3f, min %.1f, max %.1f over %u values\n\n", stats.Average(),
              stats.Deviation(), stats.Minimum(), stats.Maximum(), stats.Count());

  // Timing and the MMX switch.
  KStartTiming();
  volatile double x = 0;
  for (int i = 0; i < 1000000; ++i) x = x + i * 0.5;
  std::printf("a million additions took %d us (clock: %d ticks/s); MMX switch %d\n", KStopTiming(1000000),
              KTrueTimingResolution(), KGetMMX());

  std::printf("colour constant KRed24 = bytes %d %d %d\n", KRed24.byte0, KRed24.byte1, KRed24.byte2);
  return 0;
}
