#include "kvbase/foundation/units.h"

#include <atomic>
#include <cfloat>
#include <cstdint>

#include "kvbase/foundation/internal/report.h"

float KMeasurementUnit::ConversionFactorTo(const KMeasurementUnit& other) const {
  if (magnitude_ == 0.0f) return FLT_MAX;
  return magnitude_ / other.magnitude_;
}

KMeasurementUnit KUnitNone(1.0f, "None");
KMeasurementUnit KUnit_um(1e-6f, "\xB5m");
KMeasurementUnit KUnit_mm(0.001f, "mm");
KMeasurementUnit KUnit_cm(0.01f, "cm");
KMeasurementUnit KUnit_dm(0.1f, "dm");
KMeasurementUnit KUnit_m(1.0f, "m");
KMeasurementUnit KUnit_dam(10.0f, "Dm");
KMeasurementUnit KUnit_hm(100.0f, "Hm");
KMeasurementUnit KUnit_km(1000.0f, "Km");
KMeasurementUnit KUnit_mil(2.54e-5f, "mil");
KMeasurementUnit KUnit_inch(0.0254f, "inch");
KMeasurementUnit KUnit_foot(0.3048f, "feet");
KMeasurementUnit KUnit_yard(0.9144f, "yard");
KMeasurementUnit KUnit_mile(1609.344f, "mile");

KDimensionalValue::KDimensionalValue() : unit_(&KUnitNone), value_(1.0f) {}

KDimensionalValue::KDimensionalValue(float value, KMeasurementUnit* unit) : unit_(unit), value_(value) {}

void KDimensionalValue::SetValue(float value, KMeasurementUnit* unit) {
  value_ = value;
  unit_ = unit;
}

void KDimensionalValue::SetUnit(KMeasurementUnit* unit) {
  value_ = value_ * unit_->ConversionFactorTo(*unit);
  unit_ = unit;
}

float KDimensionalValue::GetValue(KMeasurementUnit* unit) const { return unit_->ConversionFactorTo(*unit) * value_; }

namespace {

// Units per radian of each unit, as float constants.
constexpr float kUnitsPerRadian[] = {0.15915494f, 1.0f, 57.295776f, 63.661976f};

// The angle unit as set (low 32 bits) and the index of the last unit that was one of the table's, whose
// factors the conversions use (high 32 bits): one atomic word, so that a conversion never pairs one
// unit with another's factor and a setting is never half seen.
std::atomic<std::uint64_t> gAngle{static_cast<std::uint32_t>(K_ANGLE_UNIT_TURNS)};

std::uint64_t AngleWord(K_ANGLE_UNITS unit, std::uint32_t factors) {
  return static_cast<std::uint64_t>(factors) << 32 | static_cast<std::uint32_t>(unit);
}
K_ANGLE_UNITS UnitOf(std::uint64_t word) { return static_cast<K_ANGLE_UNITS>(static_cast<std::uint32_t>(word)); }
float UnitsPerRadian() { return kUnitsPerRadian[gAngle.load(std::memory_order_relaxed) >> 32]; }

}  // namespace

void KSetAngleUnit(K_ANGLE_UNITS unit) {
  const std::uint32_t index = static_cast<std::uint32_t>(unit);
  const bool known = index < sizeof kUnitsPerRadian / sizeof kUnitsPerRadian[0];
  // One exchange, so that a concurrent setting is never undone by this one.
  std::uint64_t word = gAngle.load(std::memory_order_relaxed);
  while (!gAngle.compare_exchange_weak(word, AngleWord(unit, known ? index : static_cast<std::uint32_t>(word >> 32)),
                                       std::memory_order_relaxed)) {
  }
  if (!known) KReport(K_ERROR_PARAMETER_1_OUT_OF_RANGE, "KSetAngleUnit");
}

K_ANGLE_UNITS KGetAngleUnit() { return UnitOf(gAngle.load(std::memory_order_relaxed)); }

float KToRadians(float angle) { return angle * static_cast<float>(1.0 / UnitsPerRadian()); }

float KFromRadians(float angle) { return angle * UnitsPerRadian(); }
