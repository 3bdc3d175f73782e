#ifndef KVBASE_RENDER_INTERNAL_VIEW_ANGLES_H
#define KVBASE_RENDER_INTERNAL_VIEW_ANGLES_H

// The sines and cosines of a renderer's view: tilt a and turn b, in radians. Both renderers build their
// projection coefficients from these four values, each computed in double and rounded to float once.

#include <cmath>

namespace kvbase {
namespace internal {

struct KViewAngles {
  float cosA, sinA, cosB, sinB;
};

inline KViewAngles KViewAnglesOf(float a, float b) {
  auto rounded = [](double value) { return static_cast<float>(value); };
  const double da = static_cast<double>(a), db = static_cast<double>(b);
  return {rounded(std::cos(da)), rounded(std::sin(da)), rounded(std::cos(db)), rounded(std::sin(db))};
}

}  // namespace internal
}  // namespace kvbase

#endif  // KVBASE_RENDER_INTERNAL_VIEW_ANGLES_H
