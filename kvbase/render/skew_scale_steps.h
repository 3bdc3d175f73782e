#ifndef KVBASE_RENDER_SKEW_SCALE_STEPS_H
#define KVBASE_RENDER_SKEW_SCALE_STEPS_H

// KSkewScaleSteps: plans the angles and scale factors at which a search tries a pattern.
//
// The steps are chosen so that one step moves an average point of a width x height pattern by about one
// pixel: both start as 1 / r, r being the mean distance of the rectangle's points from its centre (so large
// patterns get fine steps). The counts are the number of positions that cover the requested ranges,
// rounded to the nearest. All arithmetic is single precision.
//
//   unsigned int angles, scales;
//   float angleStep, scaleStep;
//   KSkewScaleSteps(100, 100, 0.5f, angles, angleStep, 0.2f, scales, scaleStep, 0);
//   // radians as the angle unit: 20 angles 0.026137 apart, 9 scales 0.026137 apart
//
// skewRange and skewStep are in the current angle unit (KSetAngleUnit). With `adjust` non-zero the
// steps are stretched so that the last position falls exactly on the end of each range.
//
// Degenerate input never yields a NaN, an infinity or a wrapped count: a negative size counts as 0; a
// pattern with one zero side is a segment, whose mean distance is a quarter of its length; a single
// point (both sides 0) gives one position per range, with the whole range as its step. Every count is
// at least 1, and a range covered by one position keeps its unadjusted step.
#include "kvbase/platform/export.h"

KVBASE_API void KSkewScaleSteps(int width, int height, float skewRange, unsigned int& skewSteps, float& skewStep,
                                float scaleRange, unsigned int& scaleSteps, float& scaleStep, int adjust);

#endif  // KVBASE_RENDER_SKEW_SCALE_STEPS_H
