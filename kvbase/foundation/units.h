#ifndef KVBASE_FOUNDATION_UNITS_H
#define KVBASE_FOUNDATION_UNITS_H

// Length units, values with a unit, and the process-wide angle unit.
//
// KMeasurementUnit is a named length with its size in metres; the fourteen library units are global
// objects built at load (KUnitNone, KUnit_um ... KUnit_mile). KDimensionalValue is a float with a pointer
// to its unit (never owned) and converts itself between units. Angles passed to library operations are
// in the current angle unit (turns at start-up); KToRadians and KFromRadians convert.

#include "kvbase/platform/export.h"

class KVBASE_API KMeasurementUnit {
 public:
  // Copies at most 15 characters of `name`. A constant expression, so that the library's units exist
  // before any code of the program runs, whatever order its globals are built in.
  constexpr KMeasurementUnit(float magnitude, const char* name) : name_{}, magnitude_(magnitude) {
    for (int i = 0; name != nullptr && i < 15 && name[i] != '\0'; ++i) name_[i] = name[i];
  }

  // The name as a writable string, as callers of this interface have always received it; they must not
  // change it.
  char* GetName() { return name_; }
  const char* GetName() const { return name_; }
  float GetMagnitude() const { return magnitude_; }
  // Factor that turns a value in this unit into one in `other`: this magnitude / other's magnitude. A
  // zero magnitude of this unit gives the largest float.
  float ConversionFactorTo(const KMeasurementUnit& other) const;

 private:
  char name_[16];
  float magnitude_;
};

extern KVBASE_API KMeasurementUnit KUnitNone;  // "None", the size of a metre
extern KVBASE_API KMeasurementUnit KUnit_um;   // micrometre; its name is the micro sign 0xB5 then "m"
extern KVBASE_API KMeasurementUnit KUnit_mm;
extern KVBASE_API KMeasurementUnit KUnit_cm;
extern KVBASE_API KMeasurementUnit KUnit_dm;
extern KVBASE_API KMeasurementUnit KUnit_m;
extern KVBASE_API KMeasurementUnit KUnit_dam;  // "Dm"
extern KVBASE_API KMeasurementUnit KUnit_hm;   // "Hm"
extern KVBASE_API KMeasurementUnit KUnit_km;   // "Km"
extern KVBASE_API KMeasurementUnit KUnit_mil;
extern KVBASE_API KMeasurementUnit KUnit_inch;
extern KVBASE_API KMeasurementUnit KUnit_foot;  // "feet"
extern KVBASE_API KMeasurementUnit KUnit_yard;
extern KVBASE_API KMeasurementUnit KUnit_mile;

class KVBASE_API KDimensionalValue {
 public:
  KDimensionalValue();  // 1.0 in KUnitNone
  KDimensionalValue(float value, KMeasurementUnit* unit);
  virtual ~KDimensionalValue() = default;

  void SetValue(float value) { value_ = value; }
  // Replaces value and unit, without conversion.
  void SetValue(float value, KMeasurementUnit* unit);
  // Converts the stored value into `unit` and keeps `unit`.
  void SetUnit(KMeasurementUnit* unit);
  float GetValue() const { return value_; }
  // The value expressed in `unit`; the object is unchanged.
  float GetValue(KMeasurementUnit* unit) const;
  KMeasurementUnit* GetUnit() const { return unit_; }

 private:
  KMeasurementUnit* unit_;
  float value_;
};

enum K_ANGLE_UNITS : int {
  K_ANGLE_UNIT_TURNS = 0,
  K_ANGLE_UNIT_RADIANS = 1,
  K_ANGLE_UNIT_DEGREES = 2,
  K_ANGLE_UNIT_GRADIANS = 3,
};

// Stores `unit` and its conversion factors. An unknown unit is stored all the same, keeps the previous
// factors and sets K_ERROR_PARAMETER_1_OUT_OF_RANGE.
KVBASE_API void KSetAngleUnit(K_ANGLE_UNITS unit);
KVBASE_API K_ANGLE_UNITS KGetAngleUnit();
// `angle` in the current unit, in radians.
KVBASE_API float KToRadians(float angle);
// `angle` in radians, in the current unit.
KVBASE_API float KFromRadians(float angle);

#endif  // KVBASE_FOUNDATION_UNITS_H
