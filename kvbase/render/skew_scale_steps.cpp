#include "kvbase/render/skew_scale_steps.h"

#include <cmath>

#include "kvbase/foundation/units.h"

namespace {

// Mean distance of the points of a w x h rectangle from its centre, accumulated term by term in single
// precision. With a zero side the closed form divides by zero; its limit, a quarter of the segment's
// length, is used instead.
float MeanDistance(float w, float h) {
  if (w == 0.0f || h == 0.0f) return (w + h) / 4.0f;
  const float d = std::sqrt(w * w + h * h);
  float mean = d / 6.0f;
  mean = mean + (w * w / (12.0f * h)) * std::log((h + d) / w);
  mean = mean + (h * h / (12.0f * w)) * std::log((w + d) / h);
  return mean;
}

// Number of positions covering `range` with `step`: range / step rounded half up, plus one. Never below
// one, and never a float-to-integer conversion out of range.
unsigned int Positions(float range, float step) {
  const float x = range / step + 0.5f;
  if (!(x >= 1.0f)) return 1;  // also NaN
  if (x >= 2147483648.0f) return 2147483648u;
  return static_cast<unsigned int>(static_cast<int>(x)) + 1u;
}

// The step that makes `positions` positions end exactly on `range`; a single position keeps `step`.
float Stretched(float range, unsigned int positions, float step) {
  if (positions < 2) return step;
  return range / static_cast<float>(static_cast<int>(positions - 1));
}

}  // namespace

void KSkewScaleSteps(int width, int height, float skewRange, unsigned int& skewSteps, float& skewStep, float scaleRange,
                     unsigned int& scaleSteps, float& scaleStep, int adjust) {
  const float w = static_cast<float>(width > 0 ? width : 0);
  const float h = static_cast<float>(height > 0 ? height : 0);
  const float angleRange = KToRadians(skewRange);
  const float mean = MeanDistance(w, h);

  float angleStep;
  float scaleDelta;
  if (mean == 0.0f) {
    // A point: neither rotation nor scaling moves it, so one position covers any range.
    skewSteps = 1;
    scaleSteps = 1;
    angleStep = angleRange;
    scaleDelta = scaleRange;
  } else {
    const float step = 1.0f / mean;
    skewSteps = Positions(angleRange, step);
    scaleSteps = Positions(scaleRange, step);
    angleStep = step;
    scaleDelta = step;
    if (adjust != 0) {
      angleStep = Stretched(angleRange, skewSteps, step);
      scaleDelta = Stretched(scaleRange, scaleSteps, step);
    }
  }
  skewStep = KFromRadians(angleStep);
  scaleStep = scaleDelta;
}
