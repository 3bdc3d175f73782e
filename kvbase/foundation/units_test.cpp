#include "kvbase/foundation/units.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>

#include "kvbase/testing/trace_capture.h"

namespace {

TEST(Units, TheFourteenUnits) {
  struct Case {
    const KMeasurementUnit& unit;
    const char* name;
    float magnitude;
  } cases[] = {{KUnitNone, "None", 1.0f},     {KUnit_um, "\xB5m", 1e-6f},     {KUnit_mm, "mm", 0.001f},
               {KUnit_cm, "cm", 0.01f},       {KUnit_dm, "dm", 0.1f},         {KUnit_m, "m", 1.0f},
               {KUnit_dam, "Dm", 10.0f},      {KUnit_hm, "Hm", 100.0f},       {KUnit_km, "Km", 1000.0f},
               {KUnit_mil, "mil", 2.54e-5f},  {KUnit_inch, "inch", 0.0254f},  {KUnit_foot, "feet", 0.3048f},
               {KUnit_yard, "yard", 0.9144f}, {KUnit_mile, "mile", 1609.344f}};
  for (const Case& c : cases) {
    EXPECT_STREQ(c.unit.GetName(), c.name);
    EXPECT_EQ(c.unit.GetMagnitude(), c.magnitude) << c.name;
  }
  EXPECT_EQ(std::strlen(KUnit_um.GetName()), 2u);  // the micro sign is one byte
  EXPECT_STREQ(KMeasurementUnit(1.0f, "abcdefghijklmnopqrst").GetName(), "abcdefghijklmno");
}

TEST(Units, ConversionFactorsAndDimensionalValues) {
  EXPECT_FLOAT_EQ(KUnit_mm.ConversionFactorTo(KUnit_m), 0.001f);
  KMeasurementUnit zero(0.0f, "zero");
  EXPECT_EQ(zero.ConversionFactorTo(KUnit_m), FLT_MAX);
  EXPECT_EQ(zero.ConversionFactorTo(zero), FLT_MAX);  // the test is on this unit
  EXPECT_TRUE(std::isinf(KUnit_m.ConversionFactorTo(zero)));

  KDimensionalValue plain;
  EXPECT_EQ(plain.GetValue(), 1.0f);
  EXPECT_EQ(plain.GetUnit(), &KUnitNone);

  KDimensionalValue length(25.4f, &KUnit_mm);
  EXPECT_NEAR(length.GetValue(&KUnit_inch), 1.0f, 1e-6);
  EXPECT_EQ(length.GetUnit(), &KUnit_mm);  // GetValue(unit) converts a copy only
  length.SetUnit(&KUnit_inch);
  EXPECT_NEAR(length.GetValue(), 1.0f, 1e-6);
  EXPECT_EQ(length.GetUnit(), &KUnit_inch);
  length.SetValue(2.0f, &KUnit_cm);  // no conversion
  EXPECT_EQ(length.GetValue(), 2.0f);
  EXPECT_EQ(length.GetUnit(), &KUnit_cm);
}

TEST(Units, AngleUnitConversions) {
  // Start-up state: turns.
  EXPECT_EQ(KGetAngleUnit(), K_ANGLE_UNIT_TURNS);
  EXPECT_EQ(KToRadians(1.0f), 6.2831855f);

  KTraceCapture trace;
  const float unitsPerRadian[] = {0.15915494f, 1.0f, 57.295776f, 63.661976f};
  for (int unit = 0; unit < 4; ++unit) {
    KSetAngleUnit(static_cast<K_ANGLE_UNITS>(unit));
    EXPECT_EQ(KFromRadians(1.0f), unitsPerRadian[unit]);
    EXPECT_EQ(KToRadians(1.0f), static_cast<float>(1.0 / unitsPerRadian[unit]));
  }
  EXPECT_EQ(KGetError(), K_SUCCESS);
  EXPECT_TRUE(trace.Boxes().empty());

  // An unknown unit is stored but keeps the factors of the previous one.
  KSetAngleUnit(K_ANGLE_UNIT_DEGREES);
  for (int bad : {7, -1}) {
    KSetAngleUnit(static_cast<K_ANGLE_UNITS>(bad));
    EXPECT_EQ(KGetError(), K_ERROR_PARAMETER_1_OUT_OF_RANGE);
    EXPECT_EQ(KGetAngleUnit(), bad);
    EXPECT_EQ(KFromRadians(1.0f), 57.295776f);
  }
  EXPECT_EQ(trace.Names(), (std::vector<std::string>{"KSetAngleUnit", "KSetAngleUnit"}));
  KSetAngleUnit(K_ANGLE_UNIT_TURNS);
}

}  // namespace
